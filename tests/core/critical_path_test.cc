// What a finished run is told by: its critical path through waits, repeats and the
// maximum, and its slow lines.

#include "insight/critical_path.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/test_paths.h"

namespace jr {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

using test::kT0;

// An attempt of `line` from `from` to `to` seconds after kT0.
RunLineRecord Ran(int32_t line, double from, double to,
                  std::optional<int32_t> repeat_of = std::nullopt) {
  return {.line = line,
          .start = kT0 + milliseconds(std::lround(from * 1000)),
          .end = kT0 + milliseconds(std::lround(to * 1000)),
          .outcome = LineOutcome::kOk,
          .repeat_of = repeat_of};
}

TEST(CriticalPath, FollowsWaitsRepeatsAndTheMaximumBeyondTheSlack) {
  // 50 waits for 30 (repeated by 60) and 40: the copy ended last, and it repeats 30, which
  // waited for 10 longer than for 20.
  const JobWaits waits{{{30, {10, 20}}, {40, {20}}, {50, {30, 40}}}, 99, true};
  EXPECT_EQ(CriticalPath({Ran(10, 0, 10), Ran(20, 0, 3), Ran(40, 3, 5), Ran(30, 10, 20),
                          Ran(60, 20, 40, 30), Ran(50, 40, 45)},
                         waits, kT0),
            (std::vector<int32_t>{10, 30, 60, 50}));
  // One line at a time: 30 waited for 10 but started when 20 freed the place; 20 had
  // nothing to wait for and started when 10 ended. With two at a time nothing held 30.
  const std::vector<RunLineRecord> held = {Ran(10, 0, 10), Ran(20, 10, 30), Ran(30, 30, 35)};
  const std::vector<int32_t> through_20{10, 20, 30}, only_waits{10, 30};
  EXPECT_EQ(CriticalPath(held, {{{30, {10}}}, 1, true}, kT0), through_20);
  EXPECT_EQ(CriticalPath(held, {{{30, {10}}}, 2, true}, kT0), only_waits);
  // An unknown maximum is the most the run had running at once, here one.
  EXPECT_EQ(CriticalPath(held, {{{30, {10}}}, 0, false}, kT0), through_20);
  EXPECT_EQ(CriticalPath({Ran(10, 0, 10), Ran(15, 0, 10), Ran(20, 10, 30), Ran(30, 30, 35)},
                         {{{30, {10}}}, 0, false}, kT0),
            only_waits);
  // A line that took no time was held by the one before it, not by itself.
  EXPECT_EQ(CriticalPath({Ran(10, 0, 10), Ran(20, 15, 15)}, {{}, 1, true}, kT0),
            (std::vector<int32_t>{10, 20}));
  // Up to 2 s after what it waited for, a line was not held by the maximum.
  EXPECT_EQ(CriticalPath({Ran(10, 0, 10), Ran(20, 10, 11), Ran(30, 12, 13)},
                         {{{30, {10}}}, 1, true}, kT0),
            only_waits);
  EXPECT_EQ(CriticalPath({Ran(10, 0, 10), Ran(20, 10, 11), Ran(30, 12.001, 13)},
                         {{{30, {10}}}, 1, true}, kT0),
            through_20);
}

TEST(CriticalPath, SlowIsTwiceTheUsualAndHalfAMinuteMore) {
  EXPECT_FALSE(IsSlow(Ran(10, 0, 80), seconds(40)));
  EXPECT_TRUE(IsSlow(Ran(10, 0, 80.001), seconds(40)));
  EXPECT_FALSE(IsSlow(Ran(10, 0, 39.999), seconds(10)));
  EXPECT_TRUE(IsSlow(Ran(10, 0, 40), seconds(10)));
  EXPECT_FALSE(IsSlow(Ran(10, 0, 400), std::nullopt));
}

// A chain of thousands stays one line; a small share says where the rest of the run went.
TEST(CriticalPath, ALongPathKeepsItsEndsAndTheShareSaysWhatItMeasures) {
  std::vector<int32_t> path;
  for (int32_t line = 10; line <= 120; line += 10) path.push_back(line);
  EXPECT_EQ(CriticalPathText(path), "10 > 20 > 30 > 40 > 50 > 60 > 70 > 80 > 90 > 100 > 110 > 120");
  for (int32_t line = 130; line <= 50000; line += 10) path.push_back(line);
  EXPECT_EQ(CriticalPathText(path),
            "10 > 20 > 30 > 40 > 50 > ... 4990 more ... > 49960 > 49970 > 49980 > 49990 > 50000");
  EXPECT_EQ(CriticalPathShareText(0.5), "50 % of the run");
  EXPECT_EQ(CriticalPathShareText(0.38),
            "its lines ran 38 % of the run; the rest went to starting programs and waiting");
}

}  // namespace
}  // namespace jr
