#include "model/job_rules.h"

#include <gtest/gtest.h>

#include <tuple>

#include "model/job.h"
#include "model/job_line.h"
#include "model/notify_rules.h"
#include "platform/program_command.h"
#include "support/fakes.h"

namespace jr {
namespace {

// "title: message", or "" when accepted.
std::string Shown(const RuleResult& result) {
  return result.ok() ? "" : result.title + ": " + result.message;
}

TEST(JobRules, TheMaximumOfParallelLinesIsAWholeNumberFrom1To99) {
  using S = NumberStatus;
  const std::pair<const char*, MaxParallelResult> maximums[] = {
      {"\t07 ", {S::kOk, 7}},       {"+99", {S::kOk, 99}},
      {"", {S::kBlank, 0}},         {"0", {S::kOutOfRange, 0}},
      {"100", {S::kOutOfRange, 0}}, {"99999999999999999999", {S::kOutOfRange, 0}},
      {"5x", {S::kNotNumber, 0}},   {"-5", {S::kOutOfRange, 0}},
  };
  for (const auto& [text, expected] : maximums) {
    const MaxParallelResult result = ParseMaxParallel(text);
    EXPECT_EQ(result.status, expected.status) << text;
    EXPECT_EQ(result.value, expected.value) << text;
  }
}

TEST(JobRules, TimeLimitsAreBlankOrDigitsFromOneTo604800AndTheJobsCheckNamesEveryFault) {
  const std::tuple<const char*, NumberStatus, int32_t> cases[] = {
      {" ", NumberStatus::kBlank, 0},           {" 0060 ", NumberStatus::kOk, 60},
      {"604800", NumberStatus::kOk, 604800},    {"0", NumberStatus::kOutOfRange, 0},
      {"604801", NumberStatus::kOutOfRange, 0}, {"5s", NumberStatus::kNotNumber, 0},
      {"1.5", NumberStatus::kNotNumber, 0},
  };
  for (const auto& [text, status, seconds] : cases) {
    const TimeLimitResult result = ParseTimeLimit(text);
    EXPECT_EQ(result.status, status) << text;
    EXPECT_EQ(result.seconds, seconds) << text;
  }
  JobLineTable table = test::TableOfNumbers({"10", "20", "30"});
  table.Set(kColTimeLimit, 0, "60");
  table.Set(kColTimeLimit, 1, "1 h");
  table.Set(kColTimeLimit, 2, "0");
  JobDocument job;
  job.table = table;
  job.JobTimeLimit = "-1";
  job.MaxParallel = " +07 ";
  const CheckedJob checked = CheckJob(job);
  EXPECT_EQ(checked.faults,
            (std::vector<std::string>{
                "the job's time limit \"-1\" is not a whole number from 1 to 604800",
                "the time limit of job line 20 \"1 h\" is not a whole number from 1 to 604800",
                "the time limit of job line 30 \"0\" is not a whole number from 1 to 604800"}));
  EXPECT_EQ(checked.settings.maximum, 7);
  job.JobTimeLimit = "3600";
  job.table = test::TableOfNumbers({"10", "20", "20"});
  // Only a line the run takes must read whole: the first of a number, and active.
  job.table.Set(kColWait, 0, "1000000");
  job.table.Set(kColWait, 2, "1000000");
  EXPECT_EQ(CheckJob(job).faults,
            std::vector<std::string>{"job line 10, \"wait\": the job-line list entry \"1000000\" "
                                     "lies outside the job line numbers"});
  job.table.Set(kColActive, 0, "false");
  EXPECT_TRUE(CheckJob(job).ok());
  EXPECT_EQ(CheckJob(job).settings.time_limit, 3600);
}

TEST(JobRules, TheNumberFieldAcceptsFreeNumbersUpTo999999AndTheLinesOwn) {
  // A number that does not read names no line, however close it comes to one.
  const JobLineTable table = test::TableOfNumbers({"10", "20", "30", "12.5"});
  const std::string range = "Job Line: Only numeric Job Line numbers between 1 and 999999 allowed ";
  const std::string in_use = "Job Line: This Job Line number already exists";
  // The text, the line's own number (-1: a new line) and what is shown.
  const std::tuple<const char*, int64_t, std::string> cases[] = {
      {"999999", -1, ""}, {"20", 20, ""},      {"1000000", -1, range}, {"0", -1, range},
      {"20", -1, in_use}, {"030", 20, in_use}, {"12", -1, ""},
  };
  for (const auto& [text, starting, shown] : cases)
    EXPECT_EQ(Shown(CheckJobLineNrField(text, starting, &table)), shown) << text;
  EXPECT_EQ(ProposedJobLineNr(&table), 40);
}

TEST(JobRules, ListsNameExistingLinesTheListMayName) {
  const JobLineTable table = test::TableOfNumbers({"10", "20", "30", "x"});
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
      {L::kWait, "40", ",10,, 20 ,,  ", ""},
      {L::kWait, "40", "10 20", "Job Line Numbers must be separated with commas !"},
      {L::kWait, "030", "30", "Job Line cannot wait for itself !"},
      {L::kWait, "20", "30", "Job Line can only wait for lower job line numbers !"},
      {L::kSkipOnError, "30", "30", no_skip},
      {L::kRepeatOnError, "20", "30", no_repeat},
      {L::kRepeatOnSuccess, "30", "30", ""},
      {L::kWait, "40", "10, 0099", "Job Line 99 does not exist !"},
      {L::kWait, "40", "4294967306", "Job Line 4294967306 does not exist !"},
  };
  for (const auto& c : cases) {
    const std::string expected =
        c.message.empty() ? "" : std::string(JobLineListTitle(c.list)) + ": " + c.message;
    EXPECT_EQ(Shown(CheckJobLineListField(c.list, c.current, c.text, &table)), expected)
        << c.current << " / " << c.text;
  }
}

TEST(JobRules, TheArgumentAfterEveryPasswordSwitchIsMasked) {
  const std::pair<const char*, const char*> cases[] = {
      {"-user bob -password s3cret -db x", "-user bob -password ****** -db x"},
      // Whatever the blanks before it, the value is hidden and the blanks stay as typed.
      {"-password \t s3cret\t-v", "-password \t ******\t-v"},
      // At the end of the options, with or without blanks after it, and none to hide.
      {"-password a -x -password bb", "-password ****** -x -password ******"},
      {"-u a -password  ", "-u a -password  "},
      // A quoted value is one argument to the program, so it is hidden whole.
      {"-password \"my secret\" -v", "-password ****** -v"},
      {"-Password a -PASSWORD b", "-Password a -PASSWORD b"},
      {"-passwords x y", "-passwords ****** y"},
      // A keyword inside a masked value masks the argument after it, too.
      {"-password ab-password  c d", "-password ******  ****** d"},
      // Line breaks of either kind separate as blanks do, here as for the program.
      {"-password\r\nab\rc", "-password\r\n******\rc"},
  };
  for (const auto& [options, shown] : cases) EXPECT_EQ(MaskedOptions(options), shown) << options;
  EXPECT_EQ(SplitArguments("a\rb\nc\r\n\"d"), (std::vector<std::string>{"a", "b", "c", "d"}));
}

TEST(NotifyRules, AddressesUrlsAndWhenAreRefusedInOrderNamingTheValueWithoutSecrets) {
  struct Case {
    const char *mail, *hook, *on;
    std::string shown;
  };
  std::vector<Case> cases = {
      {" root@localhost ,, a.b+c@mail-1.example.org,", "HTTPS://u:pw@h.example:8443/p?t=1",
       "always", ""},
      {"", "http://[::1]:80", "failure", ""},
      {" ", "http://h_1", "", ""},
      {"a@x.org, ops@", "ftp://h", "never", "NotifyMail: \"ops@\" is not a mail address"},
      {"", "https://u:pw@/p?t=secret", "",
       "NotifyWebhook: \"https:///p\" is not an http:// or https:// URL"},
      {"", "", "Alway", "NotifyOn: \"Alway\" is not failure or always"},
  };
  // Each of these is named as written; a webhook before a NotifyOn.
  for (const char* mail :
       {"@x.org", "ops.example.org", "a b@x.org", "a\x01@x.org", "<a@x.org>", "a;b@x.org",
        "a@b@x.org", "a.@x.org", "a@x_y.org", "a@x..org", "a@-x.org"})
    cases.push_back(
        {mail, "", "", "NotifyMail: \"" + std::string(mail) + "\" is not a mail address"});
  for (const char* hook : {"ftp://h/x", "http://h/a b", " http://h", "http://h\n", "http://h:65536",
                           "http://h:x/", "http://[]/"})
    cases.push_back(
        {"", hook, "x",
         "NotifyWebhook: \"" + std::string(hook) + "\" is not an http:// or https:// URL"});
  for (const auto& c : cases) {
    JobDocument job;
    job.NotifyMail = c.mail, job.NotifyWebhook = c.hook, job.NotifyOn = c.on;
    const std::vector<std::string> faults = CheckJob(job).faults;
    EXPECT_EQ(faults.empty() ? "" : faults.front(), c.shown) << c.mail << c.hook;
  }
  EXPECT_EQ(ParseNotifyMail(cases[0].mail).value,
            (std::vector<std::string>{"root@localhost", "a.b+c@mail-1.example.org"}));
  // As the window shows them, or in any other letter case.
  EXPECT_EQ(ParseNotifyOn("ALWAYS").value, NotifyWhen::kAlways);
  EXPECT_TRUE(ParseOverlap("Refuse").value == OverlapPolicy::kRefuse &&
              ParseOverlap("wAIT").value == OverlapPolicy::kWait);
  const std::pair<const char*, const char*> urls[] = {
      {"https://u:p@w@h:8443/a/b?token=1#f", "https://h:8443/a/b"},
      {"http://h#frag", "http://h"},
      {"u:pw@h/x?t", "h/x"},
      {"http://h/@me?x", "http://h/@me"},
  };
  for (const auto& [url, shown] : urls) EXPECT_EQ(DisplayUrl(url), shown) << url;
}

}  // namespace
}  // namespace jr
