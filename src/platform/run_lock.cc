#include "platform/run_lock.h"

#include <chrono>
#include <thread>
#include <utility>

#include "platform/run_lock_file.h"

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

Result<RunLock> TakeRunLockWaiting(const std::string& path, const std::function<bool()>& stop) {
  Result<RunLockFile> file = OpenRunLockFileForTaking(path);
  if (!file.ok()) return file.status;
  for (;;) {
    const Result<bool> taken = TryLockRunLockFile(file.value, false, path);
    if (!taken.ok()) {
      CloseRunLockFile(file.value);
      return taken.status;
    }
    if (taken.value) return RunLockAccess::Held(file.value);
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
