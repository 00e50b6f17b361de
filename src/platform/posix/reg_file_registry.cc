#include <stdlib.h>

#include "platform/posix/reg_file.h"
#include "platform/registry.h"

namespace jr {

std::unique_ptr<RegistryReader> MakeSystemRegistryReader() {
  const char* path = std::getenv("JOBRUNNER_REGISTRY");
  return std::make_unique<RegFileRegistry>(
      path != nullptr && *path != '\0' ? path : "/etc/jobrunner/registry.reg");
}

}  // namespace jr
