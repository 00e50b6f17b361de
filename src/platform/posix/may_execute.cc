#include <sys/stat.h>
#include <unistd.h>

#include "platform/program_command.h"

namespace jr {

bool MayExecute(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  return access(path.c_str(), X_OK) == 0;
}

bool MayWrite(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return false;
  // A folder is written into only when it may also be searched.
  return access(path.c_str(), S_ISDIR(info.st_mode) ? W_OK | X_OK : W_OK) == 0;
}

}  // namespace jr
