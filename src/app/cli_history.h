#pragma once
// `jobrunner --history`: the runs a job had, as the run history of the process metadata
// database keeps them, for people and (with --json) for scripts.

#include <optional>
#include <string>

namespace jr {

// The last 20 runs of the job file, newest first; with `run_id`, that run's lines. A
// missing or empty database, or a job without runs, says "no runs recorded" ("[]" with
// `json`) and gives 0; an unreadable database names the file and the cause and gives 3,
// as does a run id the job never had.
int RunHistoryCommand(const std::string& job_file, const std::optional<std::string>& run_id,
                      bool json);

// `--history --prune DAYS [JOBFILE]`: deletes the runs that started more than `days` days
// ago, with their rows, of `job_file` (found as --history finds its runs) or of every job.
// 0, or 3 when the database cannot be written.
int PruneHistoryCommand(int days, const std::optional<std::string>& job_file);

}  // namespace jr
