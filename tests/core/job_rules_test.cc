#include "model/job_rules.h"

#include <gtest/gtest.h>

namespace jr {
namespace {

JobLineTable TableOf(std::initializer_list<const char*> numbers) {
  JobLineTable table;
  table.SetJobLineCount(static_cast<int>(numbers.size()));
  int row = 0;
  for (const char* number : numbers) table.Set(kColNumber, row++, number);
  return table;
}

// "title: message", or "" when accepted.
std::string Shown(const RuleResult& result) {
  EXPECT_EQ(result.ok(), result.title.empty() && result.message.empty());
  return result.ok() ? "" : result.title + ": " + result.message;
}

TEST(JobRules, JobLineNumbersAreDigitsFromOneTo999999) {
  const struct {
    const char* text;
    NumberStatus status;
    int64_t value;
  } cases[] = {
      {"", NumberStatus::kBlank, 0},
      {"   ", NumberStatus::kBlank, 0},
      {"1", NumberStatus::kOk, 1},
      {" 0040 ", NumberStatus::kOk, 40},
      {"999999", NumberStatus::kOk, 999999},
      {"0000000000000001", NumberStatus::kOk, 1},
      {"0", NumberStatus::kOutOfRange, 0},
      {"1000000", NumberStatus::kOutOfRange, 1000000},
      {"123456789012345678901234567890", NumberStatus::kOutOfRange, int64_t{1} << 40},
      {"+40", NumberStatus::kNotNumber, 0},
      {"40.0", NumberStatus::kNotNumber, 0},
      {"4 0", NumberStatus::kNotNumber, 0},
      {"\t40", NumberStatus::kNotNumber, 0},
  };
  for (const auto& c : cases) {
    const JobLineNrResult result = ParseJobLineNr(c.text);
    EXPECT_EQ(result.status, c.status) << c.text;
    EXPECT_EQ(result.value, c.value) << c.text;
  }
}

TEST(JobRules, TheMaximumOfParallelLinesIsConvertedAsA32BitIntegerFrom1To99) {
  const std::pair<const char*, MaxParallelResult> cases[] = {
      {"5", {NumberStatus::kOk, 5}},
      {" 5", {NumberStatus::kOk, 5}},
      {"\t07 ", {NumberStatus::kOk, 7}},
      {"09", {NumberStatus::kOk, 9}},
      {"+99", {NumberStatus::kOk, 99}},
      {"1", {NumberStatus::kOk, 1}},
      {"", {NumberStatus::kBlank, 0}},
      {"0", {NumberStatus::kOutOfRange, 0}},
      {"100", {NumberStatus::kOutOfRange, 0}},
      {"-5", {NumberStatus::kOutOfRange, 0}},
      {"99999999999999999999", {NumberStatus::kOutOfRange, 0}},
      {"12.5", {NumberStatus::kNotNumber, 0}},
      {"5x", {NumberStatus::kNotNumber, 0}},
      {"- 5", {NumberStatus::kNotNumber, 0}},
  };
  for (const auto& [text, expected] : cases) {
    const MaxParallelResult result = ParseMaxParallel(text);
    EXPECT_EQ(result.status, expected.status) << text;
    EXPECT_EQ(result.value, expected.value) << text;
  }
}

TEST(JobRules, TheNumberFieldAcceptsFreeNumbersUpTo999999AndTheLinesOwn) {
  const JobLineTable table = TableOf({"10", "20", "30", "abc"});
  const std::string range = "Job Line: Only numeric Job Line numbers between 1 and 999999 allowed ";
  const std::string in_use = "Job Line: This Job Line number already exists";
  const struct {
    const char* text;
    int64_t starting;
    RuleStatus status;
    std::string shown;
  } cases[] = {
      {"999999", -1, RuleStatus::kAccepted, ""},
      {" 040", -1, RuleStatus::kAccepted, ""},
      {"20", 20, RuleStatus::kAccepted, ""},
      {"1000000", -1, RuleStatus::kRefused, range},
      {"0", -1, RuleStatus::kRefused, range},
      {"-5", -1, RuleStatus::kRefused, range},
      {"20", -1, RuleStatus::kRefused, in_use},
      {"030", 20, RuleStatus::kRefused, in_use},
      {"  ", -1, RuleStatus::kEmpty, "Job Line: Please fill Job Line"},
  };
  for (const auto& c : cases) {
    const RuleResult result = CheckJobLineNrField(c.text, c.starting, &table);
    EXPECT_EQ(result.status, c.status) << c.text;
    EXPECT_EQ(Shown(result), c.shown) << c.text;
  }
  EXPECT_EQ(Shown(CheckJobLineNrField("10", -1, nullptr)), "");
}

TEST(JobRules, ListsNameExistingLinesTheListMayName) {
  const JobLineTable table = TableOf({"10", "20", "30", "x"});
  using L = JobLineList;
  const std::string no_skip = "Only job lines with a higher number can be skipped !";
  const std::string no_repeat =
      "Only this job line or job lines with a lower number can be repeated !";
  const struct {
    JobLineList list;
    const char* current;
    const char* text;
    std::string message;  // "" when accepted
  } cases[] = {
      {L::kWait, "40", "10,20", ""},
      {L::kWait, "40", ",10,, 20 ,,  ", ""},
      {L::kWait, "40", "", ""},
      {L::kWait, "40", "10 20", "Job Line Numbers must be separated with commas !"},
      {L::kWait, "30", "30", "Job Line cannot wait for itself !"},
      {L::kWait, "030", "30", "Job Line cannot wait for itself !"},
      {L::kWait, "50", "50", "Job Line cannot wait for itself !"},
      {L::kWait, "20", "30", "Job Line can only wait for lower job line numbers !"},
      {L::kSkipOnError, "30", "30", no_skip},
      {L::kSkipOnSuccess, "20", "10", no_skip},
      {L::kSkipOnSuccess, "10", "20,30", ""},
      {L::kRepeatOnError, "20", "30", no_repeat},
      {L::kRepeatOnSuccess, "30", "30", ""},
      {L::kRepeatOnSuccess, "50", "50", "Job Line 50 does not exist !"},
      {L::kWait, "40", "10, 99, 7", "Job Line 99 does not exist !"},
      {L::kWait, "40", "0099", "Job Line 99 does not exist !"},
      {L::kWait, "40", "0", "Job Line 0 does not exist !"},
      {L::kWait, "40", "1O", "Job Line 1O does not exist !"},
      {L::kWait, "40", "-10", "Job Line -10 does not exist !"},
      {L::kWait, "40", "4294967306", "Job Line 4294967306 does not exist !"},
      // A pasted current number leaves only the entries' own checks.
      {L::kRepeatOnError, "3x", "30", ""},
      {L::kSkipOnError, "", "abc, 5 6", ""},
  };
  for (const auto& c : cases) {
    const std::string expected =
        c.message.empty() ? "" : std::string(JobLineListTitle(c.list)) + ": " + c.message;
    EXPECT_EQ(Shown(CheckJobLineListField(c.list, c.current, c.text, &table)), expected)
        << c.current << " / " << c.text;
  }
  EXPECT_EQ(JobLineListTitle(L::kRepeatOnSuccess), "Repeat JobLine(s) on success");
  EXPECT_EQ(JobLineListTitle(L::kSkipOnError), "Skip JobLine(s) on error");
}

TEST(JobRules, NewLinesAreProposedTenAfterTheLastUpTo999999) {
  const std::pair<JobLineTable, std::optional<int64_t>> cases[] = {
      {TableOf({}), 10},
      {TableOf({"10", "20"}), 30},
      {TableOf({"9", "100"}), 110},
      {TableOf({"999989"}), 999999},
      {TableOf({"999990"}), std::nullopt},
  };
  for (const auto& [table, proposal] : cases) EXPECT_EQ(ProposedJobLineNr(&table), proposal);
  EXPECT_EQ(ProposedJobLineNr(nullptr), 10);
}

TEST(JobRules, TheArgumentAfterEveryPasswordSwitchIsMasked) {
  const std::pair<const char*, const char*> cases[] = {
      {"-user bob -db x", "-user bob -db x"},
      {"-user bob -password s3cret -db x", "-user bob -password ****** -db x"},
      // Whatever the blanks before it, the value is hidden and the blanks stay as typed.
      {"-user bob -password  s3cret -v", "-user bob -password  ****** -v"},
      {"-password   s3cret -v", "-password   ****** -v"},
      {"-password\ts3cret -v", "-password\t****** -v"},
      {"-password \t s3cret\t-v", "-password \t ******\t-v"},
      {"-password\ns3cret", "-password\n******"},
      // At the end of the options, with or without blanks after it, and none to hide.
      {"-password a -x -password bb", "-password ****** -x -password ******"},
      {"-u a -password", "-u a -password"},
      {"-u a -password  ", "-u a -password  "},
      // A quoted value is one argument to the program, so it is hidden whole.
      {"-password \"my secret\" -v", "-password ****** -v"},
      {"-Password a -PASSWORD b", "-Password a -PASSWORD b"},
      {"-password -password x", "-password ****** x"},
      {"-passwords x y", "-passwords ****** y"},
      // A keyword inside a masked value masks the argument after it, too.
      {"-password a-password b", "-password ****** ******"},
      {"-password ab-password  c d", "-password ******  ****** d"},
  };
  for (const auto& [options, shown] : cases) EXPECT_EQ(MaskedOptions(options), shown) << options;
}

TEST(JobRules, TypeAndUserBatchFileMustBeGiven) {
  EXPECT_EQ(Shown(CheckJobLineTypeField("")), "Job Line Type: Please fill Job Line type");
  EXPECT_EQ(Shown(CheckJobLineTypeField("Flow Runner")), "");
  const std::string title = "User-Defined Batch File: ";
  EXPECT_EQ(Shown(CheckUserBatchFileField("Flow Runner", "", false)), "");
  EXPECT_EQ(Shown(CheckUserBatchFileField("User Batchfile", "  ", false)),
            title + "Please specify user-defined batch file");
  EXPECT_EQ(Shown(CheckUserBatchFileField("User Batchfile", " a.sh", false)),
            title + "File  a.sh does not exist");
  EXPECT_EQ(Shown(CheckUserBatchFileField("User Batchfile", "a.sh", true)), "");
}

}  // namespace
}  // namespace jr
