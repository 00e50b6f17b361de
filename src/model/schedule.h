#pragma once
// When a job runs: its schedule as the job file keeps it, and the calendar of days off on
// which an unattended run starts nothing. The calendar expression itself is systemd's; only
// systemd reads it (see platform/systemd_calendar.h).

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/status.h"

namespace jr {

// The schedule attributes of a job, as the file holds them; each empty one is not written.
struct ScheduleAttributes {
  std::string Schedule;     // a systemd calendar expression; empty: the job has no schedule
  std::string CatchUp;      // "true" or "false"; empty: true
  std::string RandomDelay;  // whole seconds; empty: none
  std::string Calendar;     // the file of days off; empty: none

  bool operator==(const ScheduleAttributes&) const = default;
};

inline constexpr int32_t kHighestRandomDelay = 86400;

// "true" or "false" in any letter case, blanks around it ignored; empty reads as true.
Result<bool> ParseCatchUp(std::string_view text);
// Whole seconds from 0 to kHighestRandomDelay; empty reads as 0.
Result<int32_t> ParseRandomDelay(std::string_view text);

// The faults of the attributes a job file keeps as they are (the expression is systemd's
// to judge), each a clause naming the attribute and its value.
std::vector<std::string> ScheduleFaults(const ScheduleAttributes& schedule);

// The days off of a calendar file: dates as "YYYY-MM-DD", which compare as text.
class DaysOff {
 public:
  // Reads a calendar's text: one date "YYYY-MM-DD" or a range "YYYY-MM-DD..YYYY-MM-DD" a
  // line, blanks around it ignored, "#" starting a comment, blank lines. Fails with the
  // first line that does not read, as `file: line N: ...`.
  static Result<DaysOff> Parse(std::string_view text, const std::string& file);

  bool Contains(std::string_view date) const;

 private:
  std::vector<std::pair<std::string, std::string>> ranges_;
};

}  // namespace jr
