#include "model/time_text.h"

#include <ctime>

#include "platform/local_time.h"

namespace jr {

std::string FormatTimeText(TimePoint time) {
  return FormatLocalTime(std::chrono::system_clock::to_time_t(time), "%Y %b %d %H:%M:%S");
}

std::string FormatRunTimestamp(TimePoint time) {
  return FormatLocalTime(std::chrono::system_clock::to_time_t(time), "%Y%m%d_%H%M%S");
}

std::optional<TimePoint> ParseTimeText(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::optional<std::tm> local = ParseLocalTime(std::string(text), "%Y %b %d %H:%M:%S");
  if (!local) return std::nullopt;
  std::time_t seconds = std::mktime(&*local);
  if (seconds == static_cast<std::time_t>(-1)) return std::nullopt;
  return std::chrono::system_clock::from_time_t(seconds);
}

}  // namespace jr
