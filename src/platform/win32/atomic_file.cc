#include "platform/atomic_file.h"

#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/win32/utf.h"

namespace jr {
namespace {

std::string FolderOf(const std::string& path) {
  const size_t separator = path.find_last_of("\\/");
  if (separator == std::string::npos) return ".";
  if (separator == 0 || (separator == 2 && path[1] == ':')) return path.substr(0, separator + 1);
  return path.substr(0, separator);
}

// The cause in the words an administrator needs, for the errors a save typically meets.
std::string Cause(DWORD error, const std::string& folder) {
  switch (error) {
    case ERROR_PATH_NOT_FOUND:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
      return "the folder \"" + folder + "\" does not exist";
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return "no permission to write there";
    case ERROR_WRITE_PROTECT:
      return "the disk is write-protected";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return "the disk is full";
    default:
      return "system error " + std::to_string(error);
  }
}

Status Fail(const std::string& path, const std::string& folder, DWORD error) {
  return Status::Failed("Cannot write \"" + path + "\": " + Cause(error, folder) + ".");
}

}  // namespace

Status ReplaceFileContents(const std::string& path,
                           const std::function<std::string_view()>& next) {
  const std::string folder = FolderOf(path);
  const std::wstring target = Utf8ToWide(path);
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Fail(path, folder, ERROR_ACCESS_DENIED);
    // Replacing would also replace a write-protected file; respect the protection.
    if (attributes & FILE_ATTRIBUTE_READONLY) return Fail(path, folder, ERROR_ACCESS_DENIED);
  }

  std::wstring temporary;
  HANDLE file = INVALID_HANDLE_VALUE;
  DWORD failure = 0;
  for (int attempt = 0; file == INVALID_HANDLE_VALUE && attempt < 100; ++attempt) {
    temporary = target + L".tmp-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(GetTickCount64() + static_cast<ULONGLONG>(attempt));
    file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    failure = GetLastError();
    if (file == INVALID_HANDLE_VALUE && failure != ERROR_FILE_EXISTS) break;
  }
  if (file == INVALID_HANDLE_VALUE) return Fail(path, folder, failure);

  failure = 0;
  for (std::string_view content = next(); !content.empty() && failure == 0; content = next()) {
    while (!content.empty() && failure == 0) {
      const DWORD piece = static_cast<DWORD>(std::min<size_t>(content.size(), 1 << 20));
      DWORD written = 0;
      if (!WriteFile(file, content.data(), piece, &written, nullptr)) {
        failure = GetLastError();
      } else {
        content.remove_prefix(written);
      }
    }
  }
  if (failure == 0 && !FlushFileBuffers(file)) failure = GetLastError();
  CloseHandle(file);
  if (failure == 0 && !MoveFileExW(temporary.c_str(), target.c_str(),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    failure = GetLastError();
  }
  if (failure != 0) {
    DeleteFileW(temporary.c_str());
    return Fail(path, folder, failure);
  }
  return Status::Ok();
}

}  // namespace jr
