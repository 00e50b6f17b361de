#include <windows.h>

#include "platform/file_digest.h"
#include "platform/win32/utf.h"

namespace jr {

std::string HostName() {
  wchar_t name[256] = {};
  DWORD size = 256;
  if (!GetComputerNameExW(ComputerNameDnsHostname, name, &size)) return {};
  return WideToUtf8(std::wstring(name, size));
}

}  // namespace jr
