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

}  // namespace jr
