#include <filesystem>
#include <system_error>

#include "platform/program_command.h"
#include "platform/win32/utf.h"

namespace jr {

// Windows has no execute permission: any regular file may be started.
bool MayExecute(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(std::filesystem::path(Utf8ToWide(path)), ec);
}

}  // namespace jr
