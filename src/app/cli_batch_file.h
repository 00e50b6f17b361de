#pragma once
// `jobrunner --batch-file`: the batch file of Make Batch File, for a server without a
// display.

#include <optional>
#include <string>

namespace jr {

// Writes the batch file that runs `job_file` unattended with this program to `out_file`
// (made runnable, as the editor makes it), or to standard output without one. 0; 3 when
// the job file cannot be loaded, 4 when this program's own file cannot be found, 74 when
// the batch file cannot be written (the cause on standard error).
int BatchFileCommand(const std::string& job_file, const std::optional<std::string>& out_file);

}  // namespace jr
