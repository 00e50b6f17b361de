#pragma once
// `jobrunner --status`: the runs going on now, with the state of each of their job lines,
// for people and (with --json) for scripts.

#include <optional>
#include <string>

namespace jr {

// The runs of `job_file`, or of every job, going on now. Nothing going on, or no database,
// says so ("[]" with `json`) and gives 0, as does a list; an unreadable database names the
// file and the cause and gives 3.
int RunStatusCommand(const std::optional<std::string>& job_file, bool json);

// `jobrunner --interrupted RUNID JOBFILE`, which the runner's watchdog starts when the runner
// ended without ending the run (see interrupted_run.h): reports the run unless someone did.
// 0 when the run is told of or had an end; 2, with the cause on standard error, when it
// could not be marked.
int RunInterruptedCommand(const std::string& run_id, const std::string& job_file);

}  // namespace jr
