#include "support/test_paths.h"

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>

namespace jr::test {

std::string BinDir() {
  if (const char* dir = std::getenv("JOBRUNNER_BIN_DIR")) return dir;
  return JOBRUNNER_BIN_DIR;
}

std::string SourceDir() { return JOBRUNNER_SOURCE_DIR; }

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "jobrunner-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string TempDir::File(const std::string& name) const { return path_ + "/" + name; }

}  // namespace jr::test
