#include "platform/run_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/run_lock_text.h"

namespace jr {

struct RunLockAccess {
  static RunLock Held(int fd) {
    RunLock lock;
    lock.handle_ = fd;
    return lock;
  }
  static int Fd(const RunLock& lock) { return static_cast<int>(lock.handle_); }
};

namespace {

using namespace std::chrono_literals;

Status Failed(const std::string& what, const std::string& path, int error) {
  return Status::Failed("cannot " + what + " the run lock \"" + path + "\": " + strerror(error));
}

// Opens (creating) the lock file. Close-on-exec: a job line's program must never inherit
// the lock, or a runner that dies would leave its job locked for as long as the program runs.
Result<int> OpenLockFile(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return Failed("open", path, errno);
  return fd;
}

// 0 when taken, EWOULDBLOCK when another holds it, else the error.
int TryFlock(int fd, int operation) {
  while (flock(fd, operation | LOCK_NB) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

}  // namespace

void RunLock::Release() {
  if (handle_ == kNoHandle) return;
  close(static_cast<int>(handle_));
  handle_ = kNoHandle;
}

Status RunLock::SetHolder(const RunLockHolder& holder) {
  const int fd = RunLockAccess::Fd(*this);
  const std::string text = RunLockHolderText(holder);
  if (ftruncate(fd, 0) != 0 ||
      pwrite(fd, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) {
    return Status::Failed(std::string("cannot write the run lock: ") + strerror(errno));
  }
  return Status::Ok();
}

Result<RunLock> TryTakeRunLock(const std::string& path) {
  Result<int> fd = OpenLockFile(path);
  if (!fd.ok()) return fd.status;
  // Someone asking who holds the lock holds it shared for an instant: a few short retries
  // keep that from being taken for a run going on.
  for (int attempt = 0; attempt < 5; ++attempt) {
    const int error = TryFlock(fd.value, LOCK_EX);
    if (error == 0) return RunLockAccess::Held(fd.value);
    if (error != EWOULDBLOCK) {
      close(fd.value);
      return Failed("take", path, error);
    }
    std::this_thread::sleep_for(10ms);
  }
  close(fd.value);
  return RunLock();
}

Result<RunLock> TakeRunLockWaiting(const std::string& path, const std::function<bool()>& stop) {
  Result<int> fd = OpenLockFile(path);
  if (!fd.ok()) return fd.status;
  for (;;) {
    const int error = TryFlock(fd.value, LOCK_EX);
    if (error == 0) return RunLockAccess::Held(fd.value);
    if (error != EWOULDBLOCK) {
      close(fd.value);
      return Failed("take", path, error);
    }
    if (stop && stop()) break;
    std::this_thread::sleep_for(100ms);
    if (stop && stop()) break;
  }
  close(fd.value);
  return RunLock();
}

int64_t CurrentProcessId() { return getpid(); }

Result<std::optional<RunLockHolder>> RunLockHolderOf(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return std::optional<RunLockHolder>();
    return Failed("open", path, errno);
  }
  const int error = TryFlock(fd, LOCK_SH);
  if (error != EWOULDBLOCK) {
    close(fd);
    if (error != 0) return Failed("test", path, error);
    return std::optional<RunLockHolder>();
  }
  // Held. The holder writes who it is right after taking the lock; give it a moment.
  std::optional<RunLockHolder> holder;
  for (int attempt = 0; attempt < 20 && !holder; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(10ms);
    char buffer[4096];
    const ssize_t size = pread(fd, buffer, sizeof buffer, 0);
    if (size > 0) holder = ParseRunLockHolder(std::string_view(buffer, size));
  }
  close(fd);
  // Held by a process that has not said who it is: known only to be there.
  if (!holder) holder = RunLockHolder{};
  return holder;
}

}  // namespace jr
