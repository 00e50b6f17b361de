// Local time texts through the platform's conversions, in the C locale the tests run in.

#include "platform/local_time.h"

#include <gtest/gtest.h>

#include "model/time_text.h"
#include "support/fakes.h"

namespace jr {
namespace {

TEST(LocalTime, ReadsTheTimeTextWholeOrNotAtAllAndRoundTrips) {
  const char* format = "%Y %b %d %H:%M:%S";
  std::optional<std::tm> time = ParseLocalTime("2003 mar 07 14:05:09", format);
  ASSERT_TRUE(time.has_value());
  EXPECT_EQ(std::vector<int>({time->tm_year, time->tm_mon, time->tm_mday, time->tm_hour,
                              time->tm_min, time->tm_sec, time->tm_isdst}),
            std::vector<int>({103, 2, 7, 14, 5, 9, -1}));
  for (const char* bad : {"2003 Mar 07 14:05:09 x", "2003 Mar 07 24:05:09"}) {
    EXPECT_FALSE(ParseLocalTime(bad, format).has_value()) << bad;
  }
  EXPECT_EQ(FormatRunTimestamp(test::LocalTime(2003, 3, 7, 15, 6, 10)), "20030307_150610");
  // Every month's name reads back, at either end of a day.
  for (int month = 1; month <= 12; ++month) {
    const TimePoint moment = test::LocalTime(2024, month, 28, month % 2 == 0 ? 0 : 23, 59, 59);
    EXPECT_EQ(ParseTimeText(FormatTimeText(moment)), moment) << FormatTimeText(moment);
  }
}

}  // namespace
}  // namespace jr
