// The end of a run: definition files byte for byte, the final status, the event-log entry
// and the report generator calls. The file sink's lines are read in the end-to-end runs.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sstream>

#include "report/generate_reports.h"
#include "report/report_definitions.h"
#include "support/engine_fakes.h"
#include "support/test_paths.h"

namespace jr {
namespace {

using test::At;
using test::Has;
using test::ReadWholeFile;

class ReportTest : public ::testing::Test {
 protected:
  ReportOutcome Generate(bool log_to_event_log = true) {
    request_.log_to_event_log = log_to_event_log;
    world_.test.clock.Set(At(14, 20, 0));
    return GenerateReports(world_.lines, request_, world_.test.env, [&](std::chrono::milliseconds) {
      // The generator runs: note what was there when it started, then let it end.
      const bool written = Admin().rfind("<ReportInfo>", 0) == 0 && User().rfind("<Rep", 0) == 0;
      seen_.push_back(std::to_string(world_.test.outside.entries.size()) +
                      (written ? " there" : ""));
      world_.launcher.running.clear();
    });
  }
  RunLine* Ran(int32_t nr, const std::string& log, bool failed = false) {
    RunLine* line =
        world_.Ran(nr, "Load stock", "Member Purger", At(14, 5, 10), At(14, 6, 0), failed);
    line->SetLogFileName(log);
    return line;
  }
  std::string Admin() { return ReadWholeFile(dir_.File("SorelJob~42_RepDef.txt")); }
  std::string User() { return ReadWholeFile(dir_.File("SorelJob~42_UserDef.txt")); }

  test::TempDir dir_;
  test::RunWorld world_;
  std::vector<std::string> seen_;  // at each generator start: event-log entries, files
  ReportRequest request_{.job_description = "Nightly extract",
                         .admin_report = "/reports/admin report.htm",
                         .user_report = "/reports/user.htm",
                         .run_folder = dir_.path() + "/",
                         .run_name = "SorelJob~42",
                         .start_time = At(14, 5, 9)};
};

TEST_F(ReportTest, DefinitionFilesByteForByteThenTheEntryThenTwoGeneratorCalls) {
  world_.test.registry.InstallKeld("7.2", "/opt/keld/utils");
  test::WriteWholeFile(dir_.File("SorelJob~42_RepDef.txt"), std::string(5000, '#'));
  test::WriteWholeFile(dir_.File("SorelJob~42_UserDef.txt"), std::string(5000, '%'));
  world_.Ran(10, "Extract customers", "Flow Runner", At(14, 5, 10), At(14, 7, 10))
      ->SetLogFileName("/logs/10FlowRun_Log.txt");
  Ran(20, "/logs/20Purger_Log.txt", true)->SetRepeated(true);
  // Only an output file that is there is linked.
  const std::string output = dir_.File("20_Output.txt");
  test::WriteWholeFile(output, "said something\n");
  world_.lines.Line(20)->SetOutputFileName(output);
  world_.lines.Line(10)->SetOutputFileName(dir_.File("10_Output.txt"));
  RunLine* script =
      world_.Ran(30, "Quarterly figures", "Run Quillmart script", At(14, 7, 10), At(14, 10, 0));
  script->SetSummaryFileName("/logs/30RunQM_Sum.txt");
  script->SetLogFileName("/logs/30RunQM_Log.txt");
  RunLine* skipped = world_.lines.Add(50);
  skipped->SetState(LineState::kSkipped);

  ReportOutcome outcome = Generate();

  // One block per line that ran: heading, times, then what the generator includes.
  auto block = [](const std::string& heading, const char* start, const char* end,
                  const std::string& include) {
    return "<Heading>\r\n" + heading + "\r\n<FileSummary>\r\nStart Time\t: 2003 Mar 07 " + start +
           "\r\nEnd Time  \t: 2003 Mar 07 " + end + "\r\n</FileSummary>\r\n<FileInclude>\r\n" +
           include + "\r\n";
  };
  const std::string info = "<ReportInfo>\r\nJob Description\t: Nightly extract\r\n";
  const std::string times =
      "Start Time Job\t: 2003 Mar 07 14:05:09\r\nEnd Time Job  \t: 2003 Mar 07 14:20:00\r\n"
      "</ReportInfo>\r\n";
  EXPECT_EQ(Admin(), info + times +
                         block("Extract customers (Flow Runner)  :  OK", "14:05:10", "14:07:10",
                               "/logs/10FlowRun_Log.txt") +
                         block("Load stock (Member Purger)  :  FAILED", "14:05:10", "14:06:00",
                               "/logs/20Purger_Log.txt") +
                         "<FileLink Name=\"Program output can be found here\">\r\n\"" + output +
                         "\"\r\n" +
                         block("Quarterly figures (Run Quillmart script)  :  OK", "14:07:10",
                               "14:10:00", "/logs/30RunQM_Sum.txt") +
                         "<FileLink Name=\"Detailed Logfile info can be found here\">\r\n"
                         "\"/logs/30RunQM_Log.txt\"\r\n");
  EXPECT_EQ(User(), info + "Execution Job\t: finished without errors.\r\n" + times);
  // The failed line had its repeat ordered, so the job as a whole had no error.
  EXPECT_EQ(outcome.error_level, ErrorLevel::kNoErrors);
  auto call = [&](const std::string& kind, const std::string& report) {
    return "/opt/keld/utils/PageGen.exe|" +
           test::Joined(
               {dir_.path() + "/SorelJob~42_" + (kind == "Admin" ? "Rep" : "User") + "Def.txt",
                "/opt/keld/utils/../Jobs/" + kind + "RepJobTemplate.htm", "/reports/" + report});
  };
  EXPECT_EQ(world_.launcher.log, (std::vector<std::string>{call("Admin", "admin report.htm"),
                                                           call("User", "user.htm")}));
  EXPECT_EQ(seen_, (std::vector<std::string>{"1 there", "1 there"}));
  // No entry unless the job asks for one.
  Generate(false);
  EXPECT_EQ(world_.test.outside.entries.size(), 1u);
}

TEST_F(ReportTest, ErrorLevelStatusTextAndEventTypeFollowTheFailedLines) {
  // One word per line: F failed, R repeat ordered, S stop on error, - none of these; a
  // lone ! interrupts the run.
  constexpr ErrorLevel kNone = ErrorLevel::kNoErrors, kErrors = ErrorLevel::kErrors,
                       kFatal = ErrorLevel::kFatal;
  const std::pair<const char*, ErrorLevel> cases[] = {
      {"", kNone},    {"- FR", kNone},   {"- F", kErrors}, {"F FR", kErrors},
      {"FS", kFatal}, {"FRS -", kFatal}, {"- !", kFatal}};
  const std::map<ErrorLevel, std::string> texts = {{kNone, "finished without errors."},
                                                   {kErrors, "finished with error(s)."},
                                                   {kFatal, "finished with fatal error."}};
  for (const auto& [lines, level] : cases) {
    SCOPED_TRACE(lines);
    world_.lines.Clear();
    world_.test.outside.entries.clear();
    request_.interrupted = false;
    std::istringstream words(lines);
    int32_t nr = 10;
    for (std::string word; words >> word && !(request_.interrupted = word == "!"); nr += 10) {
      RunLine* line = Ran(nr, "", word.find('F') != std::string::npos);
      line->SetRepeated(word.find('R') != std::string::npos);
      line->EditDefinition().stop_on_error = word.find('S') != std::string::npos;
    }
    ReportOutcome outcome = Generate();
    EXPECT_EQ(outcome.error_level, level);
    EXPECT_TRUE(Has(User(), "Execution Job\t: " + texts.at(level) + "\r\n"));
    EXPECT_EQ(
        world_.test.outside.entries,
        std::vector<std::string>{"Extraction Job Runner|" + std::to_string(level != kNone ? 1 : 4) +
                                 "|0|1|\r\n\r\nJob 'Nightly extract' " + texts.at(level)});
  }
}

TEST_F(ReportTest, UnwritableFilesLoseOnlyTheirOwnLinesAndTextsCannotForgeTags) {
  Ran(10, "", true);
  // A folder where the administrators' file should go: it cannot be created.
  ASSERT_EQ(mkdir(dir_.File("SorelJob~42_RepDef.txt").c_str(), 0755), 0);
  ReportOutcome outcome = Generate();
  EXPECT_EQ(outcome.error_level, ErrorLevel::kErrors);
  EXPECT_TRUE(Has(User(), "Execution Job\t: finished with error(s).\r\n"));
  // Its report is not generated from nothing, and the outcome says why.
  EXPECT_EQ(world_.launcher.log.size(), 1u);
  EXPECT_TRUE(Has(world_.launcher.log[0], "_UserDef.txt"));
  EXPECT_EQ(outcome.missing_reports.at(0),
            "the administrators' report \"/reports/admin report.htm\" was not written: cannot "
            "write \"" +
                dir_.File("SorelJob~42_RepDef.txt") + "\": " + strerror(EISDIR));
  // A run folder that does not exist: neither file nor report, but still the entry.
  request_.run_folder = dir_.path() + "/gone/";
  EXPECT_EQ(Generate().missing_reports.size(), 2u);
  EXPECT_EQ(world_.test.outside.entries.size(), 2u);
  EXPECT_EQ(world_.launcher.log.size(), 1u);
  // A description that tries to make the generator include a file of its choosing.
  world_.lines.Clear();
  world_.Ran(10, "Sneaky\r\n<FileInclude>\r\n/etc/shadow", "Flow Runner", At(14, 5, 10),
             At(14, 6, 0));
  request_.run_folder = dir_.path() + "/";
  request_.run_name = "forged";
  request_.job_description = "Job\n<FileInclude>\n/etc/passwd";
  Generate();
  const std::string admin = ReadWholeFile(dir_.File("forged_RepDef.txt"));
  EXPECT_FALSE(Has(admin, "\r\n<FileInclude>\r\n"));
  EXPECT_TRUE(Has(admin, "Job Description\t: Job <FileInclude> /etc/passwd\r\n"));
  EXPECT_TRUE(Has(admin, "Sneaky  <FileInclude>  /etc/shadow (Flow Runner)  :  OK\r\n"));
}

}  // namespace
}  // namespace jr
