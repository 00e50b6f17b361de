#include "run/batch_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <system_error>

#include "platform/config.h"
#include "platform/credentials.h"
#include "platform/environment.h"
#include "platform/installation.h"
#include "platform/registry.h"
#include "platform/utf8.h"

namespace jr {
namespace {

namespace fs = std::filesystem;

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

std::string UnattendedJobFileName(const std::string& job_file) {
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(NativePath(job_file), ec);
  return ec ? job_file : Utf8Name(absolute.lexically_normal());
}

std::string BatchFileLine(const std::string& program, const std::string& job_file) {
  return ShellQuote(program) + " " + ShellQuote(job_file) + "\n";
}

std::map<std::string, std::string> UnattendedVariables() {
  std::map<std::string, std::string> variables = EnvironmentStartingWith("JOBRUNNER_");
  // Cron knows neither XDG_CONFIG_HOME nor the editor's environment: the script names the
  // credential folder the editor's user filled (never a value), unless the registry, which
  // the script reads as well, names it and may later name another.
  if (!variables.contains("JOBRUNNER_CREDENTIALS_DIR")) {
    const std::unique_ptr<RegistryReader> registry = MakeSystemRegistryReader();
    if (GetRegistryString(*registry, kCredentialsKey, "Folder").empty()) {
      if (std::string folder = CredentialFolder(*registry); !folder.empty()) {
        variables["JOBRUNNER_CREDENTIALS_DIR"] = std::move(folder);
      }
    }
  }
  return variables;
}

std::string BatchFileText(const std::string& program, const std::string& job_file) {
  const bool batch = std::string_view(kBatchFileSuffix) == "bat";
  std::string text = "#!/bin/sh\n";
  for (const auto& [name, value] : UnattendedVariables()) {
    text += batch ? "set \"" + name + "=" + value + "\"\n"
                  : "export " + name + "=" + ShellQuote(value) + "\n";
  }
  return text + BatchFileLine(program, job_file);
}

Status WriteBatchFile(const std::string& path, const std::string& text) {
  const fs::path file = NativePath(path);
  errno = 0;
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  if (!out) {
    return Status::Failed("cannot write the batch file \"" + path + "\"" +
                          (errno != 0 ? std::string(": ") + std::strerror(errno) : std::string()));
  }
  // A new file got the read bits the umask leaves: whoever may read it may run it.
  std::error_code ec;
  fs::perms perms =
      fs::status(file, ec).permissions() & ~(fs::perms::group_write | fs::perms::others_write);
  for (const auto& [read, run] : {std::pair{fs::perms::owner_read, fs::perms::owner_exec},
                                  {fs::perms::group_read, fs::perms::group_exec},
                                  {fs::perms::others_read, fs::perms::others_exec}}) {
    if ((perms & read) != fs::perms::none) perms |= run;
  }
  fs::permissions(file, perms, ec);
  return Status::Ok();
}

}  // namespace jr
