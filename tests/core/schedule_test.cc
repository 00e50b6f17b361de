// The schedule's rules without systemd: the attributes, the calendar of days off, and
// systemd-analyze's answer as it reads in a UTC zone (the end-to-end tests read it in others).

#include "model/schedule.h"

#include <gtest/gtest.h>

#include "platform/systemd_calendar.h"

namespace jr {
namespace {

TEST(Schedule, AttributesAndCalendarLinesReadAsARunReadsThem) {
  EXPECT_EQ(std::vector(
                {ParseCatchUp("").value, ParseCatchUp(" FALSE ").value, ParseCatchUp("yes").ok()}),
            std::vector({true, false, false}));
  EXPECT_EQ(
      std::vector({ParseRandomDelay("").value, ParseRandomDelay("86400").value,
                   ParseRandomDelay("86401").ok() ? 1 : -1, ParseRandomDelay("-1").ok() ? 1 : -1}),
      std::vector({0, 86400, -1, -1}));
  const Result<DaysOff> days =
      DaysOff::Parse("2028-02-29\r\n # comment\n\n2000-02-29 .. 2000-03-01 # leap\n", "c");
  ASSERT_TRUE(days.ok()) << days.message();
  for (const auto& [date, off] : {std::pair{"2028-02-29", true},
                                  {"2000-03-01", true},
                                  {"2000-02-28", false},
                                  {"2000-03-02", false}}) {
    EXPECT_EQ(days.value.Contains(date), off) << date;
  }
  for (const char* wrong :
       {"2100-02-29", "2026-04-31", "2026-1-01", "2026-01-01..", "24.12.2026"}) {
    EXPECT_EQ(DaysOff::Parse(std::string("# x\n") + wrong, "c").message(),
              "c: line 2: \"" + std::string(wrong) +
                  "\" is no date YYYY-MM-DD or range of dates YYYY-MM-DD..YYYY-MM-DD");
  }
}

TEST(Schedule, SystemdsAnswerInAUtcZone) {
  const CalendarReading read = ParseCalendarOutput(
      "  Original form: daily\nNormalized form: *-*-* 00:00:00\n    Next elapse: Wed 2026-12-09 "
      "00:00:00 UTC\n       From now: 15h left\n       Iter. #2: Mon 2100-03-01 02:30:00 UTC\n",
      0);
  EXPECT_EQ(read.kind, CalendarReading::Kind::kElapses);
  EXPECT_EQ(read.normalized, "*-*-* 00:00:00");
  EXPECT_EQ(read.elapses, (std::vector<std::time_t>{1796774400, 4107551400}));
  EXPECT_EQ(
      ParseCalendarOutput("Normalized form: 2020-01-01 00:00:00\n    Next elapse: never\n", 0).kind,
      CalendarReading::Kind::kNever);
  const CalendarReading refused = ParseCalendarOutput("Failed to parse: x\n", 1);
  EXPECT_EQ(std::pair(refused.kind, refused.words),
            std::pair(CalendarReading::Kind::kRefused, std::string("Failed to parse: x")));
}

}  // namespace
}  // namespace jr
