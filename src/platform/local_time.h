#pragma once
// Local-time conversions that the C libraries of the platforms spell differently.

#include <ctime>
#include <optional>
#include <string>

namespace jr {

// `seconds` as local time in `format` (strftime conventions), with the names of the
// LC_TIME locale, as UTF-8. Empty when the time cannot be converted.
std::string FormatLocalTime(std::time_t seconds, const char* format);

// Reads all of `text` (UTF-8) as local time in `format`, which may use %Y, %b, %d, %H,
// %M, %S, blanks and literal characters; month names are those of the LC_TIME locale,
// compared without regard to case. nullopt unless the whole text matches. The result's
// tm_isdst is -1 (left for mktime to decide).
std::optional<std::tm> ParseLocalTime(const std::string& text, const char* format);

}  // namespace jr
