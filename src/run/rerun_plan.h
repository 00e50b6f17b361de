#pragma once
// A rerun: a new run of a job that does what an earlier run of it left undone. The lines
// that succeeded then are over before the run starts; they are not started and satisfy the
// waits for them. A line skipped then stays skipped, unless a line that may have skipped it
// runs again; every other line runs under the usual rules.

#include <cstdint>
#include <string>
#include <vector>

#include "model/job_line_table.h"
#include "model/run_lines.h"
#include "store/run_history.h"

namespace jr {

// A job line as the plan needs it: its number, its skip lists and its wait list.
struct RerunLine {
  int32_t number = 0;
  std::string skip_on_success, skip_on_error;
  std::string wait;
};

// The lines a run of the first `row_count` rows of `table` takes, in table order.
std::vector<RerunLine> RerunLinesOf(const JobLineTable& table, int row_count);

// Each of the job's lines in exactly one list, in the job's order.
struct RerunPlan {
  std::vector<int32_t> over;     // succeeded in the earlier run
  std::vector<int32_t> skipped;  // skipped then, by a line that does not run again
  std::vector<int32_t> to_run;
};

// The plan for `lines` after the earlier run whose line rows are `earlier` (as the run
// history keeps them). A line's last attempt that ended decides: the line itself or one of
// its repeat copies, "over" (a line an earlier rerun took as over) counting as succeeded.
// A line without a row in the earlier run, one that never ended (a stop, a stop on error,
// a runner that died) and one that failed, a failed start included, is to run. With
// `downstream`, so is every line that waits, directly or through others, for a line that
// is to run: what it did then was done on what that line left.
RerunPlan PlanRerun(const std::vector<RerunLine>& lines, const std::vector<RunLineRecord>& earlier,
                    bool downstream = false);

// Marks the plan's over and skipped lines of a prepared run as already run and skipped,
// so that they are neither started nor shown in the reports, and waits for them are met.
void MarkRerun(const RerunPlan& plan, RunLines& lines);

// "10, 20, 30", or "none".
std::string JobLineNumbersText(const std::vector<int32_t>& numbers);

}  // namespace jr
