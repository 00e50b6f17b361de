#include "engine/list_rules.h"

#include <gtest/gtest.h>

namespace jr {
namespace {

using Numbers = std::vector<int32_t>;

RunLine& Add(RunLines& lines, int32_t number, std::string precedence = "") {
  RunLine& line = *lines.Add(number);
  line.setProgramExecuter("/bin/true");
  line.setPrecedence(std::move(precedence));
  return line;
}

TEST(JobLineLists, EntriesAreCutAtCommasReadFromTheirStartAndRoundedHalfToEven) {
  const std::pair<const char*, Numbers> readable[] = {
      {"  ", {}},
      {"10, 20 ,30", {10, 20, 30}},
      {"abc,20x,3 0,-5", {0, 20, 30, -5}},
      {"10.5,11.5,12.6,999999", {10, 12, 13, 999999}},
  };
  for (const auto& [list, expected] : readable) {
    const Result<Numbers> numbers = ParseJobLineList(list);
    EXPECT_TRUE(numbers.ok() && numbers.value == expected) << list;
  }
  for (const char* beyond : {"10,1000000", "999999.5"}) {
    EXPECT_FALSE(ParseJobLineList(beyond).ok()) << beyond;
  }
}

TEST(JobLineLists, TheWaitRuleWaitsForNamedLinesAndEveryCopyOfRepeatedOnes) {
  RunLines lines;
  Add(lines, 10).setAlreadyRun(true);
  RunLine& l30 = Add(lines, 30, "10, 99");
  EXPECT_TRUE(WaitListSatisfied(l30, lines).value) << "99 names no line";
  ASSERT_TRUE(RepeatJobLines(lines, "10,10", nullptr).ok());
  lines.Line(40)->setAlreadyRun(true);
  EXPECT_FALSE(WaitListSatisfied(l30, lines).value) << "the second copy still waits";
  lines.Line(50)->setAlreadyRun(true);
  EXPECT_TRUE(WaitListSatisfied(l30, lines).value);
}

std::vector<std::string> CannotStart(const RunLines& lines, int32_t maximum) {
  const Result<std::vector<LineThatCannotStart>> blocked = LinesThatCanNeverStart(lines, maximum);
  EXPECT_TRUE(blocked.ok()) << blocked.message();
  std::vector<std::string> texts;
  for (const auto& [line, reason] : blocked.value) {
    texts.push_back(std::to_string(line->JobLineNr()) + ": " + reason);
  }
  return texts;
}

TEST(JobLineLists, LinesThatCanNeverStartAreFoundWithTheirReason) {
  RunLines lines;
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

  // A long chain listed backwards is no cycle; closing it makes one.
  RunLines chain;
  for (int32_t number = 5000; number >= 1; --number) {
    Add(chain, number, number > 1 ? std::to_string(number - 1) : "");
  }
  EXPECT_TRUE(CannotStart(chain, 1).empty());
  chain.Line(1)->setPrecedence("5000");
  EXPECT_EQ(CannotStart(chain, 1).size(), 5000u);
}

}  // namespace
}  // namespace jr
