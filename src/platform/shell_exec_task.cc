#include "platform/shell_exec_task.h"

namespace jr {

ProcessHandle ShellExecTask(ProcessLauncher& launcher, const StartRequest& request) {
  return launcher.Start(request);
}

bool IsTaskRunning(ProcessLauncher& launcher, ProcessHandle& handle) {
  if (handle == 0) return false;
  return launcher.IsRunning(handle);
}

void ShellExecAndWait(ProcessLauncher& launcher, std::string_view program,
                      const std::vector<std::string>& arguments, const PauseFn& pause) {
  ProcessHandle handle = ShellExecTask(launcher, {std::string(program), arguments, std::string()});
  while (IsTaskRunning(launcher, handle)) pause(std::chrono::milliseconds(100));
}

}  // namespace jr
