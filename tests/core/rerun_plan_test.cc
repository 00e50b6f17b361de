// What a rerun takes as over, leaves skipped and runs, from the rows an earlier run left.

#include "run/rerun_plan.h"

#include <gtest/gtest.h>

namespace jr {
namespace {

RunLineRecord Row(int32_t line, const char* outcome, std::optional<int32_t> seq,
                  std::optional<int32_t> repeat_of = std::nullopt) {
  RunLineRecord row;
  row.line = line, row.seq = seq, row.outcome = outcome, row.repeat_of = repeat_of;
  return row;
}

TEST(RerunPlan, TheLastAttemptDecidesAndASkippedLineWaitsForItsSkipper) {
  const std::vector<RerunLine> lines = {
      {10, "", ""},    // ok, then its repeat copy failed: runs
      {20, "", ""},    // failed, its copy of a copy succeeded: over
      {30, "", "60"},  // failed, then its copy succeeded: over, so 60 stays skipped
      {40, "70", ""},  // failed, so it cannot have skipped 70: 70 stays skipped
      {50, "", "80"},  // a failed start: runs, and 80 with it
      {60, "", ""},   {70, "", ""}, {80, "", ""}, {90, "", ""},  // not in the earlier run: runs
      {100, "", ""}};                                            // over in an earlier rerun: over
  const std::vector<RunLineRecord> earlier = {
      Row(10, "ok", 0), Row(110, "failed", 5, 10), Row(20, "failed", 1), Row(120, "failed", 6, 20),
      Row(130, "ok", 7, 120), Row(30, "failed", 2), Row(140, "ok", 8, 30), Row(40, "failed", 3),
      Row(50, "failed", 4), Row(60, "skipped", std::nullopt), Row(70, "skipped", std::nullopt),
      Row(80, "skipped", std::nullopt), Row(100, "over", std::nullopt),
      // A loop of copies only a damaged database holds does not hang the plan.
      Row(150, "ok", 9, 160), Row(160, "ok", 10, 150)};
  const RerunPlan plan = PlanRerun(lines, earlier);
  EXPECT_EQ(plan.over, (std::vector<int32_t>{20, 30, 100}));
  EXPECT_EQ(plan.skipped, (std::vector<int32_t>{60, 70}));
  EXPECT_EQ(plan.to_run, (std::vector<int32_t>{10, 40, 50, 80, 90}));
}

}  // namespace
}  // namespace jr
