#include "platform/helper_program.h"

#include <algorithm>

#include "platform/blanks.h"
#include "platform/installation.h"
#include "platform/registry.h"

namespace jr {

std::chrono::seconds HelperTimeLimit(RegistryReader& registry) {
  const std::string_view text =
      TrimBlanks(GetRegistryString(registry, kLauncherKey, "HelperTimeLimit"));
  if (text.empty() || text.size() > 9) return kDefaultHelperTimeLimit;
  long long seconds = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return kDefaultHelperTimeLimit;
    seconds = seconds * 10 + (c - '0');
  }
  return seconds >= 1 ? std::chrono::seconds(seconds) : kDefaultHelperTimeLimit;
}

HelperEnd RunHelper(ProcessLauncher& launcher, std::string_view program,
                    const std::vector<std::string>& arguments, const HelperWait& wait,
                    std::chrono::milliseconds grace) {
  using Clock = std::chrono::steady_clock;
  ProcessHandle handle = ShellExecTask(launcher, {std::string(program), arguments, std::string()});
  if (handle == 0) return HelperEnd::kNotStarted;
  const Clock::time_point deadline = Clock::now() + wait.limit;
  while (IsTaskRunning(launcher, handle)) {
    const bool stop = wait.stop_requested && wait.stop_requested();
    if (stop || Clock::now() >= deadline) {
      launcher.Terminate(handle, grace);
      return stop ? HelperEnd::kStopped : HelperEnd::kTimeLimit;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    wait.pause(std::clamp(left, std::chrono::milliseconds(1), std::chrono::milliseconds(100)));
  }
  return HelperEnd::kEnded;
}

}  // namespace jr
