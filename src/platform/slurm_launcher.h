#pragma once
// Running job lines on a Slurm cluster: a launcher that starts each program through a
// local `srun`, which the engine then polls, waits for and ends like any local process.
// Which launcher a run uses is read from the registry (see the README).

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/process_launcher.h"
#include "platform/registry.h"

namespace jr {

// The registry key of the launcher setting, under HKEY_LOCAL_MACHINE.
inline constexpr std::string_view kLauncherKey = "SOFTWARE\\Extraction Job Runner\\Launcher";

struct LauncherSettings {
  enum class Type { kLocal, kSlurm };
  Type type = Type::kLocal;
  // Empty: the cluster's default partition.
  std::string partition;
  // Extra srun arguments, one text split like a job line's options.
  std::string arguments;
};

// Reads the setting. A missing or empty `Type` means local; "local" and "slurm" compare
// without regard to case and surrounding blanks. Any other type gives false with `error`
// naming the value. `Partition` and `Arguments` are taken with surrounding blanks removed.
bool ReadLauncherSettings(RegistryReader& registry, LauncherSettings* settings, std::string* error);

class SlurmProcessLauncher : public ProcessLauncher {
 public:
  // `local` starts the srun processes; it is what the engine's polls, waits and ends go
  // to. `working_folder` is the folder the cluster runs the programs in; empty means the
  // runner's current folder at each start.
  SlurmProcessLauncher(std::unique_ptr<ProcessLauncher> local, LauncherSettings settings,
                       std::string working_folder = {});

  // A job line (a start named by SetJobLineNr) starts as `srun ... -- program arguments`
  // through the local launcher; it gives 0 without starting anything when the program
  // cannot be found (as a local start would), or when the program or the working folder
  // holds a double quote, which the argument text cannot carry. Any other start (the
  // report generator, a program's configuration run) is the local launcher's own.
  ProcessHandle Start(std::string_view program, std::string_view arguments) override;
  bool IsRunning(ProcessHandle& handle) override;
  void Forget(ProcessHandle handle) override;
  void WaitForExit(std::chrono::milliseconds timeout) override;
  // A polite end of srun cancels its step on the node; the forced end after `grace` is
  // the local launcher's.
  void TerminateAll(std::chrono::milliseconds grace) override;

  // The cluster's job name is "<run name>_<job line number>". The job line number
  // applies to the next Start only, and makes it a job line's.
  void SetRunName(std::string_view run_name) override;
  void SetJobLineNr(int32_t job_line_nr) override;

  // The srun argument text for one start of `program` (found, see Start), as Start hands
  // it to the local launcher; empty when it cannot be composed. `through_shell` runs the
  // program by /bin/sh, as the local launcher does with a file that is not executable.
  std::string SrunArguments(std::string_view program, std::string_view arguments,
                            bool through_shell) const;

 private:
  std::string JobName() const;

  std::unique_ptr<ProcessLauncher> local_;
  LauncherSettings settings_;
  std::string working_folder_;
  std::string run_name_;
  std::optional<int32_t> job_line_nr_;
};

using LocalLauncherFactory = std::function<std::unique_ptr<ProcessLauncher>()>;

// The launcher for job lines as the registry sets it: the local launcher, or the cluster
// launcher wrapped around one. Null with `error` set when the setting is wrong; the run
// must not start then.
std::unique_ptr<ProcessLauncher> MakeConfiguredLauncher(
    RegistryReader& registry, std::string* error,
    const LocalLauncherFactory& make_local = MakeSystemProcessLauncher);

// What `jobrunner --check` needs to look at outside the process.
class LauncherProbe {
 public:
  virtual ~LauncherProbe() = default;
  // The full name of `program` found on PATH; empty when there is none.
  virtual std::string FindOnPath(std::string_view program) = 0;
  // Runs `program` with `arguments` to its end; its exit status, and its standard output
  // and error together in `output`. -1 when it could not be run.
  virtual int Run(const std::string& program, const std::string& arguments,
                  std::string* output) = 0;
};

// The probe of this machine.
std::unique_ptr<LauncherProbe> MakeSystemLauncherProbe();

// Lines (each ending in a line break) telling the launcher in use and, for the cluster,
// whether srun is found and the controller answers; what is wrong starts with "error:".
// Empty when the registry sets no launcher type: job lines run here, as they always did.
// `ok` (may be null) is set to false when job lines would not run.
std::string DescribeLauncher(RegistryReader& registry, LauncherProbe& probe, bool* ok);

}  // namespace jr
