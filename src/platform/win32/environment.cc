#include "platform/environment.h"

#include <windows.h>

#include <cwchar>

#include "platform/win32/utf.h"

namespace jr {

// The narrow environment holds the variables in the ANSI code page, so a folder name
// outside it would arrive garbled; the wide one holds them as they were set.
std::string EnvironmentValue(const char* name) {
  const std::wstring wide_name = Utf8ToWide(name);
  std::wstring value(256, L'\0');
  for (;;) {
    const DWORD length =
        GetEnvironmentVariableW(wide_name.c_str(), value.data(), static_cast<DWORD>(value.size()));
    if (length == 0) return {};
    if (length < value.size()) {
      value.resize(length);
      return WideToUtf8(value);
    }
    value.resize(length);
  }
}

std::map<std::string, std::string> EnvironmentStartingWith(std::string_view prefix) {
  std::map<std::string, std::string> variables;
  wchar_t* block = GetEnvironmentStringsW();
  if (block == nullptr) return variables;
  // NAME=VALUE entries one after the other, each ended by a NUL, the block by another;
  // the hidden "=C:=C:\\..." entries of the drives start with "=".
  for (const wchar_t* entry = block; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
    const std::string text = WideToUtf8(entry);
    const size_t equals = text.find('=', 1);
    if (equals == std::string::npos || !std::string_view(text).starts_with(prefix)) continue;
    variables.emplace(text.substr(0, equals), text.substr(equals + 1));
  }
  FreeEnvironmentStringsW(block);
  return variables;
}

std::string ProgramFilePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return WideToUtf8(path);
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace jr
