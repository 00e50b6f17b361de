#include "platform/run_lock.h"

#include <windows.h>

#include <chrono>
#include <filesystem>

#include "platform/run_lock_file.h"
#include "platform/win32/utf.h"

namespace jr {
namespace {

HANDLE Handle(RunLockFile file) { return reinterpret_cast<HANDLE>(file); }

// The lock is a byte far beyond the file's content, so that the holder's text stays
// readable: Windows' byte-range locks also keep others from reading what they cover.
OVERLAPPED LockedRange() {
  OVERLAPPED range{};
  range.Offset = 0;
  range.OffsetHigh = 1;
  return range;
}

Status Failed(const std::string& what, const std::string& path, DWORD error) {
  return Status::Failed("cannot " + what + " the run lock \"" + path +
                        "\": " + SystemErrorText(error));
}

// No security attributes: the handle is not inherited.
HANDLE OpenFile(const std::string& path, bool create) {
  return CreateFileW(Utf8ToWide(path).c_str(), create ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     create ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

Result<RunLockFile> OpenRunLockFileForTaking(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(Utf8ToWide(path)).parent_path(), error);
  HANDLE file = OpenFile(path, true);
  if (file == INVALID_HANDLE_VALUE) return Failed("open", path, GetLastError());
  return reinterpret_cast<RunLockFile>(file);
}

Result<std::optional<RunLockFile>> OpenRunLockFileForAsking(const std::string& path) {
  HANDLE file = OpenFile(path, false);
  if (file != INVALID_HANDLE_VALUE) {
    return std::optional<RunLockFile>(reinterpret_cast<RunLockFile>(file));
  }
  const DWORD error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
    return std::optional<RunLockFile>();
  }
  return Failed("open", path, error);
}

void CloseRunLockFile(RunLockFile file) { CloseHandle(Handle(file)); }

Result<bool> TryLockRunLockFile(RunLockFile file, bool shared, const std::string& path) {
  OVERLAPPED range = LockedRange();
  const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (shared ? 0 : LOCKFILE_EXCLUSIVE_LOCK);
  if (!LockFileEx(Handle(file), flags, 0, 1, 0, &range)) {
    const DWORD error = GetLastError();
    if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) return false;
    return Failed(shared ? "test" : "take", path, error);
  }
  // A shared lock only asked whether the lock is free: give it back at once.
  if (shared) {
    range = LockedRange();
    UnlockFileEx(Handle(file), 0, 1, 0, &range);
  }
  return true;
}

std::string ReadRunLockFile(RunLockFile file) {
  char buffer[4096];
  DWORD size = 0;
  if (SetFilePointer(Handle(file), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
      !ReadFile(Handle(file), buffer, sizeof buffer, &size, nullptr)) {
    return {};
  }
  return std::string(buffer, size);
}

Status WriteRunLockFile(RunLockFile file, const std::string& text) {
  DWORD written = 0;
  if (SetFilePointer(Handle(file), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
      !SetEndOfFile(Handle(file)) ||
      !WriteFile(Handle(file), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
      written != text.size()) {
    return Status::Failed("cannot write the run lock: " + SystemErrorText(GetLastError()));
  }
  return Status::Ok();
}

int64_t CurrentProcessId() { return GetCurrentProcessId(); }

TimePoint CurrentProcessStart() {
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) {
    return std::chrono::system_clock::now();
  }
  // Hundreds of nanoseconds since 1601.
  constexpr unsigned long long kFrom1601To1970 = 116444736000000000ULL;
  const unsigned long long since_1601 =
      (static_cast<unsigned long long>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
  if (since_1601 < kFrom1601To1970) return std::chrono::system_clock::now();
  return TimePoint(std::chrono::duration_cast<TimePoint::duration>(
      std::chrono::nanoseconds((since_1601 - kFrom1601To1970) * 100)));
}

}  // namespace jr
