#include "model/job_lines.h"

#include <gtest/gtest.h>
#include <locale.h>

#include "model/job_line.h"
#include "model/time_text.h"
#include "support/fakes.h"

namespace jr {
namespace {

std::vector<int32_t> Walk(const clsJobLines& lines) {
  std::vector<int32_t> numbers;
  for (const clsJobLine& line : lines) numbers.push_back(line.JobLineNr());
  return numbers;
}

TEST(JobLines, KeepsInsertionOrderAndRefusesATakenNumber) {
  clsJobLines lines;
  EXPECT_EQ(lines.Count(), 0);
  EXPECT_EQ(lines.HighestJobLineNr(), -1);
  EXPECT_EQ(lines.Line(10), nullptr);
  EXPECT_FALSE(lines.JobLineNrExists(10));

  clsJobLine* ten = lines.Add(10);
  ASSERT_NE(ten, nullptr);
  lines.Add(30);
  lines.Add(20);
  EXPECT_EQ(Walk(lines), (std::vector<int32_t>{10, 30, 20}));
  EXPECT_EQ(lines.HighestJobLineNr(), 30);
  EXPECT_EQ(lines.Item(2)->JobLineNr(), 30);
  EXPECT_EQ(lines.Item(0), nullptr);
  EXPECT_EQ(lines.Item(lines.Count() + 1), nullptr);
  EXPECT_EQ(lines.Line(10), ten);

  EXPECT_EQ(lines.Add(30), nullptr);
  EXPECT_EQ(lines.Count(), 3);
  // Numbers beyond 16 bits are held whole.
  ASSERT_NE(lines.Add(999999), nullptr);
  EXPECT_EQ(lines.Line(999999)->JobLineNr(), 999999);
  EXPECT_EQ(lines.Line(999999 - 65536), nullptr);
}

TEST(JobLines, DeleteNeverLowersTheHighestNumberAndClearResetsIt) {
  clsJobLines lines;
  lines.Add(10);
  lines.Add(30);
  lines.Add(20);
  EXPECT_TRUE(lines.Delete("30"));
  EXPECT_EQ(lines.HighestJobLineNr(), 30);
  EXPECT_FALSE(lines.JobLineNrExists(30));
  EXPECT_EQ(Walk(lines), (std::vector<int32_t>{10, 20}));
  ASSERT_NE(lines.Add(30), nullptr);
  EXPECT_EQ(Walk(lines), (std::vector<int32_t>{10, 20, 30}));

  EXPECT_TRUE(lines.Delete(1));
  EXPECT_EQ(Walk(lines), (std::vector<int32_t>{20, 30}));
  EXPECT_EQ(lines.Line(10), nullptr);
  // Missing keys and positions fail; the key is the plain decimal text.
  EXPECT_FALSE(lines.Delete("10"));
  EXPECT_FALSE(lines.Delete("020"));
  EXPECT_FALSE(lines.Delete("20 "));
  EXPECT_FALSE(lines.Delete(""));
  EXPECT_FALSE(lines.Delete(0));
  EXPECT_FALSE(lines.Delete(3));
  EXPECT_EQ(lines.Count(), 2);

  lines.Clear();
  EXPECT_EQ(lines.Count(), 0);
  EXPECT_EQ(lines.HighestJobLineNr(), -1);
  lines.Add(5);
  EXPECT_EQ(lines.HighestJobLineNr(), 5);
}

TEST(JobLines, AWalkReachesLinesAppendedDuringIt) {
  clsJobLines lines;
  lines.Add(10);
  lines.Add(20);
  std::vector<int32_t> seen;
  for (clsJobLine& line : lines) {
    seen.push_back(line.JobLineNr());
    // Each original line orders a copy of itself, as a repeat list does; copies order none.
    if (line.OriginalJobLineNr() == 0) {
      clsJobLine* copy = lines.Add(lines.HighestJobLineNr() + 10);
      copy->setOriginalJobLineNr(line.JobLineNr());
    }
  }
  EXPECT_EQ(seen, (std::vector<int32_t>{10, 20, 30, 40}));

  seen.clear();
  for (int i = 1; i <= lines.Count(); ++i) {
    seen.push_back(lines.Item(i)->JobLineNr());
    if (i == 4) lines.Add(50);
  }
  EXPECT_EQ(seen, (std::vector<int32_t>{10, 20, 30, 40, 50}));
}

TEST(JobLines, CopiesOfFollowsOriginalNumbersAndDeletes) {
  clsJobLines lines;
  lines.Add(10);
  lines.Add(20);
  clsJobLine* first = lines.Add(30);
  clsJobLine* second = lines.Add(40);
  first->setOriginalJobLineNr(10);
  second->setOriginalJobLineNr(10);
  EXPECT_EQ(lines.CopiesOf(10).size(), 2u);
  EXPECT_TRUE(lines.CopiesOf(20).empty());
  EXPECT_TRUE(lines.CopiesOf(0).empty());

  second->setOriginalJobLineNr(20);
  EXPECT_EQ(lines.CopiesOf(10), (std::vector<clsJobLine*>{first}));
  EXPECT_EQ(lines.CopiesOf(20), (std::vector<clsJobLine*>{second}));
  second->setOriginalJobLineNr(0);
  EXPECT_TRUE(lines.CopiesOf(20).empty());

  EXPECT_TRUE(lines.Delete("30"));
  EXPECT_TRUE(lines.CopiesOf(10).empty());
  // A line deleted by position leaves no dangling entry either.
  lines.Add(50)->setOriginalJobLineNr(20);
  EXPECT_TRUE(lines.Delete(lines.Count()));
  EXPECT_TRUE(lines.CopiesOf(20).empty());
  lines.Clear();
  EXPECT_TRUE(lines.CopiesOf(10).empty());
}

TEST(JobLines, LookupsFollowALineRenumberedAfterItWasAdded) {
  clsJobLines lines;
  clsJobLine* ten = lines.Add(10);
  clsJobLine* twenty = lines.Add(20);
  ten->setJobLineNr(15);
  EXPECT_EQ(lines.Line(15), ten);
  EXPECT_FALSE(lines.JobLineNrExists(10));
  // Its key stays "10": that key still deletes it and cannot be added again.
  EXPECT_EQ(lines.Add(10), nullptr);
  EXPECT_EQ(lines.Add(15), nullptr);

  // Two lines sharing a number: the earlier added one is found first.
  twenty->setJobLineNr(15);
  EXPECT_EQ(lines.Line(15), ten);
  EXPECT_FALSE(lines.Delete("15"));
  EXPECT_TRUE(lines.Delete("10"));
  EXPECT_EQ(lines.Line(15), twenty);
  EXPECT_EQ(lines.HighestJobLineNr(), 20);
}

TEST(JobLine, StartsEmptyAndStampsTimesFromItsClock) {
  test::FakeClock clock;
  JobLineServices services{&clock, nullptr};
  clsJobLines lines(services);
  clsJobLine* line = lines.Add(7);
  EXPECT_EQ(line->JobLineNr(), 7);
  EXPECT_EQ(line->ProcessId(), 0);
  EXPECT_EQ(line->OriginalJobLineNr(), 0);
  EXPECT_FALSE(line->AlreadyRun() || line->IsRunning() || line->IsSkipped() ||
               line->ErrorOccured() || line->Repeated() || line->StopOnError());
  EXPECT_EQ(line->StartingTime(), "");
  EXPECT_EQ(line->LogFileName(), "");
  EXPECT_EQ(line->MetadataLog(), nullptr);

  setlocale(LC_TIME, "C");
  line->SetStartingTime();
  clock.Advance(std::chrono::seconds(3661));
  line->SetStartingTime();
  EXPECT_EQ(line->StartingTime(), "2003 Mar 07 15:06:10");
  clock.Set(test::LocalTime(2003, 12, 31, 23, 59, 59));
  line->SetStopTime();
  EXPECT_EQ(line->StopTime(), "2003 Dec 31 23:59:59");
}

TEST(TimeText, ReadsBackWhatItWrites) {
  setlocale(LC_TIME, "C");
  const TimePoint time = test::LocalTime(2003, 3, 7, 14, 5, 9);
  EXPECT_EQ(FormatTimeText(time), "2003 Mar 07 14:05:09");
  EXPECT_EQ(FormatRunTimestamp(time), "20030307_140509");
  EXPECT_EQ(ParseTimeText("2003 Mar 07 14:05:09"), time);
  // Every month and both ends of the day survive the round trip.
  for (int month = 1; month <= 12; ++month) {
    for (auto [hour, minute, second] : {std::tuple{0, 0, 0}, std::tuple{23, 59, 59}}) {
      const TimePoint at = test::LocalTime(2024, month, 28, hour, minute, second);
      EXPECT_EQ(ParseTimeText(FormatTimeText(at)), at) << FormatTimeText(at);
    }
  }
  EXPECT_EQ(ParseTimeText(""), std::nullopt);
  EXPECT_EQ(ParseTimeText("yesterday"), std::nullopt);
  EXPECT_EQ(ParseTimeText("2003 Mar 07 14:05:09 and more"), std::nullopt);
  EXPECT_EQ(ParseTimeText("2003 Mar 07"), std::nullopt);
}

TEST(JobLine, LogProcessMetaDataPassesOutcomeTimesAndTheFixedArguments) {
  test::FakeClock clock;
  test::RecordingMetadataLogFactory metadata;
  clsJobLines lines(JobLineServices{&clock, &metadata});
  clsJobLine* line = lines.Add(10);
  line->setProgramType("Flow Runner");
  line->setLogFileName("/logs/run/SorelJob~1_10FlowRun_Log.txt");
  line->setJobID("20030307_140509");
  line->SetStartingTime();
  clock.Advance(std::chrono::seconds(90));
  line->SetStopTime();
  line->setErrorOccured(true);
  std::string error;
  ASSERT_TRUE(line->LogProcessMetaData(&error)) << error;
  line->setErrorOccured(false);
  ASSERT_TRUE(line->LogProcessMetaData(&error)) << error;

  ASSERT_EQ(metadata.entries().size(), 2u);
  const test::RecordedMetadataEntry& failed = metadata.entries()[0];
  EXPECT_EQ(failed.status, 3);
  EXPECT_EQ(metadata.entries()[1].status, 0);
  EXPECT_EQ(failed.log_file, "/logs/run/SorelJob~1_10FlowRun_Log.txt");
  EXPECT_EQ(failed.job_id, "20030307_140509");
  EXPECT_EQ(failed.start, test::LocalTime(2003, 3, 7, 14, 5, 9));
  EXPECT_EQ(failed.stop, test::LocalTime(2003, 3, 7, 14, 6, 39));

  const std::string m = "Missing";
  std::vector<MetadataValue> expected{int64_t{7}, std::string("Job Runner"),
                                      std::string("Flow Runner")};
  for (int i = 0; i < 12; ++i) expected.emplace_back(m);
  expected.emplace_back(int64_t{99});
  expected.emplace_back(m);
  expected.emplace_back(m);
  expected.emplace_back(2.0);
  expected.emplace_back(2.0);
  expected.emplace_back(-1.0);
  for (int i = 0; i < 5; ++i) expected.emplace_back(m);
  expected.emplace_back(int64_t{0});
  expected.emplace_back(int64_t{0});
  EXPECT_EQ(failed.arguments, expected);
  // Each call makes a new instance, and the line keeps the last one.
  EXPECT_EQ(metadata.create_count(), 2);
  EXPECT_NE(line->MetadataLog(), nullptr);
}

TEST(JobLine, LogProcessMetaDataReportsEveryFailureToItsCaller) {
  test::FakeClock clock;
  test::RecordingMetadataLogFactory metadata;
  clsJobLines lines(JobLineServices{&clock, &metadata});
  clsJobLine* line = lines.Add(10);
  std::string error;

  // No times yet: the start cannot be read back, and nothing is written.
  EXPECT_FALSE(line->LogProcessMetaData(&error));
  EXPECT_EQ(error, "start time \"\" cannot be read as a date");
  line->SetStartingTime();
  EXPECT_FALSE(line->LogProcessMetaData(&error));
  EXPECT_EQ(error, "stop time \"\" cannot be read as a date");
  EXPECT_TRUE(metadata.entries().empty());
  line->SetStopTime();

  metadata.set_fail_write(true);
  EXPECT_FALSE(line->LogProcessMetaData(&error));
  EXPECT_EQ(error, "recording metadata log told to fail writing");
  metadata.set_fail_create(true);
  EXPECT_FALSE(line->LogProcessMetaData(&error));
  EXPECT_EQ(error, "recording metadata log told to fail creation");
  EXPECT_EQ(line->MetadataLog(), nullptr);

  clsJobLine alone;
  EXPECT_FALSE(alone.LogProcessMetaData(&error));
  EXPECT_FALSE(alone.LogProcessMetaData());
}

}  // namespace
}  // namespace jr
