#include "support/test_paths.h"

#include <stdlib.h>

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

// A random name that create_directory makes only when nobody has it yet, so that tests
// running at the same time never share a folder (portable where mkdtemp is missing).
TempDir::TempDir() {
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path candidate =
        base / ("jobrunner-test-" + std::to_string(random() % 1000000000000ULL));
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
