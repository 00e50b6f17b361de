#include "store/run_lock_holder.h"

#include <charconv>
#include <chrono>
#include <filesystem>
#include <system_error>

#include "platform/file_digest.h"
#include "platform/utf8.h"

namespace jr {
namespace {

template <typename Number>
bool ReadNumber(std::string_view text, Number& number) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

Result<std::string> RunLockPath(const std::string& database, const std::string& job_file) {
  std::filesystem::path folder = NativePath(database).parent_path();
  if (folder.empty()) folder = ".";
  return Utf8Name(folder / "locks" / (Sha256Hex(AbsoluteFileName(job_file)) + ".lock"));
}

Status SetRunLockHolder(RunLock& lock, const RunLockHolder& holder) {
  return lock.Write(RunLockHolderText(holder));
}

Result<std::optional<RunLockHolder>> RunLockHolderOf(const std::string& path) {
  Result<std::optional<std::string>> text = HeldRunLockText(
      path, [](std::string_view text) { return ParseRunLockHolder(text).has_value(); });
  if (!text.ok()) return text.status;
  if (!text.value) return std::optional<RunLockHolder>();
  // Held by a process that has not said who it is: known only to be there.
  return std::optional<RunLockHolder>(ParseRunLockHolder(*text.value).value_or(RunLockHolder{}));
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
      holder.start = TimeOfMilliseconds(ms);
    }
  }
  if (!has_pid || !has_start) return std::nullopt;
  return holder;
}

}  // namespace jr
