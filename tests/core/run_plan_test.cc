#include "engine/run_plan.h"

#include <gtest/gtest.h>

#include "support/engine_fakes.h"

namespace jr {
namespace {

using Numbers = std::vector<int32_t>;

// The plan reads no file: its lines need a program's name, nothing on disk.
RunLine& Add(RunLines& lines, int32_t number, std::string_view wait_for = "") {
  RunLine& line = *lines.Add(number);
  line.SetProgram("/bin/true");
  line.definition().wait_for = test::Refs(wait_for);
  return line;
}

Numbers NumbersOf(const std::vector<RunLine*>& lines) {
  Numbers numbers;
  for (const RunLine* line : lines) numbers.push_back(line->JobLineNr());
  return numbers;
}

TEST(RunPlanTest, AnEndedLineSkipsRepeatsOrStopsAndTheMaximumHolds) {
  RunLines lines;
  for (int32_t number : {10, 20, 30, 40}) Add(lines, number, number == 20 ? "99" : "");
  RunLine& ten = *lines.Line(10);
  ten.definition().skip_on_error = test::Refs("20,10");
  ten.definition().repeat_on_error = test::Refs("40");
  ten.definition().skip_on_success = test::Refs("30");
  RunPlan plan(lines, 2);
  EXPECT_EQ(NumbersOf(plan.Startable({})), (Numbers{10, 20})) << "99 names no line";
  plan.Started(ten);
  plan.Started(*lines.Line(30));
  EXPECT_TRUE(plan.Startable({}).empty()) << "two run, the maximum";
  // The failing status line's repeat comes first; the running 30 and the failed 10 stay.
  const JobLineRefs from_status = test::Refs("30");
  Result<RunPlan::Consequences> next = plan.Finished(ten, true, &from_status);
  ASSERT_TRUE(next.ok());
  EXPECT_EQ(NumbersOf(next.value.skipped), (Numbers{20}));
  ASSERT_EQ(next.value.repeated.size(), 2u);
  EXPECT_EQ(next.value.repeated[0].copy->OriginalJobLineNr(), 30);
  EXPECT_EQ(next.value.repeated[1].copy->JobLineNr(), 60);
  EXPECT_TRUE(ten.ErrorOccurred() && lines.Line(20)->IsSkipped() && lines.Line(30)->IsRunning());

  // A failing stop-on-error line stops the run before its lists apply.
  RunLine& forty = *lines.Line(40);
  forty.definition().stop_on_error = true;
  forty.definition().skip_on_error = test::Refs("50");
  plan.Started(forty);
  next = plan.Finished(forty, true);
  ASSERT_TRUE(next.ok());
  EXPECT_TRUE(next.value.stop && next.value.skipped.empty());
  plan.Stopped(*lines.Line(30));
  EXPECT_TRUE(lines.Line(30)->ErrorOccurred() && plan.running() == 0);
  EXPECT_FALSE(plan.Over()) << "the copies wait";
}

TEST(RunPlanTest, RepeatsStopAtTheLimitAndACopyWaitsForItsDelay) {
  RunLines lines;
  JobLine& ten = Add(lines, 10).definition();
  ten.repeat_on_error = test::Refs("10");
  ten.repeat_limit = 2;
  ten.repeat_delay = 5;
  ten.skip_on_success = test::Refs("15");
  Add(lines, 15).definition().repeat_on_error = test::Refs("15");  // the default limit
  RunPlan plan(lines, 2);
  auto fail = [&](int32_t number, const JobLineRefs* status = nullptr) {
    plan.Started(*lines.Line(number));
    return plan.Finished(*lines.Line(number), true, status).value;
  };
  // 10 ended (without a stop time) at the clock's epoch; its copy may start 5 s later.
  fail(10);
  EXPECT_EQ(lines.Line(25)->definition(), ten) << "a copy keeps every list and setting";
  const TimePoint due = TimePoint{} + std::chrono::seconds(5);
  EXPECT_EQ(NumbersOf(plan.Startable(due - std::chrono::milliseconds(1))), (Numbers{15}));
  EXPECT_EQ(NumbersOf(plan.Startable(due)), (Numbers{15, 25}));
  fail(25);
  // A copy of a copy, named by the status line, counts for 10 all the same.
  const JobLineRefs from_status = test::Refs("25");
  const RunPlan::Consequences last = fail(35, &from_status);
  EXPECT_TRUE(last.repeated.empty() && last.refused.size() == 2 && last.refused[0].copies == 2 &&
              last.refused[1].line == lines.Line(10));
  int copies = 0;
  for (auto made = fail(15); !made.repeated.empty(); ++copies)
    made = fail(made.repeated[0].copy->JobLineNr());
  EXPECT_EQ(copies, 1000);
}

std::vector<std::string> CannotStart(RunLines& lines, int32_t maximum) {
  std::vector<std::string> texts;
  for (const auto& [line, reason] : RunPlan(lines, maximum).NeverStarting())
    texts.push_back(std::to_string(line->JobLineNr()) + ": " + reason);
  return texts;
}

TEST(RunPlanTest, LinesThatCanNeverStartAreFoundWithTheirReason) {
  RunLines lines;
  Add(lines, 5).SetState(LineState::kRunning);
  Add(lines, 10, "5");
  Add(lines, 20).SetProgram("");
  Add(lines, 30, "20");
  Add(lines, 40, "50");
  Add(lines, 50, "40");
  Add(lines, 60, "60");
  Add(lines, 70, "10,40");
  // 80 and 90 wait for each other, 80 also for 40 of the other cycle.
  Add(lines, 80, "40,90");
  Add(lines, 90, "80");
  EXPECT_EQ(CannotStart(lines, 2), (std::vector<std::string>{
                                       "20: it has no program to start",
                                       "40: its wait list waits for itself through job line 50",
                                       "50: its wait list waits for itself through job line 40",
                                       "60: its wait list waits for itself",
                                       "80: its wait list waits for itself through job line 90",
                                       "90: its wait list waits for itself through job line 80",
                                   }));

  // A long chain listed backwards is no cycle; closing it makes one.
  RunLines chain;
  for (int32_t number = 5000; number >= 1; --number)
    Add(chain, number, number > 1 ? std::to_string(number - 1) : "");
  EXPECT_TRUE(CannotStart(chain, 1).empty());
  chain.Line(1)->definition().wait_for = test::Refs("5000");
  EXPECT_EQ(CannotStart(chain, 1).size(), 5000u);
}

}  // namespace
}  // namespace jr
