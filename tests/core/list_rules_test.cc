#include "engine/list_rules.h"

#include <gtest/gtest.h>

namespace jr {
namespace {

std::vector<int32_t> Parse(std::string_view list) {
  std::vector<int32_t> numbers;
  std::string failure;
  EXPECT_TRUE(ParseJobLineList(list, &numbers, &failure)) << list;
  EXPECT_EQ(failure, "");
  return numbers;
}

clsJobLine& AddLine(clsJobLines& lines, int32_t number, std::string precedence = "") {
  clsJobLine* line = lines.Add(number);
  line->setProgramExecuter("/bin/prog" + std::to_string(number));
  line->setPrecedence(std::move(precedence));
  line->setStatusFileName("/run/R_" + std::to_string(number) + "Stat.txt");
  line->setLogFileName("/run/R_" + std::to_string(number) + "Log.txt");
  return *line;
}

void MarkOver(clsJobLine& line) { line.setAlreadyRun(true); }

TEST(JobLineListFormat, EntriesAreCutAtCommasAndReadFromTheirStart) {
  EXPECT_EQ(Parse(""), std::vector<int32_t>{});
  EXPECT_EQ(Parse("   "), std::vector<int32_t>{});
  EXPECT_EQ(Parse("10,20"), (std::vector<int32_t>{10, 20}));
  EXPECT_EQ(Parse("10, 20 ,30"), (std::vector<int32_t>{10, 20, 30}));
  EXPECT_EQ(Parse("10,"), (std::vector<int32_t>{10, 0}));
  EXPECT_EQ(Parse(",10"), (std::vector<int32_t>{0, 10}));
  EXPECT_EQ(Parse("abc"), std::vector<int32_t>{0});
  EXPECT_EQ(Parse("20x,3 0"), (std::vector<int32_t>{20, 30}));
  EXPECT_EQ(Parse("-5"), std::vector<int32_t>{-5});
}

TEST(JobLineListFormat, HalvesRoundToTheEvenNeighbour) {
  EXPECT_EQ(Parse("10.5,11.5,12.4,12.6"), (std::vector<int32_t>{10, 12, 12, 13}));
  EXPECT_EQ(Parse("1e1"), std::vector<int32_t>{10});
}

TEST(JobLineListFormat, EntriesBeyondTheJobLineNumbersFail) {
  std::vector<int32_t> numbers;
  std::string failure;
  EXPECT_TRUE(ParseJobLineList("999999,-999999", &numbers, &failure));
  EXPECT_FALSE(ParseJobLineList("10,1000000", &numbers, &failure));
  EXPECT_NE(failure.find("1000000"), std::string::npos);
  failure.clear();
  EXPECT_FALSE(ParseJobLineList("1e400", &numbers, &failure));
  EXPECT_FALSE(failure.empty());
  // 999999.5 rounds to the even 1000000.
  failure.clear();
  EXPECT_FALSE(ParseJobLineList("999999.5", &numbers, &failure));
}

TEST(WaitRule, WaitsForNamedLinesWhateverTheirOutcome) {
  clsJobLines lines;
  clsJobLine& l10 = AddLine(lines, 10);
  clsJobLine& l20 = AddLine(lines, 20);
  clsJobLine& l30 = AddLine(lines, 30, "10,20");
  clsJobLine& l40 = AddLine(lines, 40, "99, 7");
  std::string failure;

  EXPECT_TRUE(WaitListSatisfied(l10, lines, &failure)) << "empty list";
  EXPECT_TRUE(WaitListSatisfied(l40, lines, &failure)) << "names no line of the run";
  MarkOver(l10);
  l20.setIsRunning(true);
  EXPECT_FALSE(WaitListSatisfied(l30, lines, &failure));
  l20.setIsRunning(false);
  l20.setAlreadyRun(true);
  l20.setIsSkipped(true);
  EXPECT_TRUE(WaitListSatisfied(l30, lines, &failure)) << "a skipped line is over";
  EXPECT_EQ(failure, "");

  l30.setPrecedence("10,1234567");
  EXPECT_TRUE(WaitListSatisfied(l30, lines, &failure) == false);
  EXPECT_FALSE(failure.empty());
}

TEST(WaitRule, ARepeatedLineIsWaitedForWithAllItsCopies) {
  clsJobLines lines;
  clsJobLine& l10 = AddLine(lines, 10);
  clsJobLine& l20 = AddLine(lines, 20, "10");
  MarkOver(l10);
  std::string failure;
  ASSERT_TRUE(RepeatJobLines(lines, "10,10", nullptr, &failure)) << failure;
  clsJobLine* copy1 = lines.Line(30);
  clsJobLine* copy2 = lines.Line(40);
  ASSERT_TRUE(copy1 && copy2);
  EXPECT_FALSE(WaitListSatisfied(l20, lines, &failure));
  MarkOver(*copy1);
  EXPECT_FALSE(WaitListSatisfied(l20, lines, &failure));
  MarkOver(*copy2);
  EXPECT_TRUE(WaitListSatisfied(l20, lines, &failure));
}

TEST(SkipRule, SkipsWaitingLinesAndTheirCopiesOnly) {
  clsJobLines lines;
  AddLine(lines, 10);
  clsJobLine& l60 = AddLine(lines, 60);
  clsJobLine& l70 = AddLine(lines, 70);
  clsJobLine& l80 = AddLine(lines, 80);
  clsJobLine& l90 = AddLine(lines, 90, "60");
  l70.setIsRunning(true);
  MarkOver(l80);
  std::string failure;
  ASSERT_TRUE(RepeatJobLines(lines, "60", nullptr, &failure));
  clsJobLine* copy = lines.Line(100);
  ASSERT_NE(copy, nullptr);

  std::vector<clsJobLine*> skipped;
  ASSERT_TRUE(SkipJobLines("60,70,80,", lines, &skipped, &failure));
  EXPECT_EQ(skipped, (std::vector<clsJobLine*>{&l60, copy}));
  EXPECT_TRUE(l60.AlreadyRun() && l60.IsSkipped());
  EXPECT_TRUE(copy->AlreadyRun() && copy->IsSkipped());
  EXPECT_TRUE(l70.IsRunning() && !l70.IsSkipped() && !l70.AlreadyRun());
  EXPECT_FALSE(l80.IsSkipped());
  // Skipping does not spread to lines waiting for a skipped line: they may start now.
  EXPECT_FALSE(l90.AlreadyRun());
  EXPECT_TRUE(WaitListSatisfied(l90, lines, &failure));

  skipped.clear();
  ASSERT_TRUE(SkipJobLines("  ", lines, &skipped, &failure));
  EXPECT_TRUE(skipped.empty());
}

TEST(RepeatRule, CopiesAreNumberedTenApartAndRepeatedLinesMarked) {
  clsJobLines lines;
  clsJobLine& l10 = AddLine(lines, 10);
  AddLine(lines, 25);
  std::vector<RepeatCopyMade> made;
  std::string failure;
  bool applied = false;
  ASSERT_TRUE(ApplyRepeatList("10, 10,77", lines, applied, &made, &failure));
  EXPECT_TRUE(applied);
  ASSERT_EQ(made.size(), 2u);
  EXPECT_EQ(made[0].copy->JobLineNr(), 35);
  EXPECT_EQ(made[1].copy->JobLineNr(), 45);
  EXPECT_EQ(made[1].copy->OriginalJobLineNr(), 10);
  EXPECT_TRUE(l10.Repeated());
  EXPECT_EQ(lines.Count(), 4);
}

TEST(RepeatRule, BlankListsAreNotAppliedButListsNamingNothingAre) {
  clsJobLines lines;
  AddLine(lines, 10);
  bool applied = true;
  std::string failure;
  ASSERT_TRUE(ApplyRepeatList("   ", lines, applied, nullptr, &failure));
  EXPECT_FALSE(applied);
  ASSERT_TRUE(ApplyRepeatList("abc", lines, applied, nullptr, &failure));
  EXPECT_TRUE(applied);
  EXPECT_EQ(lines.Count(), 1);
}

TEST(RepeatRule, ACopyBeyondTheHighestNumberFailsInsteadOfWrapping) {
  clsJobLines lines;
  AddLine(lines, 10);
  AddLine(lines, 999990);
  std::string failure;
  ASSERT_FALSE(RepeatJobLines(lines, "10,10", nullptr, &failure));
  EXPECT_NE(failure.find("1000000"), std::string::npos) << failure;
  EXPECT_EQ(lines.Count(), 2);
}

TEST(RepeatRule, AChainRepeatsInOrderAndCopiesWaitForTheCopiesBeforeThem) {
  clsJobLines lines;
  clsJobLine& l10 = AddLine(lines, 10);
  clsJobLine& l20 = AddLine(lines, 20, "10");
  clsJobLine& l30 = AddLine(lines, 30, "20");
  for (clsJobLine* line : {&l10, &l20, &l30}) MarkOver(*line);
  std::string failure;
  ASSERT_TRUE(RepeatJobLines(lines, "10,20,30", nullptr, &failure));
  clsJobLine& c10 = *lines.Line(40);
  clsJobLine& c20 = *lines.Line(50);
  clsJobLine& c30 = *lines.Line(60);
  EXPECT_TRUE(WaitListSatisfied(c10, lines, &failure));
  EXPECT_FALSE(WaitListSatisfied(c20, lines, &failure));
  MarkOver(c10);
  EXPECT_TRUE(WaitListSatisfied(c20, lines, &failure));
  EXPECT_FALSE(WaitListSatisfied(c30, lines, &failure));
}

std::vector<std::string> CannotStart(const clsJobLines& lines, int32_t maximum) {
  std::vector<LineThatCannotStart> blocked;
  std::string failure;
  EXPECT_TRUE(LinesThatCanNeverStart(lines, maximum, &blocked, &failure)) << failure;
  std::vector<std::string> texts;
  for (const auto& line : blocked) {
    texts.push_back(std::to_string(line.line->JobLineNr()) + ": " + line.reason);
  }
  return texts;
}

TEST(LinesThatCanNeverStart, FindsMissingProgramsCyclesAndWhatWaitsForThem) {
  clsJobLines lines;
  AddLine(lines, 10);
  AddLine(lines, 20).setProgramExecuter("");
  AddLine(lines, 30, "20");
  AddLine(lines, 40, "50");
  AddLine(lines, 50, "40");
  AddLine(lines, 60, "60");
  AddLine(lines, 70, "10,40");
  AddLine(lines, 80, "10");
  EXPECT_EQ(CannotStart(lines, 2), (std::vector<std::string>{
                                       "20: it has no program to start",
                                       "30: it waits for job line 20, which can never start",
                                       "40: its wait list waits for itself through job line 50",
                                       "50: its wait list waits for itself through job line 40",
                                       "60: its wait list waits for itself",
                                       "70: it waits for job line 40, which can never start",
                                   }));
}

TEST(LinesThatCanNeverStart, RunningAndOverLinesWillNotHoldAnyoneBack) {
  clsJobLines lines;
  AddLine(lines, 10).setIsRunning(true);
  MarkOver(AddLine(lines, 20, "20"));
  AddLine(lines, 30, "10,20");
  EXPECT_TRUE(CannotStart(lines, 1).empty());
  EXPECT_EQ(CannotStart(lines, 0),
            std::vector<std::string>{
                "30: the maximum number of job lines running at the same time is 0, below 1"});
}

TEST(LinesThatCanNeverStart, ALongChainIsNotACycle) {
  clsJobLines lines;
  // Listed backwards, so that each line waits for one further down the collection.
  for (int32_t number = 5000; number >= 1; --number) {
    AddLine(lines, number, number > 1 ? std::to_string(number - 1) : "");
  }
  EXPECT_TRUE(CannotStart(lines, 1).empty());
  lines.Line(1)->setPrecedence("5000");
  EXPECT_EQ(CannotStart(lines, 1).size(), 5000u);
}

}  // namespace
}  // namespace jr
