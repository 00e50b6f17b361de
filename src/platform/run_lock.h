#pragma once
// One run of a job at a time: a lock per job file, on a file in the folder "locks" beside the
// process metadata database. The kernel frees the lock when the process holding it ends,
// however it ends, so a killed runner never leaves its job locked. Only the holder writes the
// lock file: who it is, so that a run that finds the lock taken can name the run it waits for.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/clock.h"
#include "platform/status.h"

namespace jr {

// Who holds a job's lock, as the holder wrote it into the lock file.
struct RunLockHolder {
  // Empty in the moment between the taking of the lock and the naming of the run.
  std::string run_id;
  int64_t pid = 0;
  TimePoint start{};
  std::string job_file;  // the job file's absolute name
};

// The lock file for `job_file` beside the database `database`: the folder "locks" in the
// database's folder, and in it a file named after the SHA-256 of the job file's absolute name
// with symbolic links resolved (a job file reached by two names is one job). Fails, naming the
// file, when the job file's name cannot be resolved.
Result<std::string> RunLockPath(const std::string& database, const std::string& job_file);

// A held lock, released when it is destroyed (or by Release).
class RunLock {
 public:
  RunLock() = default;
  RunLock(RunLock&& other) noexcept;
  RunLock& operator=(RunLock&& other) noexcept;
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;
  ~RunLock();

  bool held() const { return handle_ != kNoHandle; }
  // Writes `holder` into the lock file in place of what it held.
  Status SetHolder(const RunLockHolder& holder);
  void Release();

 private:
  friend struct RunLockAccess;
  static constexpr intptr_t kNoHandle = -1;
  intptr_t handle_ = kNoHandle;
};

// Takes the lock at `path` without waiting, creating its folder and file when needed. The
// lock is not held (held() false) when another process holds it.
Result<RunLock> TryTakeRunLock(const std::string& path);

// Takes the lock at `path`, waiting while another process holds it; asks `stop` about every
// 100 ms and gives up, with a lock not held, when it says so.
Result<RunLock> TakeRunLockWaiting(const std::string& path, const std::function<bool()>& stop);

// This process's id, as a holder names itself.
int64_t CurrentProcessId();

// Who holds the lock at `path`: nullopt when no process holds it (or there is no such file).
// Does not disturb a process taking it at the same moment.
Result<std::optional<RunLockHolder>> RunLockHolderOf(const std::string& path);

}  // namespace jr
