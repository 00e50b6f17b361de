#include <sys/stat.h>
#include <unistd.h>

#include "platform/program_command.h"

namespace jr {

bool MayExecute(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  return access(path.c_str(), X_OK) == 0;
}

}  // namespace jr
