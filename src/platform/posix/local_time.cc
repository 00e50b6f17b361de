#include "platform/local_time.h"

#include <time.h>

namespace jr {

std::string FormatLocalTime(std::time_t seconds, const char* format) {
  std::tm local{};
  if (localtime_r(&seconds, &local) == nullptr) return {};
  char buffer[128];
  const size_t length = std::strftime(buffer, sizeof buffer, format, &local);
  return std::string(buffer, length);
}

std::optional<std::tm> ParseLocalTime(const std::string& text, const char* format) {
  std::tm local{};
  const char* end = strptime(text.c_str(), format, &local);
  if (end == nullptr || *end != '\0') return std::nullopt;
  local.tm_isdst = -1;
  return local;
}

}  // namespace jr
