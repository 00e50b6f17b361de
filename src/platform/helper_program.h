#pragma once
// Programs the runner waits for outside the job lines: the report generator and the
// editor's Options program. None of them may hold the runner for ever.

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process_launcher.h"
#include "platform/registry.h"
#include "platform/shell_exec_task.h"

namespace jr {

inline constexpr std::chrono::seconds kDefaultHelperTimeLimit{600};

// The registry's HelperTimeLimit in the launcher key: whole seconds, a string or a dword;
// kDefaultHelperTimeLimit when missing, not a whole number or below 1.
std::chrono::seconds HelperTimeLimit(RegistryReader& registry);

struct HelperWait {
  PauseFn pause;  // between polls, at most 100 ms each
  std::chrono::milliseconds limit = kDefaultHelperTimeLimit;
  std::function<bool()> stop_requested;  // may be empty: nothing but the limit stops it
};

enum class HelperEnd { kEnded, kNotStarted, kTimeLimit, kStopped };

// Starts the program here and waits for its end. At the time limit or a stop request it
// is ended, with its process tree: a polite request first, a forced end after `grace`.
HelperEnd RunHelper(ProcessLauncher& launcher, std::string_view program,
                    const std::vector<std::string>& arguments, const HelperWait& wait,
                    std::chrono::milliseconds grace = std::chrono::seconds(10));

}  // namespace jr
