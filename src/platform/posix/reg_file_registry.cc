#include <stdlib.h>

#include "platform/posix/reg_file.h"
#include "platform/registry.h"
#include "platform/regular_file.h"

namespace jr {

std::unique_ptr<RegistryReader> MakeSystemRegistryReader() {
  const char* path = std::getenv("JOBRUNNER_REGISTRY");
  return std::make_unique<RegFileRegistry>(
      path != nullptr && *path != '\0' ? path : "/etc/jobrunner/registry.reg");
}

std::string NamedRegistryFileProblem() {
  const char* path = std::getenv("JOBRUNNER_REGISTRY");
  if (path == nullptr || *path == '\0') return {};
  const FileReadResult file = ReadRegularFile(path, kMaxRegistryFileBytes);
  // One that is read but refused (too large, no file) is already told as a warning.
  if (file.status != FileReadStatus::kMissing && file.status != FileReadStatus::kError) return {};
  return "the registry file \"" + std::string(path) +
         "\" named by JOBRUNNER_REGISTRY cannot be read: " + file.cause;
}

}  // namespace jr
