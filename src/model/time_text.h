#pragma once
// The time texts of job lines and runs: "yyyy mmm dd hh:mm:ss" in local time, with the
// month abbreviation of the user's LC_TIME locale (C locale: "2003 Mar 07 14:05:09").

#include <optional>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace jr {

std::string FormatTimeText(TimePoint time);

// The time a text of FormatTimeText stands for, read in the same locale; nullopt for an
// empty or unreadable text.
std::optional<TimePoint> ParseTimeText(std::string_view text);

// The run timestamp: "yyyymmdd_hhmmss" in local time.
std::string FormatRunTimestamp(TimePoint time);

}  // namespace jr
