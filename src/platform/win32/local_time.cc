#include "platform/local_time.h"

#include <windows.h>

#include <cwchar>

#include "platform/win32/utf.h"

namespace jr {
namespace {

// The C library of this platform formats names in the ANSI code page; the wide variant
// gives them as UTF-16, which is then turned into UTF-8.
std::wstring WideFormat(const std::tm& local, const std::wstring& format) {
  wchar_t buffer[128];
  const size_t length =
      std::wcsftime(buffer, sizeof buffer / sizeof buffer[0], format.c_str(), &local);
  return std::wstring(buffer, length);
}

}  // namespace

std::string FormatLocalTime(std::time_t seconds, const char* format) {
  std::tm local{};
  if (localtime_s(&local, &seconds) != 0) return {};
  return WideToUtf8(WideFormat(local, Utf8ToWide(format)));
}

}  // namespace jr
