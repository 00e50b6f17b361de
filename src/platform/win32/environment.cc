#include "platform/environment.h"

#include <windows.h>

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

}  // namespace jr
