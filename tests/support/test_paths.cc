#include "support/test_paths.h"

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace jr::test {

std::string BinDir() {
  if (const char* dir = std::getenv("JOBRUNNER_BIN_DIR")) return dir;
  return JOBRUNNER_BIN_DIR;
}

std::string SourceDir() { return JOBRUNNER_SOURCE_DIR; }

std::string ReadWholeFile(const std::string& path) {
  std::stringstream content;
  content << std::ifstream(path, std::ios::binary).rdbuf();
  return content.str();
}

void WriteWholeFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

// A test process that was killed (a timeout) or crashed could not remove its folder; the
// next one does, knowing it by the process id in its name that no process has any more.
static void RemoveFoldersOfEndedTests([[maybe_unused]] const std::filesystem::path& base) {
#ifndef _WIN32
  std::error_code ec, ignored;
  for (std::filesystem::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec)) {
    long pid = 0;
    char dash = 0;
    if (std::sscanf(it->path().filename().c_str(), "jobrunner-test-%ld%c", &pid, &dash) == 2 &&
        dash == '-' && pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
      std::filesystem::remove_all(it->path(), ignored);
    }
  }
#endif
}

// A random name that create_directory makes only when nobody has it yet, so that tests
// running at the same time never share a folder (portable where mkdtemp is missing).
TempDir::TempDir() {
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  RemoveFoldersOfEndedTests(base);
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path candidate =
        base / ("jobrunner-test-" + std::to_string(getpid()) + "-" +
                std::to_string(random() % 1000000000000ULL));
    std::error_code ec;
    if (std::filesystem::create_directory(candidate, ec)) {
      path_ = candidate.string();
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder in " + base.string());
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string TempDir::File(const std::string& name) const { return path_ + "/" + name; }

}  // namespace jr::test
