// What a rerun takes as over, leaves skipped and runs, from the rows an earlier run left.

#include "run/rerun_plan.h"

#include <gtest/gtest.h>

#include <tuple>

namespace jr {
namespace {

RunLineRecord Row(int32_t line, LineOutcome outcome, std::optional<int32_t> seq,
                  std::optional<int32_t> repeat_of = std::nullopt) {
  return {.line = line, .seq = seq, .outcome = outcome, .repeat_of = repeat_of};
}

TEST(RerunPlan, TheLastAttemptDecidesAndASkippedLineWaitsForItsSkipper) {
  const std::vector<RerunLine> lines = {
      {10, "", "", ""},    // ok, then its repeat copy failed: runs
      {20, "", "", ""},    // failed, its copy of a copy succeeded: over
      {30, "", "60", ""},  // failed, then its copy succeeded: over, so 60 stays skipped
      {40, "70", "", ""},  // failed, so it cannot have skipped 70: 70 stays skipped
      {50, "", "80", ""},  // a failed start: runs, and 80 with it
      {60, "", "", ""},   {70, "", "", ""},
      {80, "", "", ""},   {90, "", "", ""},  // not in the earlier run: runs
      {95, "", "", ""},    // ended with an outcome this version does not know: runs
      {100, "", "", ""}};  // over in an earlier rerun: over
  const std::vector<RunLineRecord> earlier = {
      Row(10, LineOutcome::kOk, 0), Row(110, LineOutcome::kFailed, 5, 10),
      Row(20, LineOutcome::kFailed, 1), Row(120, LineOutcome::kFailed, 6, 20),
      Row(130, LineOutcome::kOk, 7, 120), Row(30, LineOutcome::kFailed, 2),
      Row(140, LineOutcome::kOk, 8, 30), Row(40, LineOutcome::kFailed, 3),
      Row(50, LineOutcome::kFailed, 4), Row(60, LineOutcome::kSkipped, std::nullopt),
      Row(70, LineOutcome::kSkipped, std::nullopt), Row(80, LineOutcome::kSkipped, std::nullopt),
      Row(95, LineOutcome::kUnknown, 11), Row(100, LineOutcome::kOver, std::nullopt),
      // A loop of copies only a damaged database holds does not hang the plan.
      Row(150, LineOutcome::kOk, 9, 160), Row(160, LineOutcome::kOk, 10, 150)};
  const RerunPlan plan = PlanRerun(lines, earlier);
  EXPECT_EQ(plan.over, (std::vector<int32_t>{20, 30, 100}));
  EXPECT_EQ(plan.skipped, (std::vector<int32_t>{60, 70}));
  EXPECT_EQ(plan.to_run, (std::vector<int32_t>{10, 40, 50, 80, 90, 95}));
}

// Downstream, what waited for a line that runs again, directly or through others, runs
// again, and what such a line skipped then is up to its new outcome.
TEST(RerunPlan, DownstreamRunsWhatWaitsForALineThatRunsAgain) {
  const std::vector<RerunLine> lines = {
      {10, "", "", ""},   {20, "", "", "10"},      {30, "", "", "20"}, {40, "", "", ""},
      {50, "", "", "40"}, {60, "70", "", "5, 30"}, {70, "", "", ""}};
  std::vector<RunLineRecord> earlier = {Row(10, LineOutcome::kFailed, 0),
                                        Row(70, LineOutcome::kSkipped, std::nullopt)};
  for (int32_t line : {20, 30, 40, 50, 60}) earlier.push_back(Row(line, LineOutcome::kOk, line));
  for (const auto& [downstream, over, skipped, to_run] :
       {std::tuple{false, std::vector<int32_t>{20, 30, 40, 50, 60}, std::vector<int32_t>{70},
                   std::vector<int32_t>{10}},
        {true, {40, 50}, {}, {10, 20, 30, 60, 70}}}) {
    const RerunPlan plan = PlanRerun(lines, earlier, downstream);
    EXPECT_EQ(plan.over, over);
    EXPECT_EQ(plan.skipped, skipped);
    EXPECT_EQ(plan.to_run, to_run);
  }
}

}  // namespace
}  // namespace jr
