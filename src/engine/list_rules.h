#pragma once
// Job-line lists ("10,20") and what the wait, skip and repeat lists do during a run.
//
// Every procedure that reads a list can fail: an entry whose number lies outside
// -kHighestJobLineNr..kHighestJobLineNr, or a repeat copy that would need a number above
// kHighestJobLineNr. Such a failure ends the scheduler; the procedures return it, its
// message naming the entry, and leave the rest of the list unapplied.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/run_lines.h"
#include "model/job_rules.h"
#include "platform/status.h"

namespace jr {

// The entries of a list, each as the number it names: entries are cut at the commas as
// they stand; an entry's value is the number at its start, rounded half to even; an entry
// without a number is 0. An empty or blank list has no entries. Fails when an entry lies
// outside the range above.
Result<std::vector<int32_t>> ParseJobLineList(std::string_view list);

// True when every line named by the wait list is over, and, for a named line that has
// been repeated, every repeat copy of it too. Entries naming no line are passed over.
// Fails when the list cannot be read.
Result<bool> WaitListSatisfied(const RunLine& line, const RunLines& collection);

// Skips every line named by the list, and every repeat copy of such a line, that is
// neither running nor over. `skipped` (may be null) receives the lines skipped, in order.
Status SkipJobLines(std::string_view list, RunLines& collection, std::vector<RunLine*>* skipped);

struct RepeatCopyMade {
  RunLine* original;
  RunLine* copy;
};

// Appends a repeat copy of every line the list names (twice for a line named twice) and
// marks those lines Repeated. `made` (may be null) receives the copies in order.
Status RepeatJobLines(RunLines& collection, std::string_view list,
                      std::vector<RepeatCopyMade>* made);

// Applies a non-blank list through RepeatJobLines; true when it was applied, whether or
// not an entry named a line. A blank list is not applied.
Result<bool> ApplyRepeatList(std::string_view list, RunLines& collection,
                             std::vector<RepeatCopyMade>* made);

struct LineThatCannotStart {
  RunLine* line;
  std::string reason;
};

// The waiting lines that can never start, in collection order, with a reason each: lines
// without a program, every waiting line when `maximum` is below 1, and lines whose wait
// list waits for themselves through other lines. A line that only waits for such lines is
// not among them: once they are ended as failed starts they are over, and it may start. A
// running line counts as one that will end. Fails when a list cannot be read.
Result<std::vector<LineThatCannotStart>> LinesThatCanNeverStart(const RunLines& collection,
                                                                int32_t maximum);

}  // namespace jr
