#pragma once
// Starting programs and waiting for them, on top of the platform's launcher.

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process_launcher.h"

namespace jr {

// A pause supplied by the caller: the window keeps processing its events, a command-line
// run just waits. It may end early (when a child exits); it never lasts longer than asked.
using PauseFn = std::function<void(std::chrono::milliseconds longest)>;

// Starts the request's program with its arguments; the handle, or 0.
ProcessHandle ShellExecTask(ProcessLauncher& launcher, const StartRequest& request);

// True while the process runs; sets `handle` to 0 once it has seen it end. 0 gives false.
bool IsTaskRunning(ProcessLauncher& launcher, ProcessHandle& handle);

// Starts the program here (never as a batch job) and returns when it has ended, calling
// `pause` (at most 100 ms each) between polls so that a window stays responsive.
void ShellExecAndWait(ProcessLauncher& launcher, std::string_view program,
                      const std::vector<std::string>& arguments, const PauseFn& pause);

}  // namespace jr
