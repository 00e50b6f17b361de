#include "platform/environment.h"

#include <cstdlib>

namespace jr {

std::string EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace jr
