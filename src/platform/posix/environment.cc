#include "platform/environment.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

extern char** environ;

namespace jr {

std::string EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string UserBaseFolderPath(const char* variable, const char* home_folder,
                               const std::string& leaf) {
  if (std::string base = EnvironmentValue(variable);
      !base.empty() && std::filesystem::path(base).is_absolute()) {
    return base + "/" + leaf;
  }
  if (std::string home = EnvironmentValue("HOME"); !home.empty()) {
    return home + "/" + home_folder + "/" + leaf;
  }
  return {};
}

std::map<std::string, std::string> EnvironmentStartingWith(std::string_view prefix) {
  std::map<std::string, std::string> variables;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    const size_t equals = text.find('=');
    if (equals == std::string_view::npos || !text.starts_with(prefix)) continue;
    variables.emplace(text.substr(0, equals), text.substr(equals + 1));
  }
  return variables;
}

namespace {

std::string& NamedProgramFile() {
  static std::string path;
  return path;
}

}  // namespace

void SetProgramFilePath(std::string path) { NamedProgramFile() = std::move(path); }

std::string ProgramFilePath() {
  if (!NamedProgramFile().empty()) return NamedProgramFile();
  std::error_code ec;
  return std::filesystem::read_symlink("/proc/self/exe", ec).string();
}

}  // namespace jr
