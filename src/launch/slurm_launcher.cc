#include "launch/slurm_launcher.h"

#include <cctype>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/blanks.h"
#include "platform/installation.h"
#include "platform/program_command.h"

namespace jr {
namespace {

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

}  // namespace

Result<LauncherSettings> ReadLauncherSettings(RegistryReader& registry) {
  LauncherSettings settings;
  const std::string type = GetRegistryString(registry, kLauncherKey, "Type");
  const std::string lower = Lower(TrimBlanks(type));
  if (lower.empty() || lower == "local") {
    settings.type = LauncherSettings::Type::kLocal;
  } else if (lower == "slurm") {
    settings.type = LauncherSettings::Type::kSlurm;
  } else {
    return Status::Failed("Unknown launcher type \"" + type + "\" in HKEY_LOCAL_MACHINE\\" +
                          std::string(kLauncherKey) + " (Type must be \"local\" or \"slurm\").");
  }
  settings.partition =
      std::string(TrimBlanks(GetRegistryString(registry, kLauncherKey, "Partition")));
  settings.arguments =
      std::string(TrimBlanks(GetRegistryString(registry, kLauncherKey, "Arguments")));
  return settings;
}

SlurmProcessLauncher::SlurmProcessLauncher(std::unique_ptr<ProcessLauncher> local,
                                           LauncherSettings settings, std::string working_folder)
    : local_(std::move(local)),
      settings_(std::move(settings)),
      working_folder_(std::move(working_folder)) {}

std::optional<std::vector<std::string>> SlurmProcessLauncher::SrunArguments(
    const StartRequest& request) const {
  // The nodes share this file system, so what is found here is found there.
  const ProgramCommand command = ResolveProgramCommand(request.program, request.arguments);
  if (!command.startable()) return std::nullopt;
  std::string folder = working_folder_;
  if (folder.empty()) {
    std::error_code ec;
    folder = std::filesystem::current_path(ec).string();
    if (ec) return std::nullopt;
  }
  std::vector<std::string> words = {"--ntasks=1", "--job-name=" + request.cluster_job_name,
                                    "--chdir=" + folder, "--export=ALL", "--quiet"};
  if (!settings_.partition.empty()) words.push_back("--partition=" + settings_.partition);
  // The cluster ends the step too, should the runner's own timer not get to it.
  if (request.time_limit_seconds > 0) {
    words.push_back("--time=" + std::to_string((request.time_limit_seconds + 59) / 60));
  }
  // Split the way the local launcher splits a job line's options.
  for (std::string& word : SplitArguments(settings_.arguments)) words.push_back(std::move(word));
  words.push_back("--");
  words.insert(words.end(), command.words.begin(), command.words.end());
  return words;
}

ProcessHandle SlurmProcessLauncher::Start(const StartRequest& request) {
  const Result<ProcessHandle> started = TryStart(request);
  return started.ok() ? started.value : 0;
}

Result<ProcessHandle> SlurmProcessLauncher::TryStart(const StartRequest& request) {
  // Only job lines go to the cluster: the report generator reads the run folder right
  // after the run and belongs beside the runner, whatever the cluster's queue holds.
  if (request.cluster_job_name.empty()) return local_->TryStart(request);
  std::optional<std::vector<std::string>> arguments = SrunArguments(request);
  if (!arguments) {
    const ProgramCommand command = ResolveProgramCommand(request.program, {});
    return Status::Failed(
        std::string(Unquoted(request.program)) + ": " +
        (command.startable() ? std::string("the current folder cannot be read") : command.cause));
  }
  // srun hands on what the program writes on the node: it lands where it would here.
  return local_->TryStart({"srun", std::move(*arguments), std::string(), 0, request.output_file});
}

bool SlurmProcessLauncher::IsRunning(ProcessHandle& handle) { return local_->IsRunning(handle); }

// srun ends with the exit status of the program it ran on the node (or its own, when it
// could not run it): the job line's verdict, without asking the batch system.
std::optional<int> SlurmProcessLauncher::ExitStatus(ProcessHandle handle) const {
  return local_->ExitStatus(handle);
}

void SlurmProcessLauncher::Forget(ProcessHandle handle) { local_->Forget(handle); }

void SlurmProcessLauncher::WaitForExit(std::chrono::milliseconds timeout) {
  local_->WaitForExit(timeout);
}

void SlurmProcessLauncher::Terminate(ProcessHandle handle, std::chrono::milliseconds grace) {
  local_->Terminate(handle, grace);
}

void SlurmProcessLauncher::BeginTerminate(ProcessHandle handle, std::chrono::milliseconds grace) {
  local_->BeginTerminate(handle, grace);
}

void SlurmProcessLauncher::TerminateAll(std::chrono::milliseconds grace) {
  local_->TerminateAll(grace);
}

void SlurmProcessLauncher::SetRunnerGoneArguments(std::vector<std::string> arguments) {
  local_->SetRunnerGoneArguments(std::move(arguments));
}

Result<std::unique_ptr<ProcessLauncher>> MakeConfiguredLauncher(
    RegistryReader& registry, const LocalLauncherFactory& make_local) {
  Result<LauncherSettings> settings = ReadLauncherSettings(registry);
  if (!settings.ok()) return settings.status;
  std::unique_ptr<ProcessLauncher> local = make_local();
  if (settings.value.type == LauncherSettings::Type::kLocal) return local;
  return std::unique_ptr<ProcessLauncher>(
      std::make_unique<SlurmProcessLauncher>(std::move(local), std::move(settings.value)));
}

}  // namespace jr
