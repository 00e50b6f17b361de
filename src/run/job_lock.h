#pragma once
// One run of a job at a time: the job's lock, taken by its overlap policy before a run
// starts anything and held until the run has ended.

#include <functional>
#include <optional>
#include <string>

#include "model/job_rules.h"
#include "store/run_lock_holder.h"

namespace jr {

struct JobLock {
  // Held when the run goes ahead under the lock; not held when it takes none (the policy
  // allows overlapping runs, or the job has no file) or may not go ahead.
  RunLock lock;
  // Set when the policy refuses the run because another run holds the lock: that run.
  std::optional<RunLockHolder> busy;
  // A stop was requested while the run waited for the lock.
  bool stopped = false;
  bool refused() const { return busy.has_value() || stopped; }
};

// The lock for a run of `job_file` (empty: a job that was never saved) under `policy`, kept
// beside the run history `database`. With kWait, the run waits its turn after the runs asked
// for before `asked`, `waiting` hears who holds the lock before the wait begins, and `stop`
// is asked during it. Fails, naming the cause, when the lock cannot be taken at all.
Result<JobLock> TakeJobLock(const std::string& database, const std::string& job_file,
                            OverlapPolicy policy, TimePoint asked,
                            const std::function<void(const RunLockHolder&)>& waiting = {},
                            const std::function<bool()>& stop = {});

// "the job "FILE" is already running (run RUNID, process PID, started YYYY-MM-DD HH:MM:SS);
// this run was not started", the start in local time.
std::string AlreadyRunningText(const std::string& job_file, const RunLockHolder& holder);

// The holder a run writes into its lock once its id is known.
RunLockHolder ThisRunAsHolder(const std::string& run_id, TimePoint start,
                              const std::string& job_file);

}  // namespace jr
