#include "model/time_text.h"

#include <time.h>

#include <cstring>

namespace jr {
namespace {

std::string Format(TimePoint time, const char* format) {
  std::time_t seconds = std::chrono::system_clock::to_time_t(time);
  std::tm local{};
  localtime_r(&seconds, &local);
  char buffer[128];
  size_t length = std::strftime(buffer, sizeof buffer, format, &local);
  return std::string(buffer, length);
}

}  // namespace

std::string FormatTimeText(TimePoint time) { return Format(time, "%Y %b %d %H:%M:%S"); }

std::string FormatRunTimestamp(TimePoint time) { return Format(time, "%Y%m%d_%H%M%S"); }

std::optional<TimePoint> ParseTimeText(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::string copy(text);
  std::tm local{};
  const char* end = strptime(copy.c_str(), "%Y %b %d %H:%M:%S", &local);
  if (end == nullptr || *end != '\0') return std::nullopt;
  local.tm_isdst = -1;
  std::time_t seconds = std::mktime(&local);
  if (seconds == static_cast<std::time_t>(-1)) return std::nullopt;
  return std::chrono::system_clock::from_time_t(seconds);
}

}  // namespace jr
