#pragma once
// The runs going on now, as the run history and the run locks tell them: a run's rows say
// how far it got, the job's run lock whether its runner is still there. A run without an
// end whose runner died (killed, the machine reset) is interrupted, not going on: the
// kernel freed its lock with the process. A job that lets its runs overlap takes no lock,
// so its runs are never listed, nor found dead: a live one cannot be told from a dead one.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "insight/expected_end.h"
#include "store/run_history.h"

namespace jr {

struct RunInProgress {
  RunSummary run;
  int64_t pid = 0;                   // the runner's process, as the lock's holder wrote it
  std::vector<RunLineRecord> lines;  // in the order they started, then the others
};

// The runs going on now in the database at `database`, of `job_file` (an absolute name)
// or of every job, newest first. A missing database holds none.
Result<std::vector<RunInProgress>> RunsInProgress(const std::string& database,
                                                  const std::optional<std::string>& job_file);

// The runs without an end of `job_file` (an absolute name) or of every job whose runner is
// gone: their job's lock is free, or held by this process (whose run has no row yet), and
// the job, as its file reads now, takes it (it does not let its runs overlap). Newest first, with
// their lines (and no process). Runs of a job file that no longer reads are left as they are.
Result<std::vector<RunInProgress>> DeadRuns(const std::string& database,
                                            const std::optional<std::string>& job_file);

// A line's state in a run that goes on: waiting (not started yet), running, or how it ended:
// ok, failed, skipped; not run for a line this run will not start (a rerun took it as over)
// or one that ended with an outcome this version does not know.
enum class LiveState { kWaiting, kRunning, kOk, kFailed, kSkipped, kNotRun };
LiveState LiveLineState(const RunLineRecord& line);
// The state as `--status` and the notices name it: "waiting", "running", "ok", ...
const char* LiveStateWord(LiveState state);

// The lines of a run going on as its rows tell them (`rows` in any order), with the wait lists
// of the job's lines by number; a repeat copy waits as the job's line it repeats.
std::vector<ForeseenLine> ForeseenLinesOf(std::vector<RunLineRecord> rows,
                                          const std::map<int32_t, std::vector<int32_t>>& waits);

// The expected end of `live` at `now`: its lines' states from its rows, their wait lists and
// the maximum from its job file as the file is now, the usual durations from the job's runs
// before it in the database at `database`. A job file that cannot be read gives none.
Result<ExpectedEnd> ExpectedEndOf(const std::string& database, const RunInProgress& live,
                                  TimePoint now);

// Whole seconds from `from` to the line's end or, while it runs, to `now`.
int64_t ElapsedSeconds(TimePoint from, const std::optional<TimePoint>& end, TimePoint now);

}  // namespace jr
