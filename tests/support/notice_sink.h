#pragma once
// A real mail or webhook server of this machine for the end-to-end tests: what a run's
// notices deliver, as their receiver sees it.

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "support/run_program.h"
#include "support/test_paths.h"

namespace jr::test {

// tests/support/notice_sinks.py serving MODE ("smtp" or "http") on a free port, until the
// test ends. Each message it receives is a JSON file in its folder.
class NoticeSink {
 public:
  explicit NoticeSink(const std::string& mode)
      : server_("/usr/bin/python3",
                {SourceDir() + "/tests/support/notice_sinks.py", mode, dir_.path()}, {},
                dir_.path()) {
    for (int i = 0; i < 200 && !std::filesystem::exists(dir_.File("port")); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    port_ = ReadWholeFile(dir_.File("port"));
  }
  ~NoticeSink() {
    server_.Signal(SIGTERM);
    server_.Wait();
  }
  const std::string& port() const { return port_; }
  // What it received, oldest first.
  std::vector<nlohmann::json> Received() const {
    std::vector<nlohmann::json> messages;
    for (int n = 1; std::filesystem::exists(dir_.File(std::to_string(n) + ".json")); ++n) {
      messages.push_back(
          nlohmann::json::parse(ReadWholeFile(dir_.File(std::to_string(n) + ".json"))));
    }
    return messages;
  }

 private:
  TempDir dir_;
  RunningProgram server_;
  std::string port_;
};

}  // namespace jr::test
