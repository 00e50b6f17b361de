#pragma once
// A run of the run history as JSON, as `--history --json` prints it and a webhook carries it.

#include <nlohmann/json.hpp>
#include <vector>

#include "insight/critical_path.h"
#include "store/run_history.h"

namespace jr {

using Json = nlohmann::ordered_json;

// Text the JSON library takes as it is: invalid UTF-8 bytes become U+FFFD.
std::string JsonText(const Json& value);

// A run as the list of runs shows it.
Json RunJson(const RunSummary& run);

// A run with its critical path and its lines (`rows`, the history's lines of the run).
Json RunDetailJson(const RunSummary& run, const std::vector<RunLineRecord>& rows,
                   const RunInsight& insight);

// Run `run_id` of `job_file` (an absolute name) read from `history`, as RunDetailJson gives
// it; a discarded value when the history holds no such run.
Result<Json> ReadRunDetailJson(RunHistory& history, const std::string& job_file,
                               const std::string& run_id);

}  // namespace jr
