#include "run/job_lock.h"

#include <chrono>

#include "platform/file_digest.h"
#include "platform/local_time.h"

namespace jr {

Result<JobLock> TakeJobLock(const std::string& database, const std::string& job_file,
                            OverlapPolicy policy, TimePoint asked,
                            const std::function<void(const RunLockHolder&)>& waiting,
                            const std::function<bool()>& stop) {
  JobLock taken;
  if (job_file.empty() || policy == OverlapPolicy::kAllow) return taken;
  Result<std::string> path = RunLockPath(database, job_file);
  if (!path.ok()) return path.status;
  if (policy == OverlapPolicy::kWait) {
    // A waiting run queues also when it finds the lock free: between two runs it is free
    // for a moment, and a run taking it then would go before the runs already waiting.
    Result<std::optional<RunLockHolder>> holder = RunLockHolderOf(path.value);
    if (!holder.ok()) return holder.status;
    if (holder.value && waiting) waiting(*holder.value);
    Result<RunLock> waited = TakeRunLockWaiting(path.value, asked, stop);
    if (!waited.ok()) return waited.status;
    taken.stopped = !waited.value.held();
    taken.lock = std::move(waited.value);
  }
  // A few attempts: a holder may end between the attempt and the reading of its name.
  for (int attempt = 0; attempt < 3 && policy == OverlapPolicy::kRefuse; ++attempt) {
    Result<RunLock> tried = TryTakeRunLock(path.value);
    if (!tried.ok()) return tried.status;
    if (tried.value.held()) {
      taken.lock = std::move(tried.value);
      break;
    }
    Result<std::optional<RunLockHolder>> holder = RunLockHolderOf(path.value);
    if (!holder.ok()) return holder.status;
    if (!holder.value) continue;
    taken.busy = std::move(holder.value);
    return taken;
  }
  if (taken.lock.held()) {
    // Who holds it, until the run has its id: a run that finds the lock taken in the
    // meantime can name the process at least. A write that fails here fails again when the
    // run names itself, and is told then.
    (void)SetRunLockHolder(taken.lock,
                           ThisRunAsHolder({}, std::chrono::system_clock::now(), job_file));
    return taken;
  }
  if (taken.stopped) return taken;
  return Status::Failed("the lock of the job \"" + job_file + "\" (" + path.value +
                        ") was taken and freed again too often to be taken");
}

std::string AlreadyRunningText(const std::string& job_file, const RunLockHolder& holder) {
  const std::time_t start = std::chrono::system_clock::to_time_t(holder.start);
  return "the job \"" + AbsoluteFileName(job_file) + "\" is already running (run " + holder.run_id +
         ", process " + std::to_string(holder.pid) + ", started " +
         FormatLocalTime(start, "%Y-%m-%d %H:%M:%S") + "); this run was not started";
}

RunLockHolder ThisRunAsHolder(const std::string& run_id, TimePoint start,
                              const std::string& job_file) {
  RunLockHolder holder;
  holder.run_id = run_id;
  holder.pid = CurrentProcessId();
  holder.start = start;
  holder.job_file = AbsoluteFileName(job_file);
  return holder;
}

}  // namespace jr
