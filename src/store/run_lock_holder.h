#pragma once
// One run of a job at a time: a run lock per job file, on a file in the folder "locks" beside
// the run history's database, in which the run holding it names itself ("key=value" lines,
// one per member of RunLockHolder), so that a run that finds the lock taken, and a look at the
// runs in progress, can name the run.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/run_lock.h"
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
// database's folder, and in it a file named after the SHA-256 of the job file's
// AbsoluteFileName (a job file reached by two names is one job).
Result<std::string> RunLockPath(const std::string& database, const std::string& job_file);

std::string RunLockHolderText(const RunLockHolder& holder);

// Names `holder` in the held `lock`, in place of what its file held.
Status SetRunLockHolder(RunLock& lock, const RunLockHolder& holder);

// The holder a lock file names; nullopt when the text is not (yet) a whole holder.
std::optional<RunLockHolder> ParseRunLockHolder(std::string_view text);

// Who holds the lock at `path`: nullopt when no process holds it (or there is no such file);
// a holder with nothing but defaults when the process holding it has not named itself yet.
Result<std::optional<RunLockHolder>> RunLockHolderOf(const std::string& path);

}  // namespace jr
