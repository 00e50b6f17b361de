#pragma once
// `jobrunner --graph`: the job as a graph in the DOT language, for the layout tools.

#include <string>

namespace jr {

// Prints the graph of the job file's lines on standard output; with `run_id`, coloured by
// that run's outcomes from the run history. 0, or 3 when the job file cannot be loaded, the
// database cannot be read or the job never had that run (the cause on standard error).
int RunGraphCommand(const std::string& job_file, const std::string& run_id);

}  // namespace jr
