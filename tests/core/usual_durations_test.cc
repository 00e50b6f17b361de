// A line's usual duration from the job's history: which attempts and runs count, and the
// median over them.

#include "insight/usual_durations.h"

#include <gtest/gtest.h>

#include "support/test_paths.h"

namespace jr {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

using test::kT0;

RunLineRecord Attempt(int32_t line, int seconds_long, LineOutcome outcome = LineOutcome::kOk,
                      std::optional<int32_t> repeat_of = std::nullopt) {
  return {.line = line,
          .start = kT0,
          .end = kT0 + seconds(seconds_long),
          .outcome = outcome,
          .repeat_of = repeat_of};
}

RunSummary Ended(int index, std::optional<RunStatus> status = RunStatus::kNoErrors) {
  const TimePoint start = kT0 - std::chrono::hours(index + 1);
  return {.run_id = "run" + std::to_string(index),
          .start = start,
          .end = start + seconds(1),
          .status = status};
}

TEST(UsualDurations, MedianOfOkAttemptsInTheNewestRunsWhereTheLineEndedOk) {
  std::vector<RunSummary> runs;
  std::vector<std::vector<RunLineRecord>> lines;
  // Newest first: a run going on and a refused one count for nothing; then line 20 fails
  // once and is repeated by copy 21, which succeeds and counts for 20.
  runs.push_back(Ended(0)), runs.back().end.reset(), lines.push_back({Attempt(10, 999)});
  runs.push_back(Ended(1, RunStatus::kRefused)), lines.push_back({Attempt(10, 999)});
  runs.push_back(Ended(2, RunStatus::kErrors)),
      lines.push_back({Attempt(10, 4), Attempt(20, 50, LineOutcome::kFailed),
                       Attempt(21, 6, LineOutcome::kOk, 20)});
  // Nine more in which 10 took 2 s and 4 s by turns; its eleventh-newest success (100 s) is
  // too old to count, while line 30's only success there still counts.
  for (int i = 3; i < 12; ++i)
    runs.push_back(Ended(i)), lines.push_back({Attempt(10, 2 + (i + 1) % 2 * 2)});
  runs.push_back(Ended(12)), lines.push_back({Attempt(10, 100), Attempt(30, 7)});
  runs.push_back(Ended(13)), lines.push_back({Attempt(40, 9, LineOutcome::kFailed)});

  const UsualDurations usual = UsualDurationsOf(runs, lines);
  EXPECT_EQ(usual.at(10), milliseconds(3000));  // five 2 s, five 4 s; 100 left out
  EXPECT_EQ(usual.at(20), milliseconds(6000));
  EXPECT_FALSE(usual.contains(21));
  EXPECT_EQ(usual.at(30), milliseconds(7000));
  EXPECT_FALSE(usual.contains(40));

  // An even count takes the middle two's mean.
  EXPECT_EQ(UsualDurationsOf({Ended(1), Ended(2)}, {{Attempt(10, 3)}, {Attempt(10, 4)}}).at(10),
            milliseconds(3500));
  EXPECT_EQ(
      UsualDurationsOf({Ended(1)}, {{Attempt(10, 2), Attempt(11, 6, LineOutcome::kOk, 10)}}).at(10),
      milliseconds(4000));

  // A copy is numbered above what it repeats: a damaged row's link up or to itself, and so
  // any loop, is not followed.
  EXPECT_EQ(OriginOf(50, {{50, 30}, {30, 10}}), 10);
  EXPECT_EQ(OriginOf(30, {{30, 40}, {40, 30}}), 30);
}

TEST(UsualDurations, ReadFromTheHistoryCountsOnlyRunsBeforeTheOneAskedFor) {
  test::TempDir dir;
  auto history = RunHistory::OpenForWriting(dir.File("metadata.sqlite"));
  ASSERT_TRUE(history.ok()) << history.message();
  for (int seconds_long : {5, 60}) {
    const RunStart start{.run_id = "r" + std::to_string(seconds_long),
                         .job_file = "/jobs/a.xml",
                         .start = kT0 + seconds(seconds_long * 10)};
    auto id = history.value->BeginRun(start);
    ASSERT_TRUE(id.ok());
    RunLineRecord line = Attempt(10, seconds_long);
    line.start = start.start;
    line.end = start.start + seconds(seconds_long);
    ASSERT_TRUE(history.value->WriteLines(id.value, {line}).ok());
    ASSERT_TRUE(
        history.value->EndRun(id.value, RunEnd{*line.end, RunStatus::kNoErrors, 1, 0, 0}).ok());
  }
  auto before_second = ReadUsualDurations(*history.value, "/jobs/a.xml", kT0 + seconds(600));
  ASSERT_TRUE(before_second.ok());
  EXPECT_EQ(before_second.value.at(10), milliseconds(5000));
  EXPECT_TRUE(ReadUsualDurations(*history.value, "/jobs/a.xml", kT0).value.empty());
}

}  // namespace
}  // namespace jr
