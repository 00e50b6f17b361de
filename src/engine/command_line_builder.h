#pragma once
// Turning the editor's job-line table into the job lines of a run.

#include <memory>
#include <string>
#include <vector>

#include "model/job_line_table.h"
#include "model/run_env.h"
#include "model/run_lines.h"
#include "platform/status.h"

namespace jr {

// The cell as text; empty text for a cell without a value.
std::string CellText(const Cell& cell);

// One job line per active row (see ReadJobLineRows), in table order, with its program,
// options and result-file names. Reads both utilities folders once, from env.registry.
// `warnings` (may be null) receives a text for every row that stays out of the run for
// a reason the user should hear of (a number used twice, a number out of range). Fails,
// naming the line, when a line the run would take does not read (see JobLineAt): a list
// entry that names no line or a time limit that is no limit; the run must not start then.
Result<std::unique_ptr<RunLines>> PrepareJobLines(const JobLineTable& table, int row_count,
                                                  const std::string& run_folder,
                                                  const std::string& run_name,
                                                  const std::string& run_timestamp, RunEnv& env,
                                                  std::vector<std::string>* warnings);

// The rows a run takes, in table order with their numbers: of the first `row_count` rows,
// the active ones whose number reads, only the first row of each number.
struct RunRow {
  int row = 0;
  int32_t number = 0;
};
std::vector<RunRow> RunRows(const JobLineTable& table, int row_count);

// Numbers held by more than one active row of the first `row_count` rows, each once, in
// the order their second use appears.
std::vector<int32_t> DuplicateActiveJobLineNumbers(const JobLineTable& table, int row_count);

}  // namespace jr
