#include "model/time_text.h"

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

}  // namespace jr
