// The expected end of a run going on: the lines still to start placed as the scheduler
// places them, on the usual durations, from a fixed "now".

#include "insight/expected_end.h"

#include <gtest/gtest.h>

#include "engine/result_files.h"
#include "insight/runs_in_progress.h"
#include "model/run_lines.h"
#include "support/engine_fakes.h"

namespace jr {
namespace {

using std::chrono::seconds;
using State = ForeseenLine::State;

const TimePoint kNow = test::At(2, 35, 0);

ForeseenLine Line(int32_t number, std::vector<int32_t> wait_for = {}, State state = State::kWaiting,
                  std::optional<TimePoint> start = std::nullopt, int32_t repeat_of = 0) {
  return {number, repeat_of, std::move(wait_for), state, start};
}

TEST(ExpectedEnd, LinesStillToStartFollowTheirWaitsAndTheMaximum) {
  // 10 runs for 5 s more; 20 waits for it; 30 waits for nothing; 21 is a copy of 20 made
  // already, which 40 waits for with 20; 5 is over and counts for nothing.
  const std::vector<ForeseenLine> lines = {Line(5, {}, State::kOver),
                                           Line(10, {}, State::kRunning, kNow - seconds(5)),
                                           Line(20, {10}),
                                           Line(30),
                                           Line(21, {10}, State::kWaiting, std::nullopt, 20),
                                           Line(40, {20})};
  const UsualDurations usual = {
      {5, seconds(900)}, {10, seconds(10)}, {20, seconds(20)}, {30, seconds(30)}, {40, seconds(1)}};
  // One at a time: 10 to +5, 20 to +25, 30 to +55, copy 21 to +75, 40 to +76.
  EXPECT_EQ(ExpectEnd(lines, 1, usual, kNow).end, kNow + seconds(76));
  // Two: 30 at once (+30); 20 after 10 (+25), then 21 (+45) and 40 (+46).
  EXPECT_EQ(ExpectEnd(lines, 2, usual, kNow).end, kNow + seconds(46));
  EXPECT_FALSE(ExpectEnd(lines, 2, usual, kNow).lower_bound);
  // Once 20 is over, 40 still waits for its copy 21: from +25 (after 10 and 21) to +125.
  std::vector<ForeseenLine> over = lines;
  over[2].state = State::kOver;
  UsualDurations longer = usual;
  longer[40] = seconds(100);
  EXPECT_EQ(ExpectEnd(over, 3, longer, kNow).end, kNow + seconds(125));
}

TEST(ExpectedEnd, OverdueLinesEndNowAndUnknownDurationsMakeALowerBound) {
  // 10 was due 50 s ago: it ends now, and so does 20 for want of a usual duration.
  const std::vector<ForeseenLine> lines = {Line(10, {}, State::kRunning, kNow - seconds(60)),
                                           Line(20, {10})};
  const ExpectedEnd overdue = ExpectEnd(lines, 99, {{10, seconds(10)}}, kNow);
  EXPECT_EQ(overdue.end, kNow);
  EXPECT_TRUE(overdue.lower_bound);
  const ExpectedEnd known = ExpectEnd(lines, 99, {{10, seconds(10)}, {20, seconds(7)}}, kNow);
  EXPECT_TRUE(known.end == kNow + seconds(7) && !known.lower_bound);
  // Nothing still to end has a usual duration: no figure at all.
  const ExpectedEnd unknown = ExpectEnd(lines, 99, {{30, seconds(7)}}, kNow);
  EXPECT_TRUE(!unknown.end && !unknown.lower_bound);
  EXPECT_FALSE(ExpectEnd({Line(10, {}, State::kOver)}, 99, {{10, seconds(7)}}, kNow).end);
}

TEST(ExpectedEnd, ARunInAnotherProcessIsRebuiltFromItsRowsAndTheWatchFollowsEvents) {
  // Rows in the order they started; 30 was made as a copy of 20, and waits as 20 does.
  auto row = [](int32_t line, int32_t position, std::optional<TimePoint> start,
                std::optional<TimePoint> end, std::optional<int32_t> repeat_of = std::nullopt) {
    RunLineRecord record;
    record.line = line, record.position = position, record.start = start, record.end = end;
    record.outcome = end ? LineOutcome::kFailed : LineOutcome::kNotRun,
    record.repeat_of = repeat_of;
    return record;
  };
  const std::vector<ForeseenLine> lines =
      ForeseenLinesOf({row(20, 1, kNow - seconds(9), kNow - seconds(1)),
                       row(10, 0, kNow - seconds(3), std::nullopt), row(30, 2, {}, {}, 20)},
                      {{10, {}}, {20, {10}}});
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_TRUE(lines[0].line == 10 && lines[0].state == State::kRunning);
  EXPECT_EQ(lines[1].state, State::kOver);
  EXPECT_TRUE(lines[2].wait_for == std::vector<int32_t>{10} && lines[2].repeat_of == 20);
  EXPECT_EQ(ExpectEnd(lines, 99, {{10, seconds(5)}, {20, seconds(4)}}, kNow).end,
            kNow + seconds(6));

  // The watch plans with the run's own lines as they stand. Nothing is foreseen of 10's
  // lists: 20 is not skipped, and 10 is repeated only once the run repeats it.
  test::FakeClock clock;
  clock.Set(kNow);
  RunLines run;
  RunLine& twenty = *run.Add(20);
  twenty.SetDefinition(JobLine{.number = 20, .wait_for = test::Refs("10")});
  RunLine& ten = *run.Add(10);
  ten.SetDefinition(JobLine{
      .number = 10, .skip_on_success = test::Refs("20"), .repeat_on_success = test::Refs("10")});
  ExpectedEndWatch watch(99, {{10, seconds(5)}, {20, seconds(4)}}, clock);
  EXPECT_FALSE(watch.Expected().end) << "no lines to follow yet";
  watch.Follow(&run);
  EXPECT_EQ(watch.Expected().end, kNow + seconds(9));
  ten.SetState(LineState::kRunning);
  ten.SetStartingTime(kNow);
  watch.LineStarted(ten);
  clock.Set(kNow + seconds(3));  // 10 ended early: 20 starts at once
  ten.SetState(LineState::kSucceeded);
  watch.LineFinished(ten);
  EXPECT_EQ(watch.Expected().end, kNow + seconds(7));
  EXPECT_EQ(ExpectedEndText(watch.Expected(), clock.Now()), "expected end 02:35:07 (in 0:00:04)");
  EXPECT_TRUE(watch.Going());
  // The run repeats 10: 20 waits for the copy, which takes 10's usual duration.
  const Result<RunLine*> copy = CreateRepeatCopy(run, ten);
  ASSERT_TRUE(copy.ok());
  ten.SetRepeated(true);
  watch.LineRepeated(ten, *copy.value);
  EXPECT_EQ(watch.Expected().end, kNow + seconds(12));
  EXPECT_TRUE(run.Count() == 3 && twenty.State() == LineState::kWaiting);
  for (RunLine* line : {&twenty, copy.value}) line->SetState(LineState::kSkipped);
  EXPECT_FALSE(watch.Going());
  // Each figure plans every line still to end: a large job's is made again once enough of
  // it changed, not after each of its lines' ends, which come by the thousand.
  RunLines large;
  UsualDurations usual;
  for (int32_t number = 1; number <= 1600; ++number) {
    large.Add(number)->SetDefinition(JobLine{.number = number});
    usual[number] = seconds(5);
  }
  ExpectedEndWatch busy(64, usual, clock);
  busy.Follow(&large);
  for (int32_t number = 1; number <= 50; ++number) {
    RunLine& line = *large.Line(number);
    line.SetState(LineState::kRunning);
    busy.LineStarted(line);
    line.SetState(LineState::kSucceeded);
    busy.LineFinished(line);
    EXPECT_TRUE(busy.Expected().end);
  }
  EXPECT_LE(busy.Figures(), 20u);

  // What the runner kept is taken as it is, the job file unread; once passed, the end is now
  // at the earliest.
  RunInProgress live;
  live.run.job_file = "/nonexistent/job.xml";
  live.run.expected_end = ExpectedEnd{kNow + seconds(60), false};
  EXPECT_EQ(ExpectedEndOf("", live, kNow).value.end, kNow + seconds(60));
  const ExpectedEnd overdue = ExpectedEndOf("", live, kNow + seconds(61)).value;
  EXPECT_TRUE(overdue.end == kNow + seconds(61) && overdue.lower_bound);
}

}  // namespace
}  // namespace jr
