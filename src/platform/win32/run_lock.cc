#include "platform/run_lock.h"

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/run_lock_text.h"
#include "platform/win32/utf.h"

namespace jr {

struct RunLockAccess {
  static RunLock Held(HANDLE file) {
    RunLock lock;
    lock.handle_ = reinterpret_cast<intptr_t>(file);
    return lock;
  }
  static HANDLE File(const RunLock& lock) { return reinterpret_cast<HANDLE>(lock.handle_); }
};

namespace {

using namespace std::chrono_literals;

// The lock is a byte far beyond the file's content, so that the holder's text stays
// readable: Windows' byte-range locks also keep others from reading what they cover.
OVERLAPPED LockedRange() {
  OVERLAPPED range{};
  range.Offset = 0;
  range.OffsetHigh = 1;
  return range;
}

std::string ErrorText(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD size = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message = size > 0 ? WideToUtf8(std::wstring_view(text, size)) : "error";
  LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == '.' || message.back() == ' ')) {
    message.pop_back();
  }
  return message + " (" + std::to_string(error) + ")";
}

Status Failed(const std::string& what, const std::string& path, DWORD error) {
  return Status::Failed("cannot " + what + " the run lock \"" + path + "\": " + ErrorText(error));
}

// Not inheritable (no security attributes): a job line's program must never keep the lock.
HANDLE OpenFile(const std::string& path, bool create) {
  return CreateFileW(Utf8ToWide(path).c_str(), create ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     create ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

Result<HANDLE> OpenLockFile(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(Utf8ToWide(path)).parent_path(), error);
  HANDLE file = OpenFile(path, true);
  if (file == INVALID_HANDLE_VALUE) return Failed("open", path, GetLastError());
  return file;
}

// ERROR_SUCCESS when taken, ERROR_LOCK_VIOLATION when another holds it, else the error.
DWORD TryLock(HANDLE file, DWORD flags) {
  OVERLAPPED range = LockedRange();
  if (LockFileEx(file, flags | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &range)) return ERROR_SUCCESS;
  const DWORD error = GetLastError();
  return error == ERROR_IO_PENDING ? ERROR_LOCK_VIOLATION : error;
}

}  // namespace

void RunLock::Release() {
  if (handle_ == kNoHandle) return;
  CloseHandle(RunLockAccess::File(*this));
  handle_ = kNoHandle;
}

Status RunLock::SetHolder(const RunLockHolder& holder) {
  HANDLE file = RunLockAccess::File(*this);
  const std::string text = RunLockHolderText(holder);
  DWORD written = 0;
  if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
      !SetEndOfFile(file) ||
      !WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
      written != text.size()) {
    return Status::Failed("cannot write the run lock: " + ErrorText(GetLastError()));
  }
  return Status::Ok();
}

Result<RunLock> TryTakeRunLock(const std::string& path) {
  Result<HANDLE> file = OpenLockFile(path);
  if (!file.ok()) return file.status;
  // Someone asking who holds the lock holds it shared for an instant: a few short retries
  // keep that from being taken for a run going on.
  for (int attempt = 0; attempt < 5; ++attempt) {
    const DWORD error = TryLock(file.value, LOCKFILE_EXCLUSIVE_LOCK);
    if (error == ERROR_SUCCESS) return RunLockAccess::Held(file.value);
    if (error != ERROR_LOCK_VIOLATION) {
      CloseHandle(file.value);
      return Failed("take", path, error);
    }
    std::this_thread::sleep_for(10ms);
  }
  CloseHandle(file.value);
  return RunLock();
}

Result<RunLock> TakeRunLockWaiting(const std::string& path, const std::function<bool()>& stop) {
  Result<HANDLE> file = OpenLockFile(path);
  if (!file.ok()) return file.status;
  for (;;) {
    const DWORD error = TryLock(file.value, LOCKFILE_EXCLUSIVE_LOCK);
    if (error == ERROR_SUCCESS) return RunLockAccess::Held(file.value);
    if (error != ERROR_LOCK_VIOLATION) {
      CloseHandle(file.value);
      return Failed("take", path, error);
    }
    if (stop && stop()) break;
    std::this_thread::sleep_for(100ms);
    if (stop && stop()) break;
  }
  CloseHandle(file.value);
  return RunLock();
}

int64_t CurrentProcessId() { return GetCurrentProcessId(); }

Result<std::optional<RunLockHolder>> RunLockHolderOf(const std::string& path) {
  Result<HANDLE> file = OpenFile(path, false);
  if (file.value == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      return std::optional<RunLockHolder>();
    }
    return Failed("open", path, error);
  }
  const DWORD error = TryLock(file.value, 0);
  if (error != ERROR_LOCK_VIOLATION) {
    if (error == ERROR_SUCCESS) {
      OVERLAPPED range = LockedRange();
      UnlockFileEx(file.value, 0, 1, 0, &range);
    }
    CloseHandle(file.value);
    if (error != ERROR_SUCCESS) return Failed("test", path, error);
    return std::optional<RunLockHolder>();
  }
  // Held. The holder writes who it is right after taking the lock; give it a moment.
  std::optional<RunLockHolder> holder;
  for (int attempt = 0; attempt < 20 && !holder; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(10ms);
    char buffer[4096];
    DWORD size = 0;
    if (SetFilePointer(file.value, 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
        ReadFile(file.value, buffer, sizeof buffer, &size, nullptr) && size > 0) {
      holder = ParseRunLockHolder(std::string_view(buffer, size));
    }
  }
  CloseHandle(file.value);
  if (!holder) holder = RunLockHolder{};
  return holder;
}

}  // namespace jr
