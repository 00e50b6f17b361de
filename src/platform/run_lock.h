#pragma once
// A lock on a file that the kernel frees when the process holding it ends, however it ends,
// so a killed holder never leaves it taken. Only the holder writes the file: a short text
// saying who it is, so that whoever finds the lock taken can name the holder.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/status.h"

namespace jr {

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
  // Writes `text` into the lock file in place of what it held.
  Status Write(const std::string& text);
  void Release();

 private:
  friend struct RunLockAccess;
  static constexpr intptr_t kNoHandle = -1;
  intptr_t handle_ = kNoHandle;
};

// Takes the lock at `path` without waiting, creating its folder and file when needed. The
// lock is not held (held() false) when another process holds it.
Result<RunLock> TryTakeRunLock(const std::string& path);

// Takes the lock at `path`, waiting while another process holds it or a waiter asked for it
// earlier: the waiters get it in the order of `asked`, the moment each run was asked for,
// however long each took to come to the queue. A free lock is taken no sooner than
// kRunLockSettle after `asked` (or after the call, whichever comes first), so that a run
// asked for a moment earlier that is still loading comes to the queue first. Asks `stop`
// (when given) about every 100 ms and gives up, with a lock not held, when it says so.
inline constexpr std::chrono::milliseconds kRunLockSettle{1000};
Result<RunLock> TakeRunLockWaiting(const std::string& path, TimePoint asked,
                                   const std::function<bool()>& stop);

// This process's id, as a holder names itself.
int64_t CurrentProcessId();

// When this process was made (its parent's fork, not its own start of work, which varies
// with the load by far more than the time between two runs started one after the other);
// now, when the system does not tell.
TimePoint CurrentProcessStart();

// What the holder of the lock at `path` wrote: nullopt when no process holds it (or there is
// no such file). The holder writes its text right after taking the lock, so a text that
// `complete` does not accept yet is read again for a moment; one still incomplete then is
// given as it stands. Does not disturb a process taking the lock at the same moment.
Result<std::optional<std::string>> HeldRunLockText(
    const std::string& path, const std::function<bool(std::string_view)>& complete);

}  // namespace jr
