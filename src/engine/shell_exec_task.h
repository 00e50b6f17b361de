#pragma once
// Starting programs and waiting for them, on top of the platform's launcher.

#include <string>
#include <string_view>

#include "engine/engine_env.h"
#include "model/job_line.h"

namespace jr {

// Starts `program` with `arguments` (left out when blank); the handle, or 0.
ProcessHandle ShellExecTask(ProcessLauncher& launcher, std::string_view program,
                            std::string_view arguments);

// True while the process runs; sets `handle` to 0 once it has seen it end. 0 gives false.
bool IsTaskRunning(ProcessLauncher& launcher, ProcessHandle& handle);

// Starts the program and returns when it has ended, calling `pause` (at most 100 ms each)
// between polls so that a window stays responsive.
void ShellExecAndWait(ProcessLauncher& launcher, std::string_view program,
                      std::string_view arguments, const PauseFn& pause);

}  // namespace jr
