#include <cstdio>

#include "app/cli.h"
#include "app/window_entry.h"

namespace jr {

void EnterProgram() {}

int RunWindow(int, char**, const std::string&) {
  std::fputs(UsageText().c_str(), stderr);
  return kExitUsage;
}

}  // namespace jr
