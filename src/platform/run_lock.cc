#include "platform/run_lock.h"

#include <charconv>
#include <chrono>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/file_digest.h"
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

namespace {

using namespace std::chrono_literals;

std::filesystem::path NativePath(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

template <typename Number>
bool ReadNumber(std::string_view text, Number& number) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

Result<std::string> RunLockPath(const std::string& database, const std::string& job_file) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(NativePath(job_file), error);
  std::filesystem::path resolved;
  if (!error) resolved = std::filesystem::weakly_canonical(absolute, error);
  if (error) {
    return Status::Failed("cannot resolve the name of the job file \"" + job_file +
                          "\": " + error.message());
  }
  std::filesystem::path folder = NativePath(database).parent_path();
  if (folder.empty()) folder = ".";
  return Utf8(folder / "locks" / (Sha256Hex(Utf8(resolved)) + ".lock"));
}

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

Status RunLock::SetHolder(const RunLockHolder& holder) {
  return WriteRunLockFile(RunLockAccess::File(*this), RunLockHolderText(holder));
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

Result<std::optional<RunLockHolder>> RunLockHolderOf(const std::string& path) {
  Result<std::optional<RunLockFile>> file = OpenRunLockFileForAsking(path);
  if (!file.ok()) return file.status;
  if (!file.value) return std::optional<RunLockHolder>();
  const Result<bool> free = TryLockRunLockFile(*file.value, true, path);
  if (!free.ok() || free.value) {
    CloseRunLockFile(*file.value);
    if (!free.ok()) return free.status;
    return std::optional<RunLockHolder>();
  }
  // Held. The holder writes who it is right after taking the lock; give it a moment.
  std::optional<RunLockHolder> holder;
  for (int attempt = 0; attempt < 20 && !holder; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(10ms);
    holder = ParseRunLockHolder(ReadRunLockFile(*file.value));
  }
  CloseRunLockFile(*file.value);
  // Held by a process that has not said who it is: known only to be there.
  if (!holder) holder = RunLockHolder{};
  return holder;
}

std::string RunLockHolderText(const RunLockHolder& holder) {
  const auto start_ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(holder.start.time_since_epoch());
  return "run_id=" + holder.run_id + "\npid=" + std::to_string(holder.pid) +
         "\nstart_ms=" + std::to_string(start_ms.count()) + "\njob_file=" + holder.job_file + "\n";
}

std::optional<RunLockHolder> ParseRunLockHolder(std::string_view text) {
  RunLockHolder holder;
  bool has_pid = false;
  bool has_start = false;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    // A line without its end is a write still going on: not a holder yet.
    if (end == std::string_view::npos) return std::nullopt;
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view key = line.substr(0, equals);
    const std::string_view value = line.substr(equals + 1);
    if (key == "run_id") {
      holder.run_id = value;
    } else if (key == "job_file") {
      holder.job_file = value;
    } else if (key == "pid") {
      has_pid = ReadNumber(value, holder.pid);
    } else if (key == "start_ms") {
      int64_t ms = 0;
      has_start = ReadNumber(value, ms);
      holder.start =
          TimePoint(std::chrono::duration_cast<TimePoint::duration>(std::chrono::milliseconds(ms)));
    }
  }
  if (!has_pid || !has_start) return std::nullopt;
  return holder;
}

}  // namespace jr
