#include <windows.h>

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

// Only a file's read-only attribute can be seen beforehand; a folder's says nothing.
bool MayWrite(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Utf8ToWide(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) || !(attributes & FILE_ATTRIBUTE_READONLY);
}

}  // namespace jr
