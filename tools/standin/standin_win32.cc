#include <windows.h>

#include <string>

#include "standin_platform.h"

namespace {

std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
  return wide;
}

std::string ErrorText(DWORD error) { return "system error " + std::to_string(error); }

bool WriteAll(HANDLE file, const std::string& text) {
  DWORD written = 0;
  return text.empty() ||
         (WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
          written == text.size());
}

}  // namespace

bool AppendText(const std::string& path, const std::string& text, std::string& error) {
  HANDLE file = CreateFileW(Wide(path).c_str(), FILE_APPEND_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = "cannot open " + path + ": " + ErrorText(GetLastError());
    return false;
  }
  const bool ok = WriteAll(file, text);
  const DWORD failure = GetLastError();
  CloseHandle(file);
  if (!ok) error = "cannot write " + path + ": " + ErrorText(failure);
  return ok;
}

bool ReplaceFileWith(const std::string& path, const std::string& content, std::string& error) {
  const std::wstring temporary = Wide(path) + L".standin-" + std::to_wstring(GetCurrentProcessId());
  HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = "cannot create " + path + ".standin-*: " + ErrorText(GetLastError());
    return false;
  }
  bool ok = WriteAll(file, content);
  CloseHandle(file);
  // The runner may be reading the old status file: replacing it is retried for a while
  // rather than failing the program.
  for (int attempt = 0; ok && attempt < 50; ++attempt) {
    if (MoveFileExW(temporary.c_str(), Wide(path).c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    Sleep(20);
  }
  error = "cannot write " + path + ": " + ErrorText(GetLastError());
  DeleteFileW(temporary.c_str());
  return false;
}

void SleepMs(long ms) {
  if (ms > 0) Sleep(static_cast<DWORD>(ms));
}

long ProcessId() { return static_cast<long>(GetCurrentProcessId()); }

long ProcessGroupId() { return ProcessId(); }

long StartGrandchild(long ms, std::string& error) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring command_line =
      L"\"" + std::wstring(self) + L"\" " + Wide(kGrandchildMode) + L" " + std::to_wstring(ms);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                      nullptr, nullptr, &startup, &info)) {
    error = "cannot start a grandchild: " + ErrorText(GetLastError());
    return -1;
  }
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return static_cast<long>(info.dwProcessId);
}

// A console program started without a console window gets no polite requests to end.
void IgnoreTerminationRequests() {}
