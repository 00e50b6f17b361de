#pragma once
// Finding the utilities folders of the installed Keld and Mirn products. Nothing is
// cached: every call reads the registry again.

#include <string>
#include <string_view>

#include "platform/registry.h"

namespace jr {

// The value as text (REG_SZ as stored less its terminator, REG_DWORD as decimal); empty
// when it cannot be read, is longer than 1024 bytes or is of another type. Only the local
// machine hive exists here.
std::string GetRegistryString(RegistryReader& registry, std::string_view key,
                              std::string_view name);

// Utilities folders, ending in the path separator; a lone separator when the product is
// not installed.
std::string GetKeldUtilsPath(RegistryReader& registry);
std::string GetMirnUtilsPath(RegistryReader& registry);

}  // namespace jr
