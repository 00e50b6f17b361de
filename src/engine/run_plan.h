#pragma once
// What the lines of a run may do next, decided from their states and lists alone. The plan
// reads no file, starts no program and keeps no clock: the scheduler starts what it offers,
// waits for programs to end, reads their verdicts and tells it.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/run_lines.h"
#include "platform/status.h"

namespace jr {

struct RepeatCopyMade {
  RunLine* original;
  RunLine* copy;
};

// A repeat the line's repeat limit refused: `line` is the job's line whose copies are
// counted (a copy of a copy counts for the line its source repeats), `copies` how many
// of them the run made.
struct RepeatRefused {
  RunLine* line;
  int32_t copies;
};

struct LineThatCannotStart {
  RunLine* line;
  std::string reason;
};

class RunPlan {
 public:
  // Plans the waiting lines of `lines` (lines over already, as a rerun's, stay over).
  // Never more than `maximum` run at a time.
  RunPlan(RunLines& lines, int32_t maximum) : lines_(lines), maximum_(maximum) {}

  // The waiting lines that may start at `now`, in collection order, no more than there
  // are free places: those with a program whose wait list is satisfied and, for a repeat
  // copy with a repeat delay, whose delay has passed.
  std::vector<RunLine*> Startable(TimePoint now) const;

  // The earliest time after `now` at which a waiting repeat copy's delay passes;
  // TimePoint::max() when no copy waits for its delay.
  TimePoint NextDelayedStart(TimePoint now) const;

  // True when every line named by the line's wait list is over, and, for a named line that
  // has been repeated, every repeat copy of it too. Entries naming no line are passed over.
  bool WaitSatisfied(const RunLine& line) const;

  void Started(RunLine& line) {
    line.SetState(LineState::kRunning);
    ++running_;
    if (!not_before_.empty()) not_before_.erase(&line);
  }
  // A waiting line whose program could not be started, or that can never start: failed.
  void EndedUnstarted(RunLine& line) { line.SetState(LineState::kFailed); }

  // What an ended line means for the others.
  struct Consequences {
    // A stop-on-error line failed: nothing more starts and the run ends.
    bool stop = false;
    std::vector<RunLine*> skipped;
    std::vector<RepeatCopyMade> repeated;
    std::vector<RepeatRefused> refused;
  };
  // The running line ended, failed or not. `status_repeat`, when not null, holds the lines
  // its failing status line names for repeating; they are repeated before anything else,
  // stop on error included. Then a failed stop-on-error line stops the run; any other line
  // has the skip and the repeat list of its outcome applied, in that order. A line whose
  // copies have reached its repeat limit (or kDefaultRepeatLimit) is not repeated again:
  // the repeat is refused and the run goes on. A copy with a repeat delay may start that
  // long after the ended line's StopTime. Fails when a repeat copy would need a number
  // above the highest job line number: the lines repeated before that are kept.
  Result<Consequences> Finished(RunLine& line, bool failed,
                                const JobLineRefs* status_repeat = nullptr);

  // The running line ends as failed without its lists applied: a stop from outside ended
  // it.
  void Stopped(RunLine& line);

  // The waiting lines that can never start, in collection order, with a reason each: lines
  // without a program, every waiting line when the maximum is below 1, and lines whose wait
  // list waits for themselves through other lines. A line that only waits for such lines
  // is not among them: once they are ended unstarted they are over, and it may start. A
  // running line counts as one that will end.
  std::vector<LineThatCannotStart> NeverStarting() const;

  int32_t running() const { return running_; }
  // No line waits or runs.
  bool Over() const;

 private:
  // Skips every line named by the list, and every repeat copy of such a line, that waits.
  void Skip(const JobLineRefs& list, std::vector<RunLine*>& skipped);
  // Appends a repeat copy of every line the list names (twice for a line named twice)
  // that its repeat limit allows, and marks those lines Repeated; `ended` is the line whose
  // end made them.
  Status Repeat(const JobLineRefs& list, const RunLine& ended, Consequences& consequences);

  RunLines& lines_;
  const int32_t maximum_;
  int32_t running_ = 0;
  // Repeat copies made, by the job's line they count for.
  std::unordered_map<const RunLine*, int32_t> copies_made_;
  // Waiting repeat copies that may not start before their time.
  std::unordered_map<const RunLine*, TimePoint> not_before_;
};

}  // namespace jr
