#include "engine/list_rules.h"

#include <gtest/gtest.h>

namespace jr {
namespace {

using Numbers = std::vector<int32_t>;

clsJobLine& Add(clsJobLines& lines, int32_t number, std::string precedence = "") {
  clsJobLine& line = *lines.Add(number);
  line.setProgramExecuter("/bin/true");
  line.setPrecedence(std::move(precedence));
  return line;
}

TEST(JobLineLists, EntriesAreCutAtCommasReadFromTheirStartAndRoundedHalfToEven) {
  const std::pair<const char*, Numbers> readable[] = {
      {"  ", {}},
      {"10, 20 ,30", {10, 20, 30}},
      {"10,", {10, 0}},  // a trailing comma ends in an empty entry
      {"abc,20x,3 0,-5", {0, 20, 30, -5}},
      {"10.5,11.5,12.6,1e1", {10, 12, 13, 10}},
      {"999999,-999999", {999999, -999999}},
  };
  Numbers numbers;
  std::string failure;
  for (const auto& [list, expected] : readable) {
    numbers.clear();
    EXPECT_TRUE(ParseJobLineList(list, &numbers, &failure) && numbers == expected) << list;
  }
  for (const char* beyond : {"10,1000000", "999999.5", "1e400"}) {
    failure.clear();
    EXPECT_FALSE(ParseJobLineList(beyond, &numbers, &failure)) << beyond;
    EXPECT_FALSE(failure.empty());
  }
}

TEST(JobLineLists, TheWaitRuleWaitsForNamedLinesAndTheCopiesOfRepeatedOnes) {
  clsJobLines lines;
  clsJobLine& l10 = Add(lines, 10);
  clsJobLine& l20 = Add(lines, 20);
  clsJobLine& l30 = Add(lines, 30, "10,20, 99");
  std::string failure;
  EXPECT_TRUE(WaitListSatisfied(Add(lines, 40, "99,7"), lines, &failure)) << "names no line";
  l10.setAlreadyRun(true);
  l20.setIsRunning(true);
  EXPECT_FALSE(WaitListSatisfied(l30, lines, &failure));
  l20.setAlreadyRun(true);
  l20.setIsSkipped(true);
  EXPECT_TRUE(WaitListSatisfied(l30, lines, &failure)) << "over, whatever the outcome";

  ASSERT_TRUE(RepeatJobLines(lines, "10,10", nullptr, &failure));
  EXPECT_FALSE(WaitListSatisfied(l30, lines, &failure));
  lines.Line(50)->setAlreadyRun(true);
  EXPECT_FALSE(WaitListSatisfied(l30, lines, &failure)) << "the second copy still waits";
  lines.Line(60)->setAlreadyRun(true);
  EXPECT_TRUE(WaitListSatisfied(l30, lines, &failure));
  EXPECT_EQ(failure, "");

  l30.setPrecedence("10,1234567");
  EXPECT_FALSE(WaitListSatisfied(l30, lines, &failure));
  EXPECT_FALSE(failure.empty());
}

TEST(JobLineLists, SkippingTakesWaitingLinesAndTheirCopiesOnly) {
  clsJobLines lines;
  clsJobLine& l60 = Add(lines, 60);
  clsJobLine& l70 = Add(lines, 70);
  clsJobLine& l80 = Add(lines, 80);
  l70.setIsRunning(true);
  l80.setAlreadyRun(true);
  std::string failure;
  ASSERT_TRUE(RepeatJobLines(lines, "60", nullptr, &failure));
  clsJobLine* copy = lines.Line(90);

  std::vector<clsJobLine*> skipped;
  ASSERT_TRUE(SkipJobLines("60,70,80,", lines, &skipped, &failure));
  EXPECT_EQ(skipped, (std::vector<clsJobLine*>{&l60, copy}));
  EXPECT_TRUE(l60.AlreadyRun() && l60.IsSkipped() && copy->IsSkipped());
  EXPECT_TRUE(l70.IsRunning() && !l70.IsSkipped() && !l80.IsSkipped());
}

TEST(JobLineLists, RepeatsAppendCopiesTenApartAndReportWhetherApplied) {
  clsJobLines lines;
  clsJobLine& l10 = Add(lines, 10);
  Add(lines, 25);
  std::vector<RepeatCopyMade> made;
  std::string failure;
  bool applied = true;
  ASSERT_TRUE(ApplyRepeatList("   ", lines, applied, &made, &failure));
  EXPECT_FALSE(applied);
  ASSERT_TRUE(ApplyRepeatList("abc", lines, applied, &made, &failure));
  EXPECT_TRUE(applied) << "applied although it names no line";
  ASSERT_TRUE(ApplyRepeatList("10, 10,77", lines, applied, &made, &failure));
  ASSERT_EQ(made.size(), 2u);
  EXPECT_EQ(made[0].copy->JobLineNr(), 35);
  EXPECT_EQ(made[1].copy->JobLineNr(), 45);
  EXPECT_TRUE(made[1].original == &l10 && l10.Repeated());

  Add(lines, 999990);
  EXPECT_FALSE(RepeatJobLines(lines, "10", nullptr, &failure)) << "would be 1000000";
  EXPECT_NE(failure.find("1000000"), std::string::npos);
  EXPECT_EQ(lines.Count(), 5);
}

std::vector<std::string> CannotStart(const clsJobLines& lines, int32_t maximum) {
  std::vector<LineThatCannotStart> blocked;
  std::string failure;
  EXPECT_TRUE(LinesThatCanNeverStart(lines, maximum, &blocked, &failure)) << failure;
  std::vector<std::string> texts;
  for (const auto& [line, reason] : blocked) {
    texts.push_back(std::to_string(line->JobLineNr()) + ": " + reason);
  }
  return texts;
}

TEST(JobLineLists, LinesThatCanNeverStartAreFoundWithTheirReason) {
  clsJobLines lines;
  Add(lines, 5).setIsRunning(true);
  Add(lines, 10, "5");
  Add(lines, 20).setProgramExecuter("");
  Add(lines, 30, "20");
  Add(lines, 40, "50");
  Add(lines, 50, "40");
  Add(lines, 60, "60");
  Add(lines, 70, "10,40");
  // 80 and 90 wait for each other, 80 also for 40 of the other cycle.
  Add(lines, 80, "40,90");
  Add(lines, 90, "80");
  EXPECT_EQ(CannotStart(lines, 2), (std::vector<std::string>{
                                       "20: it has no program to start",
                                       "40: its wait list waits for itself through job line 50",
                                       "50: its wait list waits for itself through job line 40",
                                       "60: its wait list waits for itself",
                                       "80: its wait list waits for itself through job line 90",
                                       "90: its wait list waits for itself through job line 80",
                                   }));
  const std::vector<std::string> below_one = CannotStart(lines, 0);
  EXPECT_EQ(below_one.size(), 9u) << "every waiting line";
  EXPECT_EQ(below_one[0],
            "10: the maximum number of job lines running at the same time is 0, below 1");

  // A long chain listed backwards is no cycle; closing it makes one.
  clsJobLines chain;
  for (int32_t number = 5000; number >= 1; --number) {
    Add(chain, number, number > 1 ? std::to_string(number - 1) : "");
  }
  EXPECT_TRUE(CannotStart(chain, 1).empty());
  chain.Line(1)->setPrecedence("5000");
  EXPECT_EQ(CannotStart(chain, 1).size(), 5000u);
}

}  // namespace
}  // namespace jr
