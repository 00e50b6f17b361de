#include "insight/expected_end.h"

#include <algorithm>
#include <cstdio>
#include <queue>
#include <tuple>
#include <unordered_set>

#include "engine/command_line_builder.h"
#include "engine/run_plan.h"
#include "model/time_text.h"
#include "platform/local_time.h"

namespace jr {

using std::chrono::milliseconds;

namespace {

// Appends `line` to the plan's lines: it carries only its wait list, and its definition
// has the number of the job's line it counts for, as a copy's has that of the line it
// repeats. Null when its number is taken.
RunLine* AddForeseen(RunLines& run, const ForeseenLine& line) {
  RunLine* added = run.Add(line.line);
  if (added == nullptr) return nullptr;
  JobLine definition{.number = line.line, .wait_for = JobLineRefs({}, line.wait_for)};
  // The plan starts only lines with a program.
  added->SetProgram("foreseen");
  if (line.repeat_of != 0) {
    added->SetOriginalJobLineNr(line.repeat_of);
    definition.number = line.repeat_of;
    if (RunLine* original = run.Line(line.repeat_of)) {
      original->SetRepeated(true);
      definition.number = original->definition().number;
    }
  }
  added->SetDefinition(std::move(definition));
  return added;
}

// The lines that run now, each with its start, in the run's order.
using RunningNow = std::vector<std::pair<RunLine*, TimePoint>>;

// Sets the plan's line of each of `lines` (in `at`, null for one left out) to the line's
// state, which a figure before may have moved on, and returns those that run.
RunningNow SetStates(const std::vector<ForeseenLine>& lines, const std::vector<RunLine*>& at,
                     TimePoint now) {
  RunningNow running;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (at[i] == nullptr) continue;
    const bool over = lines[i].state == ForeseenLine::State::kOver;
    at[i]->SetState(over ? LineState::kSucceeded : LineState::kWaiting);
    if (lines[i].state == ForeseenLine::State::kRunning) {
      running.emplace_back(at[i], lines[i].start.value_or(now));
    }
  }
  return running;
}

// The plan decides what starts, as in a real run: the lines of `run` wait or are over, but
// for `running`, which wait until they are started here at their own start. Every line ends
// ok, and its lists are not applied: no skip and no repeat is foreseen.
ExpectedEnd Foresee(RunLines& run, const RunningNow& running_now, int32_t maximum,
                    const UsualDurations& usual, TimePoint now) {
  RunPlan plan(run, maximum);
  ExpectedEnd expected;
  bool known = false;
  TimePoint last = now;
  // The running lines by their foreseen ends; lines ending at the same time end in the
  // order they started, the running ones in the run's order first.
  using Foreseen = std::tuple<TimePoint, uint64_t, RunLine*>;
  std::priority_queue<Foreseen, std::vector<Foreseen>, std::greater<>> running;
  uint64_t started = 0;
  auto start = [&](RunLine& line, TimePoint at) {
    plan.Started(line);
    TimePoint end = at;
    if (const auto found = usual.find(line.definition().number); found != usual.end()) {
      known = true;
      end = std::max(at + found->second, now);
    } else {
      expected.lower_bound = true;
      end = std::max(at, now);
    }
    last = std::max(last, end);
    running.emplace(end, started++, &line);
  };
  for (const auto& [line, at] : running_now) start(*line, at);

  TimePoint clock = now;
  while (true) {
    for (RunLine* line : plan.Startable(clock)) start(*line, clock);
    if (running.empty()) {
      // Lines that wait for themselves through others would never start; the scheduler ends
      // them unstarted, which frees the lines waiting for them.
      const std::vector<LineThatCannotStart> never = plan.NeverStarting();
      if (never.empty()) break;
      for (const LineThatCannotStart& blocked : never) plan.EndedUnstarted(*blocked.line);
      continue;
    }
    clock = std::get<0>(running.top());
    while (!running.empty() && std::get<0>(running.top()) == clock) {
      RunLine& ended = *std::get<2>(running.top());
      running.pop();
      ended.SetStopTime(clock);
      plan.Succeeded(ended);
    }
  }
  if (!known) return ExpectedEnd{};
  expected.end = last;
  return expected;
}

}  // namespace

ExpectedEnd ExpectEnd(const std::vector<ForeseenLine>& lines, int32_t maximum,
                      const UsualDurations& usual, TimePoint now) {
  // A line that is over changes nothing ahead: a wait for it is met as one for a line the
  // run does not have is passed over, and nothing ends that could repeat it. So only the
  // lines still to end are planned, and those whose copies are among them.
  std::unordered_set<int32_t> repeated;
  for (const ForeseenLine& line : lines) {
    if (line.repeat_of != 0) repeated.insert(line.repeat_of);
  }
  RunLines run;
  run.Reserve(static_cast<int32_t>(lines.size()));
  std::vector<RunLine*> at;
  at.reserve(lines.size());
  for (const ForeseenLine& line : lines) {
    const bool left_out = line.state == ForeseenLine::State::kOver && !repeated.count(line.line);
    at.push_back(left_out ? nullptr : AddForeseen(run, line));
  }
  return Foresee(run, SetStates(lines, at, now), maximum, usual, now);
}

ExpectedEnd Foresight::Expect(const std::vector<ForeseenLine>& lines, int32_t maximum,
                              const UsualDurations& usual, TimePoint now) {
  run_.Reserve(static_cast<int32_t>(lines.size()));
  while (at_.size() < lines.size()) at_.push_back(AddForeseen(run_, lines[at_.size()]));
  return Foresee(run_, SetStates(lines, at_, now), maximum, usual, now);
}

ExpectedEnd Foresight::Expect(const RunLines& lines, int32_t maximum, const UsualDurations& usual,
                              TimePoint now) {
  const auto count = static_cast<size_t>(lines.Count());
  run_.Reserve(static_cast<int32_t>(count));
  while (at_.size() < count) {
    const RunLine& line = *lines.Item(static_cast<int>(at_.size()) + 1);
    RunLine* added = run_.Add(line.JobLineNr());
    if (added != nullptr) {
      added->SetDefinition(line.SharedDefinition());
      added->SetOriginalJobLineNr(line.OriginalJobLineNr());
      // The plan starts only lines with a program.
      added->SetProgram("foreseen");
    }
    at_.push_back(added);
  }
  RunningNow running;
  for (size_t i = 0; i < count; ++i) {
    RunLine* planned = at_[i];
    if (planned == nullptr) continue;
    const RunLine& line = *lines.Item(static_cast<int>(i) + 1);
    planned->SetRepeated(line.Repeated());
    planned->SetState(line.AlreadyRun() ? LineState::kSucceeded : LineState::kWaiting);
    if (line.IsRunning()) running.emplace_back(planned, line.StartingTime().value_or(now));
  }
  return Foresee(run_, running, maximum, usual, now);
}

std::map<int32_t, std::vector<int32_t>> WaitListsOf(const JobLineTable& table, int row_count) {
  std::map<int32_t, std::vector<int32_t>> waits;
  for (const RunRow& row : RunRows(table, row_count)) {
    Result<JobLineRefs> refs = ReadJobLineRefs(table.Text(kColWait, row.row));
    waits[row.number] = refs.ok() ? refs.value.numbers() : std::vector<int32_t>{};
  }
  return waits;
}

std::string ExpectedEndText(const ExpectedEnd& expected, TimePoint now) {
  if (!expected.end) return {};
  return std::string("expected end ") + (expected.lower_bound ? "at least " : "") +
         FormatLocalTime(std::chrono::system_clock::to_time_t(*expected.end), "%H:%M:%S") +
         " (in " + DurationText(std::chrono::duration_cast<milliseconds>(*expected.end - now)) +
         ")";
}

ExpectedEndWatch::ExpectedEndWatch(int32_t maximum, UsualDurations usual, const Clock& clock)
    : maximum_(maximum), usual_(std::move(usual)), clock_(clock) {}

void ExpectedEndWatch::Follow(const RunLines* lines) {
  lines_ = lines;
  first_going_ = 0;
  changes_ = lines == nullptr ? 0 : static_cast<size_t>(lines->Count());
}

bool ExpectedEndWatch::Going() {
  if (lines_ == nullptr) return false;
  while (first_going_ < lines_->Count() && lines_->Item(first_going_ + 1)->AlreadyRun()) {
    ++first_going_;
  }
  return first_going_ < lines_->Count();
}

ExpectedEnd ExpectedEndWatch::Expected() {
  if (lines_ == nullptr) return last_;
  using Steady = std::chrono::steady_clock;
  // A figure plans every line still to end. It is made anew once a line has changed for
  // each 16 lines of the job, so a job of up to 16 lines has it after every change, and a
  // large one pays a few planned lines per change; and once twenty times its last cost has
  // passed, so that a run whose lines end slowly has it after every change too.
  constexpr size_t kLinesPerChange = 16;
  const Steady::time_point started = Steady::now();
  const bool changed_enough =
      changes_ > 0 && changes_ * kLinesPerChange >= static_cast<size_t>(lines_->Count());
  if (!changed_enough && started - last_at_ < 20 * last_cost_) return last_;
  last_ = foresight_.Expect(*lines_, maximum_, usual_, clock_.Now());
  ++figures_;
  changes_ = 0;
  last_at_ = started;
  last_cost_ = Steady::now() - started;
  return last_;
}

}  // namespace jr
