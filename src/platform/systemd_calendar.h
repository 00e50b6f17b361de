#pragma once
// systemd's calendar expressions, read by systemd itself: `systemd-analyze calendar` says
// whether it takes an expression, its normalized form and when it elapses next, so that
// what the runner shows is exactly what a timer will do.

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace jr {

struct CalendarReading {
  enum class Kind {
    kElapses,  // `normalized` and `elapses` hold systemd's answer
    kNever,    // a valid expression that never elapses again
    kRefused,  // systemd refuses it: `words` are systemd's
    kNoTool,   // systemd-analyze is not there to ask
  };
  Kind kind = Kind::kNoTool;
  std::string normalized;
  std::vector<std::time_t> elapses;  // seconds since 1970 UTC, in order
  std::string words;
};

// Asks systemd-analyze for the next `iterations` elapses of `expression`.
CalendarReading ReadCalendar(std::string_view expression, int iterations);

// The same from the output of `systemd-analyze calendar --iterations=N EXPRESSION` and its
// exit status: its "Iter." lines in local time, each followed by an "(in UTC)" line unless
// the local zone is UTC.
CalendarReading ParseCalendarOutput(std::string_view output, int exit_status);

// `seconds` as an ISO 8601 local time with its offset: "2026-12-24T02:30:00+01:00".
std::string IsoLocalText(std::time_t seconds);
// The local date of `seconds`: "2026-12-24".
std::string LocalDateText(std::time_t seconds);

}  // namespace jr
