#include "engine/run_plan.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

#include "support/engine_fakes.h"

namespace jr {
namespace {

using Numbers = std::vector<int32_t>;

// The plan reads no file: its lines need a program's name, nothing on disk.
RunLine& Add(RunLines& lines, int32_t number, std::string_view wait_for = "") {
  RunLine& line = *lines.Add(number);
  line.SetProgram("/bin/true");
  line.EditDefinition().wait_for = test::Refs(wait_for);
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
  ten.EditDefinition().skip_on_error = test::Refs("20,10");
  ten.EditDefinition().repeat_on_error = test::Refs("40");
  ten.EditDefinition().skip_on_success = test::Refs("30");
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
  forty.EditDefinition().stop_on_error = true;
  forty.EditDefinition().skip_on_error = test::Refs("50");
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
  JobLine& ten = Add(lines, 10).EditDefinition();
  ten.repeat_on_error = test::Refs("10");
  ten.repeat_limit = 2;
  ten.repeat_delay = 5;
  ten.skip_on_success = test::Refs("15");
  Add(lines, 15).EditDefinition().repeat_on_error = test::Refs("15");  // the default limit
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
  chain.Line(1)->EditDefinition().wait_for = test::Refs("5000");
  EXPECT_EQ(CannotStart(chain, 1).size(), 5000u);
}

// The whole-collection walk the plan's bookkeeping must agree with: a waiting line with a
// program may start when every line its wait list names, and every copy of such a line
// once it is repeated, is over, and its repeat delay has passed.
std::vector<RunLine*> StartableByWalk(const RunLines& lines, int32_t free,
                                      const std::map<const RunLine*, TimePoint>& not_before,
                                      TimePoint now) {
  auto over = [](const RunLine* line) { return line == nullptr || line->AlreadyRun(); };
  std::vector<RunLine*> startable;
  for (RunLine& line : lines) {
    if (static_cast<int32_t>(startable.size()) >= free) break;
    if (line.State() != LineState::kWaiting || !line.HasProgram()) continue;
    if (not_before.count(&line) && now < not_before.at(&line)) continue;
    bool satisfied = true;
    for (int32_t number : line.definition().wait_for.numbers()) {
      const RunLine* named = lines.Line(number);
      satisfied = satisfied && over(named);
      if (named && named->Repeated())
        for (const RunLine* copy : lines.CopiesOf(number)) satisfied = satisfied && over(copy);
    }
    if (satisfied) startable.push_back(&line);
  }
  return startable;
}

// Random jobs (waits on lines, on numbers only copies take, on themselves; skips, repeats
// with limits and delays, stops, lines over before the run, lines without a program, a
// line deleted before the run) run with random outcomes: at every step the plan offers
// what the walk finds.
TEST(RunPlanTest, OffersWhatAWalkOfTheWholeCollectionFinds) {
  std::mt19937 random(4321);
  auto pick = [&](int below) { return static_cast<int32_t>(random() % below); };
  auto some = [&](int32_t highest) {
    std::string text;
    for (int count = pick(4); count > 0; --count)
      text += std::to_string(10 * (1 + pick(highest / 10 + 3))) + ",";
    return test::Refs(text);
  };
  for (int job = 0; job < 3000; ++job) {
    RunLines lines;
    // Some jobs are longer than the plan's sets hold in one word.
    const int32_t count = job % 50 ? 2 + pick(12) : 150, highest = 10 * count, maximum = pick(4);
    for (int32_t number = 10; number <= highest; number += 10) {
      RunLine& line = Add(lines, number);
      JobLine& definition = line.EditDefinition();
      definition.wait_for = some(number + (pick(5) == 0 ? 30 : -10));
      definition.skip_on_error = some(highest), definition.skip_on_success = some(highest);
      definition.repeat_on_error = some(highest), definition.repeat_on_success = some(highest / 2);
      definition.repeat_limit = 1 + pick(3), definition.stop_on_error = pick(8) == 0;
      definition.repeat_delay = pick(3) == 0 ? 2 : 0;
      if (pick(15) == 0) line.SetProgram("");
      if (pick(8) == 0) line.SetState(pick(2) ? LineState::kSucceeded : LineState::kSkipped);
    }
    // A line deleted before the run leaves a gap in the order the lines were added in.
    if (pick(10) == 0) lines.Delete(1 + pick(lines.Count()));
    RunPlan plan(lines, maximum);
    std::map<const RunLine*, TimePoint> not_before;
    TimePoint now{};
    for (int step = 0; step < 400; ++step) {
      std::vector<RunLine*> running;
      bool waiting = false;
      for (RunLine& line : lines) {
        if (line.IsRunning()) running.push_back(&line);
        waiting = waiting || line.State() == LineState::kWaiting;
      }
      ASSERT_EQ(plan.Running(), running) << job << " " << step;
      ASSERT_EQ(plan.Over(), running.empty() && !waiting) << job << " " << step;
      if (plan.Over()) break;
      const std::vector<RunLine*> startable = plan.Startable(now);
      const int32_t free = maximum - static_cast<int32_t>(running.size());
      ASSERT_EQ(startable, StartableByWalk(lines, free, not_before, now)) << job << " " << step;
      for (RunLine* line : startable) pick(10) ? plan.Started(*line) : plan.EndedUnstarted(*line);
      running = plan.Running();
      if (running.empty()) {
        if (const TimePoint due = plan.NextDelayedStart(now); due != TimePoint::max()) now = due;
        for (const LineThatCannotStart& never : plan.NeverStarting())
          plan.EndedUnstarted(*never.line);
        continue;
      }
      RunLine& ended = *running[pick(static_cast<int>(running.size()))];
      now += std::chrono::seconds(pick(2));
      ended.SetStopTime(now);
      if (pick(20) == 0) plan.Stopped(ended);
      if (!ended.IsRunning()) continue;
      const JobLineRefs from_status = some(lines.HighestJobLineNr());
      const Result<RunPlan::Consequences> next =
          plan.Finished(ended, pick(2), pick(6) ? nullptr : &from_status);
      if (!next.ok() || next.value.stop) break;
      for (const RepeatCopyMade& made : next.value.repeated)
        not_before[made.copy] = now + std::chrono::seconds(made.copy->definition().repeat_delay);
    }
  }
}

}  // namespace
}  // namespace jr
