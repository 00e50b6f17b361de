// Local time texts through the platform's conversions, in the C locale the tests run in.

#include "platform/local_time.h"

#include <gtest/gtest.h>

#include "model/time_text.h"

namespace jr {
namespace {

TEST(LocalTime, ReadsTheTimeTextWholeOrNotAtAll) {
  std::optional<std::tm> time = ParseLocalTime("2003 Mar 07 14:05:09", "%Y %b %d %H:%M:%S");
  ASSERT_TRUE(time.has_value());
  EXPECT_EQ(time->tm_year, 103);
  EXPECT_EQ(time->tm_mon, 2);
  EXPECT_EQ(time->tm_mday, 7);
  EXPECT_EQ(time->tm_hour, 14);
  EXPECT_EQ(time->tm_min, 5);
  EXPECT_EQ(time->tm_sec, 9);
  EXPECT_EQ(time->tm_isdst, -1);

  // Month names compare without regard to case; the full name is read as well.
  EXPECT_TRUE(ParseLocalTime("2003 mar 07 14:05:09", "%Y %b %d %H:%M:%S").has_value());
  time = ParseLocalTime("2003 December 31 23:59:59", "%Y %b %d %H:%M:%S");
  ASSERT_TRUE(time.has_value());
  EXPECT_EQ(time->tm_mon, 11);

  EXPECT_FALSE(ParseLocalTime("2003 Mar 07 14:05:09 x", "%Y %b %d %H:%M:%S").has_value());
  EXPECT_FALSE(ParseLocalTime("2003 Mrz 07 14:05:09", "%Y %b %d %H:%M:%S").has_value());
  EXPECT_FALSE(ParseLocalTime("2003 Mar 07 24:05:09", "%Y %b %d %H:%M:%S").has_value());
  EXPECT_FALSE(ParseLocalTime("2003 Mar 07 14:05", "%Y %b %d %H:%M:%S").has_value());
  EXPECT_FALSE(ParseLocalTime("", "%Y %b %d %H:%M:%S").has_value());
}

TEST(LocalTime, TimeTextsSurviveTheRoundTrip) {
  const TimePoint time = std::chrono::system_clock::from_time_t(1047045909);  // March 2003
  const std::string text = FormatTimeText(time);
  ASSERT_EQ(text.size(), 20u);
  EXPECT_EQ(text.substr(0, 9), "2003 Mar ");
  EXPECT_EQ(ParseTimeText(text), time);
  EXPECT_EQ(FormatRunTimestamp(time).substr(0, 7), "2003030");
  EXPECT_EQ(FormatRunTimestamp(time).size(), 15u);
}

}  // namespace
}  // namespace jr
