#pragma once
// Job-line lists ("10,20") and what the wait, skip and repeat lists do during a run.
//
// Every procedure that reads a list can fail: an entry whose number lies outside
// -kHighestJobLineNr..kHighestJobLineNr, or a repeat copy that would need a number above
// kHighestJobLineNr. Such a failure ends the scheduler; the procedures report it as false
// (or through `failure`) and leave the rest of the list unapplied.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/job_lines.h"
#include "model/job_rules.h"

namespace jr {

// The entries of a list, each as the number it names: entries are cut at the commas as
// they stand; an entry's value is the number at its start, rounded half to even; an entry
// without a number is 0. An empty or blank list has no entries. False with `failure` set
// when an entry lies outside the range above.
bool ParseJobLineList(std::string_view list, std::vector<int32_t>* numbers, std::string* failure);

// True when every line named by the wait list is over, and, for a named line that has
// been repeated, every repeat copy of it too. Entries naming no line are passed over.
// False with `failure` set when the list cannot be read.
bool WaitListSatisfied(const clsJobLine& line, const clsJobLines& collection, std::string* failure);

// Skips every line named by the list, and every repeat copy of such a line, that is
// neither running nor over. `skipped` (may be null) receives the lines skipped, in order.
bool SkipJobLines(std::string_view list, clsJobLines& collection, std::vector<clsJobLine*>* skipped,
                  std::string* failure);

struct RepeatCopyMade {
  clsJobLine* original;
  clsJobLine* copy;
};

// Appends a repeat copy of every line the list names (twice for a line named twice) and
// marks those lines Repeated. `made` (may be null) receives the copies in order.
bool RepeatJobLines(clsJobLines& collection, std::string_view list,
                    std::vector<RepeatCopyMade>* made, std::string* failure);

// Applies a non-blank list through RepeatJobLines and sets `applied`, whether or not an
// entry named a line. A blank list is not applied.
bool ApplyRepeatList(std::string_view list, clsJobLines& collection, bool& applied,
                     std::vector<RepeatCopyMade>* made, std::string* failure);

struct LineThatCannotStart {
  clsJobLine* line;
  std::string reason;
};

// The waiting lines that can never start, in collection order, with a reason each: lines
// without a program, every waiting line when `maximum` is below 1, and lines whose wait
// list waits for themselves through other lines. A line that only waits for such lines is
// not among them: once they are ended as failed starts they are over, and it may start. A
// running line counts as one that will end. False with `failure` set when a list cannot
// be read.
bool LinesThatCanNeverStart(const clsJobLines& collection, int32_t maximum,
                            std::vector<LineThatCannotStart>* lines, std::string* failure);

}  // namespace jr
