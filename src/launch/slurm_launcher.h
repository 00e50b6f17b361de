#pragma once
// Running job lines on a Slurm cluster: a launcher that starts each program through a
// local `srun`, which the engine then polls, waits for and ends like any local process.
// Which launcher a run uses is read from the registry (see the README).

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process_launcher.h"
#include "platform/registry.h"
#include "platform/status.h"

namespace jr {

struct LauncherSettings {
  enum class Type { kLocal, kSlurm };
  Type type = Type::kLocal;
  // Empty: the cluster's default partition.
  std::string partition;
  // Extra srun arguments, one text split like a job line's options.
  std::string arguments;
};

// Reads the setting. A missing or empty `Type` means local; "local" and "slurm" compare
// without regard to case and surrounding blanks. Any other type fails with a message
// naming the value. `Partition` and `Arguments` are taken with surrounding blanks removed.
Result<LauncherSettings> ReadLauncherSettings(RegistryReader& registry);

class SlurmProcessLauncher : public ProcessLauncher {
 public:
  // `local` starts the srun processes; it is what the engine's polls, waits and ends go
  // to. `working_folder` is the folder the cluster runs the programs in; empty means the
  // runner's current folder at each start.
  SlurmProcessLauncher(std::unique_ptr<ProcessLauncher> local, LauncherSettings settings,
                       std::string working_folder = {});

  // A request with a batch job name starts as `srun ... --job-name=NAME ... -- program
  // arguments` through the local launcher; it gives 0 without starting anything when the
  // program cannot be found (as a local start would). Any other start
  // (the report generator, a program's configuration run) is the local launcher's own.
  ProcessHandle Start(const StartRequest& request) override;
  // As Start; a program that cannot be found is named as a local start names it.
  Result<ProcessHandle> TryStart(const StartRequest& request) override;
  bool IsRunning(ProcessHandle& handle) override;
  std::optional<int> ExitStatus(ProcessHandle handle) const override;
  void Forget(ProcessHandle handle) override;
  void WaitForExit(std::chrono::milliseconds timeout) override;
  void BeginTerminate(ProcessHandle handle, std::chrono::milliseconds grace) override;
  // A polite end of srun cancels its step on the node; the forced end after `grace` is
  // the local launcher's.
  void TerminateAll(std::chrono::milliseconds grace) override;
  void Terminate(ProcessHandle handle, std::chrono::milliseconds grace) override;
  void SetRunnerGoneArguments(std::vector<std::string> arguments) override;

 private:
  // The srun arguments for the request; nothing when they cannot be composed.
  std::optional<std::vector<std::string>> SrunArguments(const StartRequest& request) const;

  std::unique_ptr<ProcessLauncher> local_;
  LauncherSettings settings_;
  std::string working_folder_;
};

using LocalLauncherFactory = std::function<std::unique_ptr<ProcessLauncher>()>;

// The launcher for job lines as the registry sets it: the local launcher, or the cluster
// launcher wrapped around one. A failure when the setting is wrong; the run must not
// start then.
Result<std::unique_ptr<ProcessLauncher>> MakeConfiguredLauncher(
    RegistryReader& registry, const LocalLauncherFactory& make_local = MakeSystemProcessLauncher);

}  // namespace jr
