#pragma once
// The time texts of job lines and runs: "yyyy mmm dd hh:mm:ss" in local time, with the
// month abbreviation of the user's LC_TIME locale (C locale: "2003 Mar 07 14:05:09").

#include <chrono>
#include <optional>
#include <string>

#include "platform/clock.h"

namespace jr {

std::string FormatTimeText(TimePoint time);
// Empty for no time.
std::string FormatTimeText(const std::optional<TimePoint>& time);

// A duration as "h:mm:ss" ("0:02:31", "26:00:05"); below 0 reads as 0.
std::string DurationText(std::chrono::milliseconds duration);

// The run timestamp: "yyyymmdd_hhmmss" in local time.
std::string FormatRunTimestamp(TimePoint time);

}  // namespace jr
