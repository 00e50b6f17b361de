#include "platform/run_lock.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <thread>
#include <utility>

#include "platform/run_lock_file.h"
#include "platform/utf8.h"

namespace jr {

struct RunLockAccess {
  static RunLock Held(RunLockFile file) {
    RunLock lock;
    lock.handle_ = file;
    return lock;
  }
  static RunLockFile File(const RunLock& lock) { return lock.handle_; }
};

using namespace std::chrono_literals;

RunLock::RunLock(RunLock&& other) noexcept : handle_(std::exchange(other.handle_, kNoHandle)) {}

RunLock& RunLock::operator=(RunLock&& other) noexcept {
  if (this != &other) {
    Release();
    handle_ = std::exchange(other.handle_, kNoHandle);
  }
  return *this;
}

RunLock::~RunLock() { Release(); }

void RunLock::Release() {
  if (handle_ == kNoHandle) return;
  CloseRunLockFile(handle_);
  handle_ = kNoHandle;
}

Status RunLock::Write(const std::string& text) {
  return WriteRunLockFile(RunLockAccess::File(*this), text);
}

Result<RunLock> TryTakeRunLock(const std::string& path) {
  Result<RunLockFile> file = OpenRunLockFileForTaking(path);
  if (!file.ok()) return file.status;
  // Someone asking who holds the lock holds it shared for an instant: a few short retries
  // keep that from being taken for a run going on.
  for (int attempt = 0; attempt < 5; ++attempt) {
    const Result<bool> taken = TryLockRunLockFile(file.value, false, path);
    if (!taken.ok()) {
      CloseRunLockFile(file.value);
      return taken.status;
    }
    if (taken.value) return RunLockAccess::Held(file.value);
    std::this_thread::sleep_for(10ms);
  }
  CloseRunLockFile(file.value);
  return RunLock();
}

namespace {

// The runs waiting for a lock queue up in the folder "<lock>.queue", one ticket file each,
// named for the moment its run was asked for ("<nanoseconds since 1970, 20 digits>-<pid>.wait"),
// so that the names sort in the order the runs were. A waiter holds the lock of its own ticket
// while it waits: a ticket whose lock is free is a waiter's that died, and is dropped. The
// lock goes to the oldest live ticket; polling the lock alone would hand it to whichever
// waiter happened to look first.
constexpr std::string_view kTicketEnd = ".wait";

bool IsTicket(const std::string& name) {
  return name.size() > kTicketEnd.size() && name.ends_with(kTicketEnd);
}

class Ticket {
 public:
  static Result<Ticket> Take(const std::string& lock_path, TimePoint asked) {
    Ticket ticket;
    ticket.queue_ = lock_path + ".queue";
    char name[64];
    std::snprintf(name, sizeof name, "%020lld-%lld",
                  static_cast<long long>(std::max<int64_t>(
                      0, std::chrono::nanoseconds(asked.time_since_epoch()).count())),
                  static_cast<long long>(CurrentProcessId()));
    ticket.name_ = std::string(name) + std::string(kTicketEnd);
    // Made and locked under another name, then put in the queue: a waiter looking at the
    // queue must never find it there not yet locked, and drop it as a dead waiter's.
    const std::string unlocked = ticket.queue_ + "/" + name + ".new";
    Result<RunLockFile> file = OpenRunLockFileForTaking(unlocked);
    if (!file.ok()) return file.status;
    ticket.file_ = file.value;
    const Result<bool> locked = TryLockRunLockFile(file.value, false, unlocked);
    std::error_code renamed;
    if (locked.ok() && locked.value) {
      std::filesystem::rename(NativePath(unlocked), NativePath(ticket.Path()), renamed);
    }
    if (!locked.ok() || !locked.value || renamed) {
      std::error_code ignored;
      std::filesystem::remove(NativePath(unlocked), ignored);
      if (!locked.ok()) return locked.status;
      return Status::Failed("cannot queue for the run lock \"" + lock_path + "\": " +
                            (renamed ? renamed.message() : "another process holds its ticket"));
    }
    return ticket;
  }

  Ticket() = default;
  Ticket(Ticket&& other) noexcept
      : queue_(std::move(other.queue_)),
        name_(std::move(other.name_)),
        file_(std::exchange(other.file_, kNoFile)) {}
  Ticket& operator=(Ticket&&) = delete;
  ~Ticket() {
    if (file_ == kNoFile) return;
    // Removed while still locked, so that no waiter takes it for a dead one meanwhile.
    std::error_code error;
    std::filesystem::remove(NativePath(Path()), error);
    CloseRunLockFile(file_);
  }

  // Whether no live waiter queued before this one; drops the dead waiters' tickets found.
  bool First() const {
    std::error_code error;
    for (std::filesystem::directory_iterator entry(NativePath(queue_), error), end;
         !error && entry != end; entry.increment(error)) {
      const std::string name = Utf8Name(entry->path().filename());
      if (IsTicket(name) && name < name_ && Live(Utf8Name(entry->path()))) return false;
    }
    return true;
  }

 private:
  static constexpr RunLockFile kNoFile = -1;

  static bool Live(const std::string& path) {
    Result<std::optional<RunLockFile>> file = OpenRunLockFileForAsking(path);
    if (!file.ok() || !file.value) return false;
    const Result<bool> free = TryLockRunLockFile(*file.value, true, path);
    CloseRunLockFile(*file.value);
    // A ticket that cannot be asked counts as live: better wait than overtake.
    if (!free.ok() || !free.value) return true;
    std::error_code error;
    std::filesystem::remove(NativePath(path), error);
    return false;
  }

  std::string Path() const { return queue_ + "/" + name_; }

  std::string queue_;
  std::string name_;
  RunLockFile file_ = kNoFile;
};

}  // namespace

Result<RunLock> TakeRunLockWaiting(const std::string& path, TimePoint asked,
                                   const std::function<bool()>& stop) {
  Result<Ticket> ticket = Ticket::Take(path, asked);
  if (!ticket.ok()) return ticket.status;
  Result<RunLockFile> file = OpenRunLockFileForTaking(path);
  if (!file.ok()) return file.status;
  // Bounded by the steady clock as well: a wall clock set back must not hold the run up.
  const auto called = std::chrono::steady_clock::now();
  const auto settled = [&] {
    return std::chrono::system_clock::now() >= asked + kRunLockSettle ||
           std::chrono::steady_clock::now() >= called + kRunLockSettle;
  };
  for (;;) {
    if (settled() && ticket.value.First()) {
      const Result<bool> taken = TryLockRunLockFile(file.value, false, path);
      if (!taken.ok()) {
        CloseRunLockFile(file.value);
        return taken.status;
      }
      if (taken.value) return RunLockAccess::Held(file.value);
    }
    if (stop && stop()) break;
    std::this_thread::sleep_for(100ms);
    if (stop && stop()) break;
  }
  CloseRunLockFile(file.value);
  return RunLock();
}

Result<std::optional<std::string>> HeldRunLockText(
    const std::string& path, const std::function<bool(std::string_view)>& complete) {
  Result<std::optional<RunLockFile>> file = OpenRunLockFileForAsking(path);
  if (!file.ok()) return file.status;
  if (!file.value) return std::optional<std::string>();
  const Result<bool> free = TryLockRunLockFile(*file.value, true, path);
  if (!free.ok() || free.value) {
    CloseRunLockFile(*file.value);
    if (!free.ok()) return free.status;
    return std::optional<std::string>();
  }
  // Held. The holder writes who it is right after taking the lock; give it a moment.
  std::string text;
  for (int attempt = 0; attempt < 20; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(10ms);
    text = ReadRunLockFile(*file.value);
    if (complete(text)) break;
  }
  CloseRunLockFile(*file.value);
  return std::optional<std::string>(std::move(text));
}

}  // namespace jr
