#pragma once
// What the lines of a run may do next, decided from their states and lists alone. The plan
// reads no file, starts no program and keeps no clock: the scheduler starts what it offers,
// waits for programs to end, reads their verdicts and tells it.

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
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
  // Never more than `maximum` run at a time. From here on the lines change state through
  // the plan alone, and no line leaves the collection: the plan keeps for each waiting line
  // how many of its waits are not over yet and the lines that wait for each line, so that
  // a line's end touches only the lines waiting for it.
  RunPlan(RunLines& lines, int32_t maximum);

  // The waiting lines that may start at `now`, in collection order, no more than there
  // are free places: those with a program whose wait list is satisfied and, for a repeat
  // copy with a repeat delay, whose delay has passed. A line's wait list is satisfied when
  // every line it names is over, and, for a named line that has been repeated, every
  // repeat copy of it too; entries naming no line are passed over.
  std::vector<RunLine*> Startable(TimePoint now) const;

  // The earliest time after `now` at which a waiting repeat copy's delay passes;
  // TimePoint::max() when no copy waits for its delay.
  TimePoint NextDelayedStart(TimePoint now) const;

  void Started(RunLine& line);
  // A waiting line whose program could not be started, or that can never start: failed.
  void EndedUnstarted(RunLine& line) { End(line, LineState::kFailed); }

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

  // The running line ended ok and nothing follows from its lists: what foresees a run plans
  // no skip and no repeat, and plans with the run's own definitions.
  void Succeeded(RunLine& line) { End(line, LineState::kSucceeded); }

  // The running line ends as failed without its lists applied: a stop from outside ended
  // it.
  void Stopped(RunLine& line) {
    if (line.IsRunning()) End(line, LineState::kFailed);
  }

  // The waiting lines that can never start, in collection order, with a reason each: lines
  // without a program, every waiting line when the maximum is below 1, and lines whose wait
  // list waits for themselves through other lines. A line that only waits for such lines
  // is not among them: once they are ended unstarted they are over, and it may start. A
  // running line counts as one that will end. It looks at every waiting line: ask when
  // nothing may start and nothing runs, not on every pass.
  std::vector<LineThatCannotStart> NeverStarting() const;

  int32_t running() const { return static_cast<int32_t>(running_.size()); }
  // The running lines, in collection order.
  std::vector<RunLine*> Running() const;
  // No line waits or runs.
  bool Over() const { return running_.empty() && waiting_ == 0; }

 private:
  // Positions of waiting lines in the order they were noted. Most lines are named by one
  // line or none, which takes no room of its own.
  class Waiters {
   public:
    void Add(uint32_t waiting) {
      if (first_ == kNone) {
        first_ = waiting;
        return;
      }
      if (!more_) more_ = std::make_unique<std::vector<uint32_t>>();
      more_->push_back(waiting);
    }
    template <typename Visit>
    void ForEach(Visit visit) const {
      if (first_ == kNone) return;
      visit(first_);
      if (more_) {
        for (uint32_t waiting : *more_) visit(waiting);
      }
    }

   private:
    static constexpr uint32_t kNone = UINT32_MAX;
    uint32_t first_ = kNone;
    std::unique_ptr<std::vector<uint32_t>> more_;
  };

  // What the plan keeps of a line, at the line's position in the collection.
  struct Entry {
    RunLine* line = nullptr;
    // The waits of a waiting line that are not over: one for each entry of its wait list
    // naming a line that is not over, and one for each such entry's repeat copy not over.
    int32_t open = 0;
    // The waiting lines whose wait list names this line, once per naming entry: they wait
    // for it and, once it is repeated, for its copies.
    Waiters named_by;
  };

  // Takes in the line just appended to the collection.
  void Add(RunLine& line);
  // Counts the open waits of the waiting line at `waiting` and notes it with the lines
  // it names.
  void WaitFor(uint32_t waiting);
  uint32_t Index(const RunLine& line) const { return *Find(line); }
  std::optional<uint32_t> Find(const RunLine& line) const;
  // The entry of the line named by `number` in a wait list; null when none is.
  Entry* Named(int32_t number);
  // The waiting line at `waiting` has `count` more waits not over, or fewer when negative.
  void Open(uint32_t waiting, int32_t count);
  // The line leaves waiting or running for `state`, which is over.
  void End(RunLine& line, LineState state);
  // Skips every line named by the list, and every repeat copy of such a line, that waits.
  void Skip(const JobLineRefs& list, std::vector<RunLine*>& skipped);
  // Appends a repeat copy of every line the list names (twice for a line named twice)
  // that its repeat limit allows, and marks those lines Repeated; `ended` is the line whose
  // end made them.
  Status Repeat(const JobLineRefs& list, const RunLine& ended, Consequences& consequences);

  RunLines& lines_;
  const int32_t maximum_;
  // Positions of a set of entries, one bit each: a plan of many thousand lines keeps
  // nearly all of them ready at its start.
  class Positions {
   public:
    void Insert(uint32_t at);
    void Erase(uint32_t at);
    // The first position at or behind `from` in the set; none when there is none.
    std::optional<uint32_t> Next(uint32_t from) const;

   private:
    std::vector<uint64_t> words_;
    // No word before this one has a position in it.
    mutable size_t first_word_ = 0;
  };

  // In collection order, which is the order the lines were added in.
  std::vector<Entry> entries_;
  // Waiting lines with a program and no open wait, and running lines, by position.
  Positions ready_;
  std::set<uint32_t> running_;
  int32_t waiting_ = 0;
  // Waiting lines by the numbers of their wait lists that name no line yet: a repeat copy
  // may take such a number.
  std::unordered_map<int32_t, std::vector<uint32_t>> unnamed_;
  // Repeat copies made, by the job's line they count for.
  std::unordered_map<const RunLine*, int32_t> copies_made_;
  // Waiting repeat copies that may not start before their time.
  std::unordered_map<const RunLine*, TimePoint> not_before_;
};

}  // namespace jr
