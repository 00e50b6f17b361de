#pragma once
// The outside world of a real run on this machine: the system clock, the registry, the
// launcher the registry's launcher setting asks for, the system log, the metadata store
// and the real file system. The window and command-line mode both run jobs on it.

#include <memory>
#include <string>

#include "model/run_env.h"
#include "platform/status.h"

namespace jr {

class SystemEnv {
 public:
  // A failure when the launcher setting cannot be used; nothing has run.
  static Result<std::unique_ptr<SystemEnv>> Make(Notifier& notifier);

  RunEnv& env() { return env_; }
  ProcessLauncher& launcher() { return *launcher_; }

 private:
  SystemEnv(Notifier& notifier, std::unique_ptr<RegistryReader> registry,
            std::unique_ptr<ProcessLauncher> launcher);

  SystemClock clock_;
  std::unique_ptr<RegistryReader> registry_;
  std::unique_ptr<ProcessLauncher> launcher_;
  std::unique_ptr<EventLogSink> event_log_;
  std::unique_ptr<ProcessMetadataLogFactory> metadata_;
  RunEnv env_;
};

}  // namespace jr
