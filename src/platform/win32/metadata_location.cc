#include "platform/metadata_location.h"

#include <windows.h>

#include <string>

#include "platform/win32/utf.h"

namespace jr {
namespace {

std::string Environment(const wchar_t* name) {
  wchar_t buffer[32768];
  const DWORD length = GetEnvironmentVariableW(name, buffer, sizeof buffer / sizeof buffer[0]);
  if (length == 0 || length >= sizeof buffer / sizeof buffer[0]) return {};
  return WideToUtf8(std::wstring_view(buffer, length));
}

}  // namespace

const char* const kNoMetadataPlace = "neither JOBRUNNER_METADATA_DB nor LOCALAPPDATA is set";

std::string SystemMetadataDatabasePath() {
  if (std::string path = Environment(L"JOBRUNNER_METADATA_DB"); !path.empty()) return path;
  if (std::string local = Environment(L"LOCALAPPDATA"); !local.empty()) {
    return local + "\\jobrunner\\metadata.sqlite";
  }
  return {};
}

}  // namespace jr
