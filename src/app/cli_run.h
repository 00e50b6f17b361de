#pragma once
// Unattended runs: `jobrunner JOBFILE`.

#include <string>

namespace jr {

// Loads the job file, runs the job and writes its reports. Returns the exit status:
// 0, 1 or 2 by the run's final status, 3 when the file cannot be loaded or is no job
// file, 4 when the job cannot be run at all. Messages go to standard error; progress too,
// when standard error is a terminal.
int RunFromCommandLine(const std::string& job_file);

// The maximum number of parallel lines a job's MaxParallel text stands for: a whole
// number from 1 to 99, blanks around it allowed; 0 when the text is anything else.
int ParseMaximumParallel(const std::string& text);

}  // namespace jr
