#pragma once
// When a run that goes on will end: its running lines end at their start plus their usual
// duration, the lines still to start are placed as the scheduler would place them, and the
// last of those ends is the expected end. Nothing is guessed about outcomes: every line
// still to start is taken to run and end ok, so no skip and no repeat is foreseen.

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/run_control.h"
#include "insight/usual_durations.h"
#include "model/job_line_table.h"
#include "model/run_lines.h"
#include "platform/clock.h"

namespace jr {

// A line of a run going on, as far as its end can be foreseen.
struct ForeseenLine {
  enum class State { kWaiting, kRunning, kOver };

  int32_t line = 0;
  // The line a repeat copy repeats; 0 for the job's own lines.
  int32_t repeat_of = 0;
  // The job line numbers it waits for (a copy has those of the line it repeats).
  std::vector<int32_t> wait_for;
  State state = State::kWaiting;
  // When a running line started.
  std::optional<TimePoint> start;
};

// The expected end at `now` of a run whose lines are `lines`, in the run's order (the job's
// lines in job-line order, then the repeat copies as they were made), of which never more
// than `maximum` run at once. A running line ends at its start plus its usual duration, or
// at `now` when that has passed; a line still to start takes its usual duration (a copy the
// one of the job's line it repeats), or no time at all when it has none.
ExpectedEnd ExpectEnd(const std::vector<ForeseenLine>& lines, int32_t maximum,
                      const UsualDurations& usual, TimePoint now);

// The plan's lines of a run going on, made once and set to the run's states for each figure,
// so that foreseeing a run of many thousand lines again makes no lines anew.
class Foresight {
 public:
  // As ExpectEnd. The lines given before must come first, in the same order, changed in
  // their state and start alone: a run only adds repeat copies.
  ExpectedEnd Expect(const std::vector<ForeseenLine>& lines, int32_t maximum,
                     const UsualDurations& usual, TimePoint now);
  // As ExpectEnd, for the lines of a run going on in this process, as they stand: the plan's
  // lines share their definitions, so that a run of many thousand lines does not hold them
  // twice. The same rule for the lines given before holds.
  ExpectedEnd Expect(const RunLines& lines, int32_t maximum, const UsualDurations& usual,
                     TimePoint now);

 private:
  RunLines run_;
  // The plan's line of each line given, in their order; null for a number taken before.
  std::vector<RunLine*> at_;
};

// The wait lists of the lines a run of `table` takes (the active ones, each number once), by
// job line number. A line whose wait list does not read waits for nothing.
std::map<int32_t, std::vector<int32_t>> WaitListsOf(const JobLineTable& table, int row_count);

// "expected end 02:47:10 (in 0:12:03)" in local time, "expected end at least ..." for a lower
// bound; empty when there is no expected end.
std::string ExpectedEndText(const ExpectedEnd& expected, TimePoint now);

// Follows a run from its observer events and tells its expected end at any moment, from
// the run's lines as they stand. The usual durations are read once, by the caller, before
// the run starts.
class ExpectedEndWatch final : public RunObserver {
 public:
  ExpectedEndWatch(int32_t maximum, UsualDurations usual, const Clock& clock);

  // The run's lines, once they are made and before any starts; null once they are gone.
  // They are read on each figure; the run adds to them but removes none.
  void Follow(const RunLines* lines);

  // The expected end now; none before the lines are followed. A job of many thousand lines
  // takes a while to foresee: the last figure is given again until lines have changed in
  // proportion to the job's size (one for each 16 lines) or twenty times that while has
  // passed, so that watching a run whose lines end by the thousand costs it a small part
  // of its time.
  ExpectedEnd Expected();
  // A line still waits or runs.
  bool Going();
  // How many figures were made, each a plan of every line still to end.
  size_t Figures() const { return figures_; }

  void LineStarted(const RunLine&) override { ++changes_; }
  void LineFinished(const RunLine&) override { ++changes_; }
  void LineSkipped(const RunLine&) override { ++changes_; }
  void LineRepeated(const RunLine&, const RunLine&) override { ++changes_; }
  void LineCannotStart(const RunLine&, std::string_view) override { ++changes_; }

 private:
  const RunLines* lines_ = nullptr;
  Foresight foresight_;
  // The lines before this place in the run's order are over; a line over stays over.
  int32_t first_going_ = 0;
  // Lines that started, ended or were added since the last figure.
  size_t changes_ = 0;
  size_t figures_ = 0;
  ExpectedEnd last_;
  std::chrono::steady_clock::time_point last_at_{};
  std::chrono::steady_clock::duration last_cost_{};
  int32_t maximum_;
  UsualDurations usual_;
  const Clock& clock_;
};

}  // namespace jr
