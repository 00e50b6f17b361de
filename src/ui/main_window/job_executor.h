#pragma once
// The window runs a job through this interface, so that the run driver can be plugged in
// (and tests can run "jobs" that are only scripted progress).

#include <cstdint>
#include <memory>
#include <string>

#include "engine/run_hooks.h"
#include "jobfile/job_file.h"
#include "model/run_env.h"
#include "run/run_job.h"

namespace jr {

struct JobRunOutcome {
  // False when the run could not start at all; `message` then says why.
  bool ran = false;
  // For a run: its final status text ("finished without errors." and the like).
  std::string message;
};

class JobExecutor {
 public:
  virtual ~JobExecutor() = default;
  // Runs `job` in window mode on the calling thread and returns when the run is over.
  // `hooks.Pause` is where the window keeps processing its events; the run ends early, as
  // an interrupted command-line run does, once `hooks.StopRequested()` is true. With
  // `rerun`, the run is a rerun of that earlier run.
  virtual JobRunOutcome execute(const JobDocument& job, int32_t max_parallel, RunHooks& hooks,
                                const RerunBasis* rerun = nullptr) = 0;
};

// An executor for builds without a run driver: every run is refused with a message.
std::unique_ptr<JobExecutor> MakeUnavailableJobExecutor();

// Runs jobs through the run driver on the launcher the registry sets (a wrong setting
// refuses the run with its message) and this machine's registry, event log and metadata
// log, as command-line mode does.
std::unique_ptr<JobExecutor> MakeDriverJobExecutor();

}  // namespace jr
