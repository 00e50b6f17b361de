#pragma once
// Unattended runs: `jobrunner JOBFILE`.

#include <string>

namespace jr {

// Loads the job file, runs the job and writes its reports. Returns the exit status:
// 0, 1 or 2 by the run's final status, 3 when the file cannot be loaded or is no job
// file, 4 when the job cannot be run at all. Messages go to standard error; progress too,
// when standard error is a terminal.
int RunFromCommandLine(const std::string& job_file);

}  // namespace jr
