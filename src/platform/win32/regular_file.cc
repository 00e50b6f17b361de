#include "platform/regular_file.h"

#include <windows.h>

#include <algorithm>

#include "platform/win32/utf.h"

namespace jr {
namespace {

FileReadResult Failed(FileReadStatus status, std::string cause) {
  FileReadResult result;
  result.status = status;
  result.cause = std::move(cause);
  return result;
}

std::string SystemError(DWORD error) { return "system error " + std::to_string(error); }

}  // namespace

FileReadResult ReadRegularFile(const std::string& path, size_t limit, OverLimit over) {
  const std::wstring name = Utf8ToWide(path);
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return Failed(FileReadStatus::kNotAFile, "it is a folder, not a file");
  }
  HANDLE file = CreateFileW(name.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      return Failed(FileReadStatus::kMissing, "it does not exist");
    }
    return Failed(FileReadStatus::kError, SystemError(error));
  }
  // A pipe or a console would make ReadFile wait.
  const DWORD type = GetFileType(file);
  if (type != FILE_TYPE_DISK) {
    CloseHandle(file);
    return Failed(FileReadStatus::kNotAFile, type == FILE_TYPE_PIPE
                                                 ? "it is a named pipe, not a file"
                                                 : "it is a device, not a file");
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size)) {
    const DWORD error = GetLastError();
    CloseHandle(file);
    return Failed(FileReadStatus::kError, SystemError(error));
  }
  const auto bytes = static_cast<unsigned long long>(size.QuadPart);
  if (over == OverLimit::kRefuse && bytes > limit) {
    CloseHandle(file);
    return Failed(FileReadStatus::kTooLarge, "it is larger than " + SizeLimitText(limit));
  }
  if (over == OverLimit::kTail && bytes > limit) {
    LARGE_INTEGER tail{};
    tail.QuadPart = static_cast<LONGLONG>(bytes - limit);
    if (!SetFilePointerEx(file, tail, nullptr, FILE_BEGIN)) {
      const DWORD error = GetLastError();
      CloseHandle(file);
      return Failed(FileReadStatus::kError, SystemError(error));
    }
  }
  FileReadResult result;
  result.text.reserve(static_cast<size_t>(std::min<unsigned long long>(bytes, limit)));
  char buffer[64 * 1024];
  while (result.text.size() <= limit) {
    const DWORD want = static_cast<DWORD>(std::min(sizeof buffer, limit + 1 - result.text.size()));
    DWORD got = 0;
    if (!ReadFile(file, buffer, want, &got, nullptr)) {
      const DWORD error = GetLastError();
      CloseHandle(file);
      return Failed(FileReadStatus::kError, SystemError(error));
    }
    if (got == 0) break;
    result.text.append(buffer, got);
  }
  CloseHandle(file);
  return FinishedRead(std::move(result), limit, over);
}

}  // namespace jr
