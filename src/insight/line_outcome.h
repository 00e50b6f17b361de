#pragma once
// How a job line of a run ended, in the run history's terms.

#include <string>

#include "model/run_line.h"

namespace jr {

// A line's outcome as the history names it: "ok", "failed", "skipped" or "not run".
std::string LineOutcome(const RunLine& line);

}  // namespace jr
