#pragma once
// A job line as the user defines it, with typed fields. The editor's table and the job
// file hold the same line as text; they convert at their edges.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/job_line_table.h"
#include "platform/status.h"

namespace jr {

// A list of job-line numbers ("10,20"): read once into its entries, the text kept as it
// was typed so that it is written back unchanged. A run keeps a definition of every line
// and most lines' lists are empty: an empty list holds nothing but a null pointer.
class JobLineRefs {
 public:
  JobLineRefs() = default;
  JobLineRefs(std::string text, std::vector<int32_t> numbers = {});
  JobLineRefs(const JobLineRefs& other);
  JobLineRefs& operator=(const JobLineRefs& other);
  JobLineRefs(JobLineRefs&&) = default;
  JobLineRefs& operator=(JobLineRefs&&) = default;

  const std::string& text() const;
  const std::vector<int32_t>& numbers() const;
  bool empty() const { return numbers().empty(); }
  friend bool operator==(const JobLineRefs& a, const JobLineRefs& b) {
    return a.text() == b.text() && a.numbers() == b.numbers();
  }

 private:
  struct Held {
    std::string text;
    std::vector<int32_t> numbers;
  };
  std::unique_ptr<const Held> held_;
};

// Reads a list: entries are cut at the commas as they stand; an entry's value is the
// number at its start, rounded half to even; an entry without a number is 0. An empty or
// blank list has no entries. Fails, naming the entry, when an entry lies outside
// -kHighestJobLineNr..kHighestJobLineNr. Reads the same in every locale.
Result<JobLineRefs> ReadJobLineRefs(std::string_view text);

// Every field has an initializer, so that a line is written with only the fields it needs.
struct JobLine {
  int32_t number = 0;
  std::string description{};
  // The program's type as the catalogue names it ("User Batchfile", ...).
  std::string type{};
  // The user's own options, as typed.
  std::string options{};
  JobLineRefs wait_for{};
  JobLineRefs skip_on_error{};
  JobLineRefs skip_on_success{};
  JobLineRefs repeat_on_error{};
  JobLineRefs repeat_on_success{};
  bool active = true;
  bool stop_on_error = false;
  // The longest time the program may run, in seconds; 0 for no limit.
  int32_t time_limit = 0;
  // Seconds a repeat copy of the line waits after the line whose end made it; 0 for none.
  int32_t repeat_delay = 0;
  // The most repeat copies of the line in one run; 0 when not set (kDefaultRepeatLimit).
  int32_t repeat_limit = 0;
  // A user script's file, and the log and status files it is given; empty for the
  // catalogue's programs.
  std::string batch_file{};
  std::string log_file{};
  std::string status_file{};

  friend bool operator==(const JobLine&, const JobLine&) = default;
};

// Row `row` of `table` as a job line, read as a run reads it: the number as the editor
// lets it be typed (see ParseJobLineNr), each list with ReadJobLineRefs, the time limit
// with ParseTimeLimit (blank: no limit), the repeat delay and limit with ParseRepeatDelay
// and ParseRepeatLimit, active and stop on error only for "true". Fails naming the row or
// the line and the fault: a number, a list entry, a time limit or a repeat setting that
// does not read (only a hand-edited file holds one). Lists and texts keep their text.
Result<JobLine> JobLineAt(const JobLineTable& table, int row);

// A row of a job-line table read once, as a run reads it: whether it is active and its
// number are known even when the rest of the line does not read.
struct JobLineRow {
  int row = 0;
  // The active cell holds exactly "true".
  bool active = false;
  // The number as the editor lets it be typed (see JobLineNumberOf); none for anything else.
  std::optional<int32_t> number{};
  // The number cell as it stands when the number does not read, for the message; empty
  // when it reads.
  std::string number_text{};
  // The whole line (see JobLineAt), or why it does not read.
  Result<JobLine> line{};
};

// Row `row` of `table`, read as a run reads it.
JobLineRow ReadJobLineRow(const JobLineTable& table, int row);

// The first `row_count` rows of `table` (no more than it holds), in table order, each read
// once. Reading never fails as a whole: a row that does not read says so in its `line`.
std::vector<JobLineRow> ReadJobLineRows(const JobLineTable& table, int row_count);

// What a run of the first `row_count` rows of `table` passes over in the job-line lists of
// the lines it takes (active, the first of their number, read whole), each a clause that
// names the line, the list and the entry: an entry that names no line of the job, one that
// holds more than digits (a letter, an inner blank, a sign: the list reading takes what it
// can and passes over the rest), and a wait entry that names the line itself. Blank entries
// are passed over, as the editor passes over them. `job line 20: wait entry "1O" is read as
// 1, which names no line of the job; the line will not wait for it`.
std::vector<std::string> JobLineListWarnings(const JobLineTable& table, int row_count);

// Writes `line` into row `row` of `table`, growing its job lines to hold the row. Lists
// are written as their text. Every cell gets a value but the time limit and the repeat
// settings, which have none when not set (the job file then writes no attribute for them).
void SetJobLine(JobLineTable& table, int row, const JobLine& line);

// Writes `line` into a new row behind the job's lines; returns the row.
inline int AppendJobLine(JobLineTable& table, const JobLine& line) {
  const int row = table.LineCount();
  SetJobLine(table, row, line);
  return row;
}

}  // namespace jr
