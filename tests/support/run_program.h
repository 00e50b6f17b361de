#pragma once
// Running a built program from a test as an administrator would: real files, the
// environment, the exit status and both output streams.

#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "support/test_paths.h"

namespace jr::test {

struct ProgramOutcome {
  int status = -1;  // the exit status; -1 when the program did not exit normally
  std::string out;
  std::string err;
};

class RunningProgram {
 public:
  // Starts `program` with `args`; `env` is added to the test's own environment. Output
  // goes to files in `output_dir`.
  RunningProgram(const std::string& program, const std::vector<std::string>& args,
                 const std::map<std::string, std::string>& env, const std::string& output_dir);
  ~RunningProgram();
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;

  void Signal(int signal_number);
  pid_t pid() const { return pid_; }
  // Waits for the end, killing the program after `limit` so that no test hangs.
  ProgramOutcome Wait(std::chrono::milliseconds limit = std::chrono::seconds(60));

 private:
  pid_t pid_ = -1;
  std::string out_path_;
  std::string err_path_;
};

ProgramOutcome RunProgram(const std::string& program, const std::vector<std::string>& args,
                          const std::map<std::string, std::string>& env,
                          const std::string& output_dir);

}  // namespace jr::test
