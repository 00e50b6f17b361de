#pragma once
// A job line as the user defines it, with typed fields. The editor's table and the job
// file hold the same line as text; they convert at their edges.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace jr {

// A list of job-line numbers ("10,20"): read once into its entries, the text kept as it
// was typed so that it is written back unchanged.
struct JobLineRefs {
  std::string text;
  std::vector<int32_t> numbers;

  bool empty() const { return numbers.empty(); }
  friend bool operator==(const JobLineRefs&, const JobLineRefs&) = default;
};

// Reads a list: entries are cut at the commas as they stand; an entry's value is the
// number at its start, rounded half to even; an entry without a number is 0. An empty or
// blank list has no entries. Fails, naming the entry, when an entry lies outside
// -kHighestJobLineNr..kHighestJobLineNr. Reads the same in every locale.
Result<JobLineRefs> ReadJobLineRefs(std::string_view text);

struct JobLine {
  int32_t number = 0;
  std::string description;
  // The program's type as the catalogue names it ("User Batchfile", ...).
  std::string type;
  // The user's own options, as typed.
  std::string options;
  JobLineRefs wait_for;
  JobLineRefs skip_on_error;
  JobLineRefs skip_on_success;
  JobLineRefs repeat_on_error;
  JobLineRefs repeat_on_success;
  bool active = true;
  bool stop_on_error = false;
  // The longest time the program may run, in seconds; 0 for no limit.
  int32_t time_limit = 0;
  // A user script's file, and the log and status files it is given; empty for the
  // catalogue's programs.
  std::string batch_file;
  std::string log_file;
  std::string status_file;

  friend bool operator==(const JobLine&, const JobLine&) = default;
};

}  // namespace jr
