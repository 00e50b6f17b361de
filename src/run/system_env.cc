#include "run/system_env.h"

#include "launch/slurm_launcher.h"

namespace jr {

Result<std::unique_ptr<SystemEnv>> SystemEnv::Make(Notifier& notifier) {
  std::unique_ptr<RegistryReader> registry = MakeSystemRegistryReader();
  Result<std::unique_ptr<ProcessLauncher>> launcher = MakeConfiguredLauncher(*registry);
  if (!launcher.ok()) return launcher.status;
  return std::unique_ptr<SystemEnv>(
      new SystemEnv(notifier, std::move(registry), std::move(launcher.value)));
}

SystemEnv::SystemEnv(Notifier& notifier, std::unique_ptr<RegistryReader> registry,
                     std::unique_ptr<ProcessLauncher> launcher)
    : registry_(std::move(registry)),
      launcher_(std::move(launcher)),
      event_log_(MakeSystemEventLogSink()),
      metadata_(MakeSystemMetadataLogFactory()),
      env_{clock_, *launcher_, RealFileSystem(), *registry_, *event_log_, *metadata_, notifier} {}

}  // namespace jr
