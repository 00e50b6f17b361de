#pragma once
// A run going on as `jobrunner --status --json` shows it, and as the notice that a run takes
// longer than usual carries it.

#include <nlohmann/json.hpp>

#include "insight/expected_end.h"
#include "insight/runs_in_progress.h"

namespace jr {

// The run's object: its id, job file, description, runner's process, start, elapsed time and
// expected end at `now`, and each line with its state.
nlohmann::ordered_json StatusRunJson(const RunInProgress& live, const ExpectedEnd& expected,
                                     TimePoint now);

}  // namespace jr
