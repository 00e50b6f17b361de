#include "model/time_text.h"

#include <algorithm>
#include <cstdio>

#include "platform/local_time.h"

namespace jr {

std::string FormatTimeText(TimePoint time) {
  return FormatLocalTime(std::chrono::system_clock::to_time_t(time), "%Y %b %d %H:%M:%S");
}

std::string FormatTimeText(const std::optional<TimePoint>& time) {
  return time ? FormatTimeText(*time) : std::string();
}

std::string FormatRunTimestamp(TimePoint time) {
  return FormatLocalTime(std::chrono::system_clock::to_time_t(time), "%Y%m%d_%H%M%S");
}

std::string DurationText(std::chrono::milliseconds duration) {
  const long long seconds = std::max<long long>(0, duration.count() / 1000);
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60,
                seconds % 60);
  return text;
}

}  // namespace jr
