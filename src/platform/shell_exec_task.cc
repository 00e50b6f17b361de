#include "platform/shell_exec_task.h"

#include "platform/blanks.h"

namespace jr {

ProcessHandle ShellExecTask(ProcessLauncher& launcher, StartRequest request) {
  if (TrimBlanks(request.arguments).empty()) request.arguments.clear();
  return launcher.Start(request);
}

bool IsTaskRunning(ProcessLauncher& launcher, ProcessHandle& handle) {
  if (handle == 0) return false;
  return launcher.IsRunning(handle);
}

void ShellExecAndWait(ProcessLauncher& launcher, std::string_view program,
                      std::string_view arguments, const PauseFn& pause) {
  ProcessHandle handle =
      ShellExecTask(launcher, {std::string(program), std::string(arguments), std::string()});
  while (IsTaskRunning(launcher, handle)) pause(std::chrono::milliseconds(100));
}

}  // namespace jr
