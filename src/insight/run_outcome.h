#pragma once
// How a run and its job lines ended, in the run history's terms.

#include "model/error_level.h"
#include "model/run_line.h"
#include "store/run_history.h"

namespace jr {

// A line's outcome as the history keeps it: ok, failed, skipped or, for a line that has not
// ended, not run.
LineOutcome OutcomeOf(const RunLine& line);

// The status the history keeps for a run whose reports ended with `level`.
RunStatus RunStatusOf(ErrorLevel level);

}  // namespace jr
