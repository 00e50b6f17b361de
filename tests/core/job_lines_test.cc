#include "model/job_lines.h"

#include <gtest/gtest.h>
#include <locale.h>

#include "support/fakes.h"

namespace jr {
namespace {

std::vector<int32_t> Walk(const clsJobLines& lines) {
  std::vector<int32_t> numbers;
  for (const clsJobLine& line : lines) numbers.push_back(line.JobLineNr());
  return numbers;
}

TEST(JobLines, KeepsOrderRefusesTakenNumbersAndNeverLowersTheHighest) {
  clsJobLines lines;
  EXPECT_EQ(lines.HighestJobLineNr(), -1);
  for (int32_t number : {10, 30, 20}) lines.Add(number);
  EXPECT_EQ(lines.Item(2)->JobLineNr(), 30);
  EXPECT_EQ(lines.Item(0), nullptr);
  EXPECT_EQ(lines.Item(4), nullptr);
  EXPECT_EQ(lines.Add(30), nullptr);
  // Numbers beyond 16 bits are held whole and do not alias.
  ASSERT_NE(lines.Add(999999), nullptr);
  EXPECT_EQ(lines.Line(999999 - 65536), nullptr);

  EXPECT_TRUE(lines.Delete("999999"));
  EXPECT_TRUE(lines.Delete("30"));
  EXPECT_EQ(lines.HighestJobLineNr(), 999999);
  ASSERT_NE(lines.Add(30), nullptr);
  EXPECT_EQ(lines.HighestJobLineNr(), 999999) << "a lower number added later";
  EXPECT_TRUE(lines.Delete(1));
  EXPECT_EQ(Walk(lines), (std::vector<int32_t>{20, 30}));
  EXPECT_EQ(lines.Line(10), nullptr);
  for (const char* key : {"10", "020", "20 ", ""}) EXPECT_FALSE(lines.Delete(key)) << key;
  EXPECT_FALSE(lines.Delete(0));
  EXPECT_FALSE(lines.Delete(3));
  EXPECT_EQ(lines.Count(), 2);
  lines.Clear();
  EXPECT_EQ(lines.HighestJobLineNr(), -1);
}

TEST(JobLines, AWalkReachesLinesAppendedDuringIt) {
  clsJobLines lines;
  lines.Add(10);
  lines.Add(20);
  std::vector<int32_t> seen;
  for (clsJobLine& line : lines) {
    seen.push_back(line.JobLineNr());
    // Each line of the job orders a copy of itself, as a repeat list does.
    if (line.OriginalJobLineNr() == 0) {
      lines.Add(lines.HighestJobLineNr() + 10)->setOriginalJobLineNr(line.JobLineNr());
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

TEST(JobLines, IndexesFollowChangedNumbersAndDeletes) {
  clsJobLines lines;
  lines.Add(10);
  lines.Add(20);
  clsJobLine* first = lines.Add(30);
  clsJobLine* second = lines.Add(40);
  first->setOriginalJobLineNr(10);
  second->setOriginalJobLineNr(10);
  EXPECT_EQ(lines.CopiesOf(10).size(), 2u);
  second->setOriginalJobLineNr(20);
  EXPECT_EQ(lines.CopiesOf(10), (std::vector<clsJobLine*>{first}));
  EXPECT_EQ(lines.CopiesOf(20), (std::vector<clsJobLine*>{second}));
  EXPECT_TRUE(lines.Delete("30"));
  EXPECT_TRUE(lines.CopiesOf(10).empty());
  EXPECT_TRUE(lines.Delete(lines.Count()));
  EXPECT_TRUE(lines.CopiesOf(20).empty());

  // A line renumbered after it was added is found by its new number; its key stays.
  clsJobLine* ten = lines.Line(10);
  clsJobLine* twenty = lines.Line(20);
  ten->setJobLineNr(15);
  EXPECT_EQ(lines.Line(15), ten);
  EXPECT_FALSE(lines.JobLineNrExists(10));
  EXPECT_EQ(lines.Add(10), nullptr);
  // Two lines sharing a number: the earlier added one is found first.
  twenty->setJobLineNr(15);
  EXPECT_EQ(lines.Line(15), ten);
  EXPECT_TRUE(lines.Delete("10"));
  EXPECT_EQ(lines.Line(15), twenty);
}

TEST(JobLine, StampsItsTimesAndHandsTheRunDataToTheMetadataLogOrSaysWhyNot) {
  setlocale(LC_TIME, "C");
  test::FakeClock clock;
  test::RecordingMetadataLogFactory metadata;
  clsJobLines lines(JobLineServices{&clock, &metadata});
  clsJobLine* line = lines.Add(10);
  line->setProgramType("Flow Runner");
  line->setLogFileName("/logs/SorelJob~1_10FlowRun_Log.txt");
  line->setJobID("20030307_140509");
  EXPECT_EQ(line->LogProcessMetaData().message, "start time \"\" cannot be read as a date");
  line->SetStartingTime();
  EXPECT_EQ(line->StartingTime(), "2003 Mar 07 14:05:09");
  clock.Advance(std::chrono::seconds(90));
  line->SetStopTime();
  line->setErrorOccured(true);
  ASSERT_TRUE(line->LogProcessMetaData().ok());
  // The entry's own fields are checked against a real database elsewhere; here the
  // arguments in full.
  ASSERT_EQ(metadata.entries.size(), 1u);
  const std::string m = "Missing";
  std::vector<MetadataValue> expected{int64_t{7}, std::string("Job Runner"), "Flow Runner"};
  expected.insert(expected.end(), 12, m);
  expected.insert(expected.end(), {int64_t{99}, m, m, 2.0, 2.0, -1.0, m, m, m, m, m});
  expected.insert(expected.end(), {int64_t{0}, int64_t{0}});
  EXPECT_EQ(metadata.entries[0].arguments, expected);

  metadata.fail_write = true;
  EXPECT_EQ(line->LogProcessMetaData().message, "the metadata log cannot be written");
  metadata.fail_create = true;
  EXPECT_FALSE(line->LogProcessMetaData().ok());
  EXPECT_EQ(line->MetadataLog(), nullptr);
  EXPECT_FALSE(clsJobLine().LogProcessMetaData().ok());
}

}  // namespace
}  // namespace jr
