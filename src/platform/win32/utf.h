#pragma once
// Text is UTF-8 inside the program and UTF-16 at the Windows interfaces: these convert at
// that boundary. Invalid input is replaced (U+FFFD), never dropped silently.

#include <string>
#include <string_view>

namespace jr {

std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);

// The system's text for an error code of GetLastError, with the code: "Access is denied
// (5)".
std::string SystemErrorText(unsigned long error);

}  // namespace jr
