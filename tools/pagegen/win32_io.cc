#include <windows.h>

#include <ctime>
#include <cwchar>
#include <string>

#include "platform_io.h"

namespace pagegen {
namespace {

std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
  return wide;
}

std::string Narrow(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(length > 0 ? length : 0), '\0');
  if (length > 0) {
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, narrow.data(), length, nullptr, nullptr);
  }
  return narrow;
}

std::string SystemError(DWORD error) {
  wchar_t* text = nullptr;
  FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message = text != nullptr ? Narrow(text) : "error " + std::to_string(error);
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  return message;
}

bool IsMissing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

HANDLE OpenForReading(const std::string& name) {
  return CreateFileW(Wide(name).c_str(), GENERIC_READ,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool ReadRest(HANDLE file, long long limit, std::string& text, std::string& error) {
  char buffer[65536];
  while (static_cast<long long>(text.size()) < limit) {
    DWORD got = 0;
    if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
      error = SystemError(GetLastError());
      return false;
    }
    if (got == 0) break;
    text.append(buffer, got);
  }
  if (static_cast<long long>(text.size()) > limit) text.resize(static_cast<size_t>(limit));
  return true;
}

bool IsFolder(const std::string& name) {
  const DWORD attributes = GetFileAttributesW(Wide(name).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

bool ReadWholeFile(const std::string& name, long long limit, std::string& text,
                   std::string& error) {
  if (IsFolder(name)) {
    error = "it is a folder, not a file";
    return false;
  }
  HANDLE file = OpenForReading(name);
  if (file == INVALID_HANDLE_VALUE) {
    error = SystemError(GetLastError());
    return false;
  }
  // A pipe or a console would make ReadFile wait for a writer.
  LARGE_INTEGER size{};
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &size)) {
    CloseHandle(file);
    error = "it is not a plain file";
    return false;
  }
  const bool ok = size.QuadPart <= limit && ReadRest(file, limit + 1, text, error);
  CloseHandle(file);
  if (ok && static_cast<long long>(text.size()) <= limit) return true;
  if (error.empty()) error = "it is larger than " + std::to_string(limit >> 20) + " MiB";
  return false;
}

FileTail ReadFileTail(const std::string& name, long long limit) {
  FileTail result;
  if (IsFolder(name)) {
    result.error = "it is not a plain file";
    return result;
  }
  HANDLE file = OpenForReading(name);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    result.missing = IsMissing(error);
    result.error = SystemError(error);
    return result;
  }
  LARGE_INTEGER size{};
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &size)) {
    CloseHandle(file);
    result.error = "it is not a plain file";
    return result;
  }
  result.size = size.QuadPart;
  if (result.size > limit) {
    result.offset = result.size - limit;
    LARGE_INTEGER at{};
    at.QuadPart = result.offset;
    if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN)) {
      result.error = SystemError(GetLastError());
      CloseHandle(file);
      return result;
    }
  }
  result.readable = ReadRest(file, limit, result.text, result.error);
  CloseHandle(file);
  return result;
}

bool ReplaceFileContents(const std::string& output, const std::string& content,
                         std::string& error) {
  const std::wstring target = Wide(output);
  const std::wstring temporary = target + L".tmp-" + std::to_wstring(GetCurrentProcessId());
  HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = SystemError(GetLastError());
    return false;
  }
  DWORD written = 0;
  const bool ok =
      content.empty() ||
      (WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
       written == content.size());
  const DWORD write_error = GetLastError();
  CloseHandle(file);
  if (!ok) {
    error = SystemError(write_error);
    DeleteFileW(temporary.c_str());
    return false;
  }
  if (!MoveFileExW(temporary.c_str(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error = SystemError(GetLastError());
    DeleteFileW(temporary.c_str());
    return false;
  }
  return true;
}

std::string LocalNow(const char* format) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_s(&local, &now);
  wchar_t buffer[64];
  const size_t length = std::wcsftime(buffer, 64, Wide(format).c_str(), &local);
  return Narrow(std::wstring(buffer, length));
}

std::string LocaleMonthAbbreviation(int index) {
  std::tm month{};
  month.tm_year = 100;
  month.tm_mon = index;
  month.tm_mday = 1;
  wchar_t buffer[32];
  const size_t length = std::wcsftime(buffer, 32, L"%b", &month);
  return Narrow(std::wstring(buffer, length));
}

}  // namespace pagegen
