#include <cstdio>

#include "app/cli.h"
#include "app/window_entry.h"

namespace jr {

int RunWindow(int, char**) {
  std::fputs(UsageText().c_str(), stderr);
  return kExitUsage;
}

}  // namespace jr
