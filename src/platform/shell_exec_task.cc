#include "platform/shell_exec_task.h"

#include "platform/blanks.h"

namespace jr {

ProcessHandle ShellExecTask(ProcessLauncher& launcher, std::string_view program,
                            std::string_view arguments) {
  if (TrimBlanks(arguments).empty()) arguments = {};
  return launcher.Start(program, arguments);
}

bool IsTaskRunning(ProcessLauncher& launcher, ProcessHandle& handle) {
  if (handle == 0) return false;
  return launcher.IsRunning(handle);
}

void ShellExecAndWait(ProcessLauncher& launcher, std::string_view program,
                      std::string_view arguments, const PauseFn& pause) {
  ProcessHandle handle = ShellExecTask(launcher, program, arguments);
  while (IsTaskRunning(launcher, handle)) pause(std::chrono::milliseconds(100));
}

}  // namespace jr
