#include "platform/slurm_launcher.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <system_error>

#include "platform/blanks.h"
#include "platform/config.h"
#include "platform/installation.h"

namespace jr {
namespace {

namespace fs = std::filesystem;

constexpr char kPathListSeparator = kPathSeparator == '/' ? ':' : ';';

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

// The local launcher splits its argument text at blanks and tabs and takes a
// double-quoted stretch as one argument; there is no escape, so a double quote inside an
// argument cannot pass.
bool AppendArgument(std::string* text, std::string_view argument) {
  if (argument.find('"') != std::string_view::npos) return false;
  if (!text->empty()) *text += ' ';
  if (argument.find_first_of(" \t") != std::string_view::npos) {
    *text += '"';
    *text += argument;
    *text += '"';
  } else {
    *text += argument;
  }
  return true;
}

// The program text the way the local launcher reads it: surrounding quotes removed.
std::string_view Unquoted(std::string_view program) {
  if (program.size() >= 2 && program.front() == '"' && program.back() == '"') {
    return program.substr(1, program.size() - 2);
  }
  return program;
}

bool IsExecutableFile(const fs::path& path) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (ec || !fs::is_regular_file(status)) return false;
  constexpr fs::perms kAnyExec =
      fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
  return (status.permissions() & kAnyExec) != fs::perms::none;
}

std::string SearchPath(std::string_view name) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return {};
  std::string_view folders(path);
  while (true) {
    const size_t end = folders.find(kPathListSeparator);
    std::string_view folder = folders.substr(0, end);
    // An empty entry means the current folder, as for the shell.
    fs::path candidate = fs::path(folder.empty() ? "." : std::string(folder)) / std::string(name);
    if (IsExecutableFile(candidate)) return candidate.string();
    if (end == std::string_view::npos) return {};
    folders.remove_prefix(end + 1);
  }
}

enum class ProgramKind { kMissing, kExecutable, kScript };

// Mirrors the local launcher, so that a line fails at its start on the cluster exactly
// when it would locally: a name with a separator is a file, which must exist (and runs by
// /bin/sh when it is not executable); a bare name is searched on PATH. The nodes share
// this file system, so what is found here is found there.
ProgramKind FindProgram(std::string_view program) {
  if (program.empty()) return ProgramKind::kMissing;
  if (program.find('/') == std::string_view::npos &&
      program.find(kPathSeparator) == std::string_view::npos) {
    return SearchPath(program).empty() ? ProgramKind::kMissing : ProgramKind::kExecutable;
  }
  std::error_code ec;
  if (!fs::is_regular_file(fs::path(std::string(program)), ec)) return ProgramKind::kMissing;
  return IsExecutableFile(fs::path(std::string(program))) ? ProgramKind::kExecutable
                                                          : ProgramKind::kScript;
}

std::string FirstLine(const std::string& text) {
  std::string line = text.substr(0, text.find('\n'));
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

class SystemLauncherProbe : public LauncherProbe {
 public:
  std::string FindOnPath(std::string_view program) override { return SearchPath(program); }

  int Run(const std::string& program, const std::string& arguments, std::string* output) override {
    std::error_code ec;
    fs::path capture = fs::temp_directory_path(ec);
    if (ec) return -1;
    std::random_device random;
    capture /= "jobrunner-probe-" + std::to_string(random()) + ".txt";
    // Created here and now, so that the redirection below writes into a file of ours and
    // never through a link someone placed in the shared temporary folder.
    std::FILE* created = std::fopen(capture.string().c_str(), "wx");
    if (created == nullptr) return -1;
    std::fclose(created);
    // Only for --check: the standard library's command processor is enough to capture
    // the output, and both shells it may be understand these redirections.
    std::string command = "\"" + program + "\"";
    if (!arguments.empty()) command += " " + arguments;
    command += " >\"" + capture.string() + "\" 2>&1";
    const int status = std::system(command.c_str());
    std::ifstream in(capture);
    std::ostringstream text;
    text << in.rdbuf();
    in.close();
    fs::remove(capture, ec);
    if (output != nullptr) *output = text.str();
    if (status == -1) return -1;
    return status == 0 ? 0 : 1;
  }
};

}  // namespace

bool ReadLauncherSettings(RegistryReader& registry, LauncherSettings* settings,
                          std::string* error) {
  LauncherSettings read;
  const std::string type = GetRegistryString(registry, kLauncherKey, "Type");
  const std::string lower = Lower(TrimBlanks(type));
  if (lower.empty() || lower == "local") {
    read.type = LauncherSettings::Type::kLocal;
  } else if (lower == "slurm") {
    read.type = LauncherSettings::Type::kSlurm;
  } else {
    if (error != nullptr) {
      *error = "Unknown launcher type \"" + type + "\" in HKEY_LOCAL_MACHINE\\" +
               std::string(kLauncherKey) + " (Type must be \"local\" or \"slurm\").";
    }
    return false;
  }
  read.partition = std::string(TrimBlanks(GetRegistryString(registry, kLauncherKey, "Partition")));
  read.arguments = std::string(TrimBlanks(GetRegistryString(registry, kLauncherKey, "Arguments")));
  *settings = std::move(read);
  return true;
}

SlurmProcessLauncher::SlurmProcessLauncher(std::unique_ptr<ProcessLauncher> local,
                                           LauncherSettings settings, std::string working_folder)
    : local_(std::move(local)),
      settings_(std::move(settings)),
      working_folder_(std::move(working_folder)) {}

std::string SlurmProcessLauncher::JobName() const {
  std::string name = run_name_.empty() ? std::string("jobrunner") : run_name_;
  if (job_line_nr_) name += "_" + std::to_string(*job_line_nr_);
  return name;
}

std::string SlurmProcessLauncher::SrunArguments(std::string_view program,
                                                std::string_view arguments,
                                                bool through_shell) const {
  std::string folder = working_folder_;
  if (folder.empty()) {
    std::error_code ec;
    folder = fs::current_path(ec).string();
    if (ec) return {};
  }
  std::string text = "--ntasks=1";
  bool ok = AppendArgument(&text, "--job-name=" + JobName()) &&
            AppendArgument(&text, "--chdir=" + folder) && AppendArgument(&text, "--export=ALL") &&
            AppendArgument(&text, "--quiet");
  if (!settings_.partition.empty()) {
    ok = ok && AppendArgument(&text, "--partition=" + settings_.partition);
  }
  // Taken as typed: the local launcher splits it the way it splits a job line's options.
  if (!settings_.arguments.empty()) text += " " + settings_.arguments;
  text += " --";
  if (through_shell) text += " /bin/sh";
  ok = ok && AppendArgument(&text, Unquoted(program));
  if (!ok) return {};
  if (!arguments.empty()) {
    text += ' ';
    text += arguments;
  }
  return text;
}

ProcessHandle SlurmProcessLauncher::Start(std::string_view program, std::string_view arguments) {
  // Only job lines go to the cluster: the report generator reads the run folder right
  // after the run and belongs beside the runner, whatever the cluster's queue holds.
  if (!job_line_nr_) return local_->Start(program, arguments);
  const ProgramKind kind = FindProgram(Unquoted(program));
  std::string text;
  if (kind != ProgramKind::kMissing) {
    text = SrunArguments(program, arguments, kind == ProgramKind::kScript);
  }
  job_line_nr_.reset();
  if (text.empty()) return 0;
  return local_->Start("srun", text);
}

bool SlurmProcessLauncher::IsRunning(ProcessHandle& handle) { return local_->IsRunning(handle); }

void SlurmProcessLauncher::Forget(ProcessHandle handle) { local_->Forget(handle); }

void SlurmProcessLauncher::WaitForExit(std::chrono::milliseconds timeout) {
  local_->WaitForExit(timeout);
}

void SlurmProcessLauncher::TerminateAll(std::chrono::milliseconds grace) {
  local_->TerminateAll(grace);
}

void SlurmProcessLauncher::SetRunName(std::string_view run_name) { run_name_ = run_name; }

void SlurmProcessLauncher::SetJobLineNr(int32_t job_line_nr) { job_line_nr_ = job_line_nr; }

std::unique_ptr<ProcessLauncher> MakeConfiguredLauncher(RegistryReader& registry,
                                                        std::string* error,
                                                        const LocalLauncherFactory& make_local) {
  LauncherSettings settings;
  if (!ReadLauncherSettings(registry, &settings, error)) return nullptr;
  std::unique_ptr<ProcessLauncher> local = make_local();
  if (settings.type == LauncherSettings::Type::kLocal) return local;
  return std::make_unique<SlurmProcessLauncher>(std::move(local), std::move(settings));
}

std::unique_ptr<LauncherProbe> MakeSystemLauncherProbe() {
  return std::make_unique<SystemLauncherProbe>();
}

std::string DescribeLauncher(RegistryReader& registry, LauncherProbe& probe, bool* ok) {
  if (ok != nullptr) *ok = true;
  auto fail = [ok](std::string* text, const std::string& line) {
    *text += "error: " + line + "\n";
    if (ok != nullptr) *ok = false;
  };
  std::string text;
  LauncherSettings settings;
  std::string error;
  if (!ReadLauncherSettings(registry, &settings, &error)) {
    fail(&text, error);
    return text;
  }
  if (settings.type == LauncherSettings::Type::kLocal) {
    if (TrimBlanks(GetRegistryString(registry, kLauncherKey, "Type")).empty()) return {};
    return "Launcher: local (job lines run on this machine)\n";
  }
  text = "Launcher: slurm (job lines run through srun, partition: " +
         (settings.partition.empty() ? std::string("the cluster's default") : settings.partition) +
         (settings.arguments.empty() ? std::string()
                                     : ", extra srun arguments: " + settings.arguments) +
         ")\n";
  const std::string srun = probe.FindOnPath("srun");
  if (srun.empty()) {
    fail(&text, "srun not found on PATH");
  } else {
    text += "srun: " + srun + "\n";
  }
  // The name goes onto a command line for the command processor: anything beyond what
  // Slurm allows in partition names (a comma separates several) is refused unasked.
  if (settings.partition.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                           "0123456789._-,") != std::string::npos) {
    fail(&text, "the partition \"" + settings.partition + "\" is no Slurm partition name");
    return text;
  }
  const std::string sinfo = probe.FindOnPath("sinfo");
  if (sinfo.empty()) {
    fail(&text, "sinfo not found on PATH, cannot ask the Slurm controller");
    return text;
  }
  std::string arguments = "--noheader --format=%P";
  if (!settings.partition.empty()) arguments += " \"--partition=" + settings.partition + "\"";
  std::string output;
  const int status = probe.Run(sinfo, arguments, &output);
  if (status != 0) {
    const std::string reason = FirstLine(output);
    fail(&text,
         "the Slurm controller does not answer" + (reason.empty() ? std::string() : ": " + reason));
    return text;
  }
  std::string partitions;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    line = std::string(TrimBlanks(line));
    if (line.empty()) continue;
    if (!partitions.empty()) partitions += ", ";
    partitions += line;
  }
  if (!settings.partition.empty() && partitions.empty()) {
    fail(&text,
         "the Slurm controller answers, but has no partition \"" + settings.partition + "\"");
    return text;
  }
  text += "Slurm controller: answers (partitions: " + partitions + ")\n";
  return text;
}

}  // namespace jr
