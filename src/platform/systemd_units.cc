#include "platform/systemd_units.h"

#include <filesystem>
#include <system_error>

#include "platform/atomic_file.h"
#include "platform/blanks.h"
#include "platform/process_launcher.h"
#include "platform/program_command.h"
#include "platform/utf8.h"

namespace jr {
namespace {

namespace fs = std::filesystem;

// Runs a systemd tool to its end; fails with the command and the tool's words.
Status RunTool(const char* tool, std::vector<std::string> arguments) {
  const std::string program = FindOnPath(tool);
  if (program.empty())
    return Status::Failed(std::string(tool) + " not found on PATH; " + kNoSystemd);
  std::string command = tool;
  for (const std::string& argument : arguments) command += " " + argument;
  const Result<ProgramOutput> run = RunAndCapture({program, std::move(arguments), std::string()});
  if (!run.ok()) return Status::Failed(command + ": " + run.message());
  if (run.value.exit_status == 0) return Status::Ok();
  const std::string words(TrimBlanks(run.value.output));
  return Status::Failed(command + " failed" + (words.empty() ? std::string() : ": " + words));
}

Status Systemctl(const UnitFolder& place, std::vector<std::string> arguments) {
  if (!place.root.empty()) {
    arguments.insert(arguments.begin(), "--root=" + place.root);
  } else if (place.user) {
    arguments.insert(arguments.begin(), "--user");
  }
  return RunTool("systemctl", std::move(arguments));
}

}  // namespace

Status InstallUnits(const UnitFolder& place, const std::vector<UnitFile>& units) {
  if (place.folder.empty() || units.empty()) return Status::Failed(kNoSystemd);
  std::error_code ec;
  fs::create_directories(NativePath(place.folder), ec);
  if (ec) return Status::Failed("cannot make the folder \"" + place.folder + "\": " + ec.message());
  std::vector<std::string> written;
  for (const UnitFile& unit : units) {
    const std::string path = place.folder + "/" + unit.name;
    if (Status status = ReplaceFileContents(path, unit.text); !status.ok()) return status;
    written.push_back(path);
  }
  std::vector<std::string> verify = {"verify"};
  verify.insert(verify.end(), written.begin(), written.end());
  if (Status verified = RunTool("systemd-analyze", verify); !verified.ok()) {
    for (const std::string& path : written) fs::remove(NativePath(path), ec);
    return verified;
  }
  if (!place.root.empty()) return Systemctl(place, {"enable", units.back().name});
  if (Status reloaded = Systemctl(place, {"daemon-reload"}); !reloaded.ok()) return reloaded;
  return Systemctl(place, {"enable", "--now", units.back().name});
}

Status RemoveUnits(const UnitFolder& place, const std::vector<std::string>& names) {
  if (place.folder.empty() || names.empty()) return Status::Failed(kNoSystemd);
  std::error_code ec;
  if (fs::exists(NativePath(place.folder + "/" + names.back()), ec)) {
    std::vector<std::string> disable = {"disable"};
    if (place.root.empty()) disable.push_back("--now");
    disable.push_back(names.back());
    if (Status disabled = Systemctl(place, disable); !disabled.ok()) return disabled;
  }
  for (const std::string& name : names) {
    fs::remove(NativePath(place.folder + "/" + name), ec);
    if (ec)
      return Status::Failed("cannot remove \"" + place.folder + "/" + name + "\": " + ec.message());
  }
  if (!place.root.empty()) return Status::Ok();
  return Systemctl(place, {"daemon-reload"});
}

}  // namespace jr
