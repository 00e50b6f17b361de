#pragma once
// Local-time conversions that the C libraries of the platforms spell differently.

#include <ctime>
#include <string>

namespace jr {

// `seconds` as local time in `format` (strftime conventions), with the names of the
// LC_TIME locale, as UTF-8. Empty when the time cannot be converted.
std::string FormatLocalTime(std::time_t seconds, const char* format);

}  // namespace jr
