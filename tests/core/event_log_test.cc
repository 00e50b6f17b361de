// The event log file of $JOBRUNNER_EVENT_LOG, as collectors and acceptance checks read it.

#include "platform/event_log.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <sstream>
#include <thread>

#include "support/report_fakes.h"
#include "support/test_paths.h"

namespace jr {
namespace {

class EventLogSinkTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("JOBRUNNER_EVENT_LOG", file_.c_str(), 1); }
  void TearDown() override { unsetenv("JOBRUNNER_EVENT_LOG"); }

  test::TempDir dir_;
  const std::string file_ = dir_.File("events.log");
};

TEST_F(EventLogSinkTest, OnlyLineBreaksAreEscapedAndEveryEntryEndsItsLine) {
  std::unique_ptr<EventLogSink> sink = MakeSystemEventLogSink();
  EXPECT_EQ(sink->Write("Extraction Job Runner", 1, 0, 1, "a\rb\nc\r\nd\te\\f"), 0);
  EXPECT_EQ(sink->Write("Extraction Job Runner", 4, 7, 70000, ""), 0);
  EXPECT_EQ(report_test::ReadFile(file_),
            "Extraction Job Runner\t1\t0\t1\ta\\rb\\nc\\r\\nd\te\\f\n"
            "Extraction Job Runner\t4\t7\t70000\t\n");
}

TEST_F(EventLogSinkTest, EntriesOfRunsEndingTogetherDoNotInterleave) {
  const std::string long_text(3000, 'm');
  const int kWriters = 4, kEntries = 100;
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&, w] {
      std::unique_ptr<EventLogSink> sink = MakeSystemEventLogSink();
      for (int i = 0; i < kEntries; ++i) {
        sink->Write("Extraction Job Runner", 4, 0, 1, std::to_string(w) + long_text);
      }
    });
  }
  for (std::thread& writer : writers) writer.join();

  std::istringstream lines(report_test::ReadFile(file_));
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    ++count;
    EXPECT_EQ(line.size(), std::string("Extraction Job Runner\t4\t0\t1\t").size() + 3001);
  }
  EXPECT_EQ(count, kWriters * kEntries);
}

}  // namespace
}  // namespace jr
