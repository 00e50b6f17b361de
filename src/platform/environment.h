#pragma once
// The process's environment variables, as UTF-8 text on every system.

#include <string>

namespace jr {

// The value of the environment variable `name`; empty when it is not set.
std::string EnvironmentValue(const char* name);

}  // namespace jr
