#include "platform/installation.h"

#include "platform/config.h"

namespace jr {
namespace {

constexpr size_t kValueBufferBytes = 1024;

std::string UtilsPath(RegistryReader& registry, const std::string& product_key,
                      std::string_view value_name) {
  const std::string version =
      GetRegistryString(registry, product_key + "\\Version Info", "Current Version");
  std::string folder =
      GetRegistryString(registry, product_key + "\\" + version + "\\" + "Install Info", value_name);
  if (folder.empty() || folder.back() != kPathSeparator) folder += kPathSeparator;
  return folder;
}

}  // namespace

std::string GetRegistryString(RegistryReader& registry, std::string_view key,
                              std::string_view name) {
  std::optional<RegistryValue> value = registry.Query(key, name);
  if (!value || value->data.size() > kValueBufferBytes) return {};
  std::vector<uint8_t> data = value->data;
  // String values carry their terminator; a value stored without one is taken whole.
  if (!data.empty() && data.back() == 0) data.pop_back();
  switch (value->type) {
    case kRegSz:
      return std::string(data.begin(), data.end());
    case kRegDword: {
      if (value->data.size() != 4) return {};
      const std::vector<uint8_t>& b = value->data;
      uint32_t number = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                        static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
      return std::to_string(number);
    }
    default:
      return {};
  }
}

std::string GetKeldUtilsPath(RegistryReader& registry) {
  return UtilsPath(registry, "SOFTWARE\\Vantor\\VantorKeld", "Keld_utils_path");
}

std::string GetMirnUtilsPath(RegistryReader& registry) {
  return UtilsPath(registry, "SOFTWARE\\Vantor\\iVantorMirn", "Mirn_utils_path");
}

}  // namespace jr
