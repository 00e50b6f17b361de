// The job's lines: the editor's table, its rows read as job lines and their lists, the
// engine's list of lines, the job line types, and the local time texts lines are stamped
// with (in the C locale the tests run in).

#include "model/run_lines.h"

#include <gtest/gtest.h>

#include <clocale>

#include "model/catalogue.h"
#include "model/job_line.h"
#include "model/job_line_table.h"
#include "model/time_text.h"
#include "platform/config.h"
#include "platform/local_time.h"
#include "support/fakes.h"

namespace jr {
namespace {

using Numbers = std::vector<int32_t>;

std::string Column(const JobLineTable& table, int column) {
  std::string texts;
  for (int row = 0; row < table.LineCount(); ++row) {
    texts += table.Text(column, row) + "|";
  }
  return texts;
}

// Numbers that do not read as the editor types them (only a hand-edited file holds them)
// go behind all others in their order, and are never found.
TEST(JobLineTable, SortsNumericallyMovingWholeRowsFindsAndDeletesRows) {
  JobLineTable table = test::TableOfNumbers({"30", "x", "10", "9.9", "9", "20"});
  table.Set(kColRepeatOnSuccess, 2, "y");
  table.SortJobLineTable();
  EXPECT_EQ(Column(table, kColNumber), "9|10|20|30|x|9.9|");
  EXPECT_EQ(Column(table, kColRepeatOnSuccess), "|y|||||");
  EXPECT_EQ(table.FindJobLineRow(20), 2);
  EXPECT_TRUE(table.DeleteTableRow(0));
  EXPECT_EQ(table.FindJobLineRow(9), 0);  // none: "9.9" is no 9
  EXPECT_EQ(Column(table, kColNumber), "10|20|30|x|9.9|");
  EXPECT_FALSE(table.DeleteTableRow(5));
  // A write behind the lines grows them; one to no row or no column writes nothing.
  EXPECT_TRUE(table.Set(kColType, 6, "t") && table.LineCount() == 7 && !table.At(kColType, 5));
  EXPECT_FALSE(table.Set(kColType, -1, "t") || table.Set(JobLineTable::kColumnCount, 0, "t"));
  // The fewest lines there are to sort.
  JobLineTable two = test::TableOfNumbers({"20", "10"});
  two.SortJobLineTable();
  EXPECT_EQ(Column(two, kColNumber), "10|20|");
  // Lines written one behind the other, as a generated job's are, move now and then, not
  // at every line: each move copies the whole table.
  JobLineTable appended;
  int moves = 0;
  size_t room = 0;
  for (int row = 0; row < 10000; ++row) {
    appended.Set(kColNumber, row, std::to_string(row + 1));
    moves += appended.Capacity() != room;
    room = appended.Capacity();
  }
  EXPECT_LT(moves, 100);
}

// Rows are kept packed: every cell reads back as written, whatever its length and its
// neighbours, and a row whose values are all taken away equals a new one.
TEST(JobLineTable, CellsOfAnyLengthReadBackAndAnEmptiedRowEqualsANewOne) {
  JobLineTable::Row line;
  const size_t lengths[] = {0, 1, 126, 127, 128, 16383, 16384, 70000};
  for (size_t column = 0; column < line.size(); ++column) {
    // Every third cell has no value; the others alternate their lengths and letters.
    if (column % 3 != 1) line[column] = std::string(lengths[column % 8], char('a' + column));
  }
  JobLineTable table;
  table.AppendRow(line);
  table.InsertRow(0, JobLineTable::Row{});
  EXPECT_EQ(table.RowAt(1), line);
  for (int column = 0; column < JobLineTable::kColumnCount; ++column) {
    EXPECT_EQ(table.At(column, 1), line[static_cast<size_t>(column)]) << column;
    ASSERT_TRUE(table.Set(column, 0, line[static_cast<size_t>(column)]));
  }
  EXPECT_EQ(table.RowAt(0), line);
  for (int column = JobLineTable::kColumnCount - 1; column >= 0; --column) table.Set(column, 0, {});
  table.DeleteTableRow(1);
  JobLineTable fresh;
  fresh.SetJobLineCount(1);
  EXPECT_EQ(table, fresh);
}

TEST(JobLineRefs, ListEntriesAreCutAtCommasReadFromTheirStartAndRoundedHalfToEven) {
  const std::pair<const char*, Numbers> readable[] = {
      {"  ", {}},
      {"10, 20 ,30", {10, 20, 30}},
      {"abc,20x,3 0,-5", {0, 20, 30, -5}},
      {"10.5,11.5,12.6,999999", {10, 12, 13, 999999}}};
  // The window takes LC_NUMERIC from the user's locale; a comma there must not change
  // what "10.5" means.
  const bool comma_locale = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
  for (const auto& [list, expected] : readable) {
    const Result<JobLineRefs> refs = ReadJobLineRefs(list);
    EXPECT_TRUE(refs.ok() && refs.value.numbers() == expected && refs.value.text() == list) << list;
  }
  for (const char* beyond : {"10,1000000", "999999.5"}) EXPECT_FALSE(ReadJobLineRefs(beyond).ok());
  std::setlocale(LC_NUMERIC, "C");
  if (!comma_locale) GTEST_SKIP() << "no de_DE.UTF-8 locale (scripts/install-deps.sh makes it)";
}

// Entries a run passes over are named for the lines it takes; what the editor writes is not.
TEST(JobLineListWarnings, NameEntriesThatNameNoLineOrHoldMoreThanDigitsAndAWaitForItself) {
  JobLineTable table = test::TableOfNumbers({"10", "20", "30", "20"});
  table.Set(kColWait, 1, " 010 ,,30, abc,1O,10 20,-10,99,20,10x");
  table.Set(kColSkipOnSuccess, 1, "5");
  table.Set(kColActive, 2, "false");
  for (int row : {2, 3}) table.Set(kColWait, row, "x");  // not taken by a run
  std::string said;
  for (const std::string& warning : JobLineListWarnings(table, 4)) said += warning + "\n";
  const std::string line = "job line 20: wait entry ",
                    no_wait = "; the line will not wait for it\n";
  EXPECT_EQ(said, line + "\"abc\" is read as 0, which names no line of the job" + no_wait + line +
                      "\"1O\" is read as 1, which names no line of the job" + no_wait + line +
                      "\"10 20\" is read as 1020, which names no line of the job" + no_wait + line +
                      "\"-10\" is read as -10, which names no line of the job" + no_wait + line +
                      "\"99\" names no line of the job" + no_wait + line +
                      "\"20\" names the line itself; the line will never start\n" + line +
                      "\"10x\" is read as 10\njob line 20: skip_on_success entry \"5\" names no "
                      "line of the job; nothing is skipped for it\n");
}

// A run decides on a row by whether it is active and by its number, so both are known even
// when the rest of the line does not read; rows asked for beyond the table are not made up.
TEST(JobLineRows, ActiveAndNumberAreReadEvenWhenTheLineIsNot) {
  JobLineTable table = test::TableOfNumbers({"10", " x", "20"});
  table.Set(kColActive, 1, "True");
  table.Set(kColWait, 2, "1000000");
  const std::vector<JobLineRow> rows = ReadJobLineRows(table, 5);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_TRUE(rows[0].active && rows[0].line.ok() && rows[0].line.value.number == 10);
  EXPECT_TRUE(!rows[1].active && !rows[1].number && rows[1].number_text == " x");
  EXPECT_EQ(rows[1].line.message(),
            "the job line in row 2 has the number \" x\", which is not a whole number from 1 to "
            "999999");
  EXPECT_TRUE(rows[2].row == 2 && rows[2].active && rows[2].number == 20 && !rows[2].line.ok());
}

TEST(Catalogue, HealthInspectorIsOfferedOnlyWithMirn) {
  EXPECT_EQ(AvailableTypeNames(std::string(1, kPathSeparator)).size(), 10u);
  auto with_mirn = AvailableTypeNames("/opt/mirn/utils/");
  ASSERT_EQ(with_mirn.size(), 11u);
  EXPECT_EQ(with_mirn[8], "Health Inspector");
}

TEST(RunLines, KeepsOrderRefusesTakenNumbersAndNeverLowersTheHighest) {
  RunLines lines;
  for (int32_t number : {10, 30, 20}) lines.Add(number);
  EXPECT_EQ(lines.Add(30), nullptr);
  // Numbers beyond 16 bits are held whole and do not alias.
  ASSERT_NE(lines.Add(999999), nullptr);
  EXPECT_EQ(lines.Line(999999 - 65536), nullptr);
  EXPECT_TRUE(lines.Delete("999999"));
  EXPECT_TRUE(lines.Delete("30"));
  ASSERT_NE(lines.Add(30), nullptr);
  EXPECT_EQ(lines.HighestJobLineNr(), 999999) << "a lower number added later";
  EXPECT_TRUE(lines.Delete(1));
  Numbers walked;
  for (const RunLine& line : lines) walked.push_back(line.JobLineNr());
  EXPECT_EQ(walked, (Numbers{20, 30}));
  EXPECT_FALSE(lines.Delete("020"));
}

TEST(RunLines, AWalkReachesCopiesAppendedDuringItAndFindsThemByTheirOriginal) {
  RunLines lines;
  lines.Add(10);
  lines.Add(20);
  Numbers seen;
  for (RunLine& line : lines) {
    seen.push_back(line.JobLineNr());
    // Each line of the job orders two copies of itself, as a repeat list does.
    for (int copy = 0; copy < 2 && line.OriginalJobLineNr() == 0; ++copy) {
      lines.Add(lines.HighestJobLineNr() + 10)->SetOriginalJobLineNr(line.JobLineNr());
    }
  }
  EXPECT_EQ(seen, (Numbers{10, 20, 30, 40, 50, 60}));
  EXPECT_EQ(lines.CopiesOf(10), (std::vector<RunLine*>{lines.Line(30), lines.Line(40)}));
  EXPECT_TRUE(lines.Delete("30"));
  EXPECT_EQ(lines.CopiesOf(10), std::vector<RunLine*>{lines.Line(40)});
}

// A line renumbered after it was added keeps its key; of lines sharing a number the
// earliest added is found, whichever was renumbered last.
TEST(RunLines, RenumberedLinesKeepTheirKeysAndTheEarliestOfASharedNumberIsFound) {
  RunLines lines;
  RunLine *ten = lines.Add(10), *twenty = lines.Add(20), *thirty = lines.Add(30);
  thirty->SetJobLineNr(20);
  EXPECT_TRUE(lines.Line(20) == twenty && lines.Add(30) == nullptr);
  twenty->SetJobLineNr(40);
  ten->SetJobLineNr(20);
  EXPECT_TRUE(lines.Line(20) == ten && lines.Line(40) == twenty && lines.Line(10) == nullptr);
  EXPECT_TRUE(lines.Delete("10") && lines.Line(20) == thirty);
  EXPECT_TRUE(lines.Delete("20") && lines.Line(40) == nullptr && lines.Add(10) != nullptr);
  EXPECT_TRUE(lines.Delete("30") && lines.Line(20) == nullptr && lines.Add(30) != nullptr);
}

TEST(RunLine, ArgumentsAndNamesComeBackAsTheyWereSetInAnyOrderEmptyOnesIncluded) {
  for (const auto& arguments : std::vector<std::vector<std::string>>{{}, {""}, {"", "-a b", ""}}) {
    RunLine line;
    line.SetProgramArguments(arguments);
    EXPECT_EQ(line.ProgramArguments(), arguments);
    // The names share the arguments' room: setting one, again and shorter, moves nothing else.
    line.SetOutputFileName("/run/S_10Out.txt");
    line.SetLogFileName("/run/a log.txt");
    line.SetStatusFileName("/run/S_10Stat.txt");
    line.SetLogFileName("L");
    line.SetJobId("20030307_150610");
    EXPECT_EQ(line.ProgramArguments(), arguments);
    line.SetProgramArguments({"-x"});
    EXPECT_EQ(line.ProgramArguments(), std::vector<std::string>{"-x"});
    EXPECT_EQ(line.LogFileName() + "|" + line.StatusFileName() + "|" + line.SummaryFileName() +
                  "|" + line.OutputFileName() + "|" + line.JobId(),
              "L|/run/S_10Stat.txt||/run/S_10Out.txt|20030307_150610");
  }
}

TEST(LocalTime, TheRunFolderIsNamedForTheLocalTime) {
  EXPECT_EQ(FormatRunTimestamp(test::LocalTime(2003, 3, 7, 15, 6, 10)), "20030307_150610");
}

}  // namespace
}  // namespace jr
