#pragma once
// The process's environment variables, as UTF-8 text on every system.

#include <map>
#include <string>
#include <string_view>

namespace jr {

// The value of the environment variable `name`; empty when it is not set.
std::string EnvironmentValue(const char* name);

// The environment variables whose names start with `prefix` (as written, letter case
// included), by name.
std::map<std::string, std::string> EnvironmentStartingWith(std::string_view prefix);

// The full name of this program's executable file; empty when it cannot be had.
std::string ProgramFilePath();

}  // namespace jr
