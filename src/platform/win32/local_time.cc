#include "platform/local_time.h"

#include <windows.h>

#include <cwchar>
#include <cwctype>

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

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return text;
}

// Reads a decimal number of 1 to `max_digits` digits within [low, high].
bool ReadNumber(const std::wstring& text, size_t& at, size_t max_digits, int low, int high,
                int& value) {
  size_t digits = 0;
  value = 0;
  while (at < text.size() && digits < max_digits && text[at] >= L'0' && text[at] <= L'9') {
    value = value * 10 + (text[at] - L'0');
    ++at;
    ++digits;
  }
  return digits > 0 && value >= low && value <= high;
}

// The locale's month names, the longest match first, so that a full name is not read as
// its abbreviation followed by junk.
bool ReadMonth(const std::wstring& text, size_t& at, int& month) {
  const std::wstring rest = Lower(text.substr(at));
  size_t best_length = 0;
  for (int m = 0; m < 12; ++m) {
    std::tm probe{};
    probe.tm_year = 100;
    probe.tm_mon = m;
    probe.tm_mday = 1;
    for (const wchar_t* format : {L"%b", L"%B"}) {
      const std::wstring name = Lower(WideFormat(probe, format));
      if (!name.empty() && name.size() > best_length && rest.compare(0, name.size(), name) == 0) {
        best_length = name.size();
        month = m;
      }
    }
  }
  at += best_length;
  return best_length > 0;
}

}  // namespace

std::string FormatLocalTime(std::time_t seconds, const char* format) {
  std::tm local{};
  if (localtime_s(&local, &seconds) != 0) return {};
  return WideToUtf8(WideFormat(local, Utf8ToWide(format)));
}

std::optional<std::tm> ParseLocalTime(const std::string& utf8_text, const char* format) {
  const std::wstring text = Utf8ToWide(utf8_text);
  std::tm local{};
  size_t at = 0;
  for (const char* f = format; *f != '\0'; ++f) {
    if (*f == ' ') {
      while (at < text.size() && std::iswspace(static_cast<wint_t>(text[at]))) ++at;
      continue;
    }
    if (*f != '%') {
      if (at >= text.size() || text[at] != static_cast<wchar_t>(*f)) return std::nullopt;
      ++at;
      continue;
    }
    ++f;
    int value = 0;
    bool read = false;
    switch (*f) {
      case 'Y':
        read = ReadNumber(text, at, 4, 0, 9999, value);
        local.tm_year = value - 1900;
        break;
      case 'b':
        read = ReadMonth(text, at, value);
        local.tm_mon = value;
        break;
      case 'd':
        read = ReadNumber(text, at, 2, 1, 31, value);
        local.tm_mday = value;
        break;
      case 'H':
        read = ReadNumber(text, at, 2, 0, 23, value);
        local.tm_hour = value;
        break;
      case 'M':
        read = ReadNumber(text, at, 2, 0, 59, value);
        local.tm_min = value;
        break;
      case 'S':
        read = ReadNumber(text, at, 2, 0, 61, value);
        local.tm_sec = value;
        break;
      default:
        return std::nullopt;
    }
    if (!read) return std::nullopt;
  }
  if (at != text.size()) return std::nullopt;
  local.tm_isdst = -1;
  return local;
}

}  // namespace jr
