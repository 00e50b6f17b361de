#pragma once
// A run whose runner ended without ending it (SIGKILL, the out-of-memory killer, a crash) is
// told of as any run's end is, by whoever finds it first: the runner's watchdog, which starts
// `jobrunner --interrupted RUNID JOBFILE` once it has ended the run's lines; else the job's
// next run, or a look at the runs going on (`--status`), for a run whose watchdog was gone
// too or never started. The run is marked interrupted in the run history, its lines that had
// started read "interrupted", the metrics file says no run goes on and gives the run's
// figures, and the finished notice goes out with the status "interrupted", as after a
// failure.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/run_env.h"
#include "run/run_job.h"
#include "run/system_env.h"

namespace jr {

// The hidden command line that tells of run `run_id` of `job_file`, less the program.
std::vector<std::string> InterruptedRunArguments(const std::string& run_id,
                                                 const std::string& job_file);

// Asks the launcher, once the run has its id, to have the run told of should the runner end
// without ending it, and says goodbye once the run has ended.
class InterruptionGuard final : public RunWatcher {
 public:
  InterruptionGuard(ProcessLauncher& launcher, std::string job_file)
      : launcher_(launcher), job_file_(std::move(job_file)) {}

  void RunBegan(const RunResult& run, TimePoint, RunHistory*, const RunLines&) override;
  void RunEnded(const RunResult&, TimePoint, const RunLines&, const std::vector<int32_t>&) override;

 private:
  ProcessLauncher& launcher_;
  std::string job_file_;
};

using Warn = std::function<void(std::string_view)>;

// Marks run `run_id` of `job_file` (an absolute name) in the run history `database`
// interrupted at `end`, unless it has an end already; then writes the job's metrics file
// (unless a run of the job holds its lock: that run keeps the file) and sends the finished
// notice to those the job file names now. True when this call marked the run: of all who
// find the run at once, only one tells of it. What cannot be done goes to `warn`.
Result<bool> ReportInterruptedRun(const std::string& database, const std::string& job_file,
                                  const std::string& run_id, TimePoint end, RunEnv& env,
                                  const Warn& warn);

// Reports each run of `job_file` (or of every job) whose runner is gone (see DeadRuns), its
// end the last moment its rows recorded. `warn` hears each run reported, and what failed.
void ReportDeadRuns(const std::string& database, const std::optional<std::string>& job_file,
                    RunEnv& env, const Warn& warn);

// This machine's outside world for a report outside a run (it shows no messages); fails as
// SystemEnv::Make does.
Result<std::unique_ptr<SystemEnv>> ReportingEnv();

}  // namespace jr
