// The end of a run: definition files byte for byte, the final status, the event-log entry
// (through the fake and through the file sink) and the report generator calls.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <sstream>
#include <thread>

#include "platform/event_log.h"
#include "report/generate_reports.h"
#include "report/report_definitions.h"
#include "support/engine_fakes.h"
#include "support/run_program.h"
#include "support/test_paths.h"

namespace jr {
namespace {

using test::At;
using test::Has;
using test::ReadWholeFile;

class ReportTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("JOBRUNNER_EVENT_LOG", dir_.File("events.log").c_str(), 1); }
  void TearDown() override { unsetenv("JOBRUNNER_EVENT_LOG"); }

  ReportOutcome Generate(bool log_to_event_log = false, EventLogSink* sink = nullptr) {
    request_.log_to_event_log = log_to_event_log;
    world_.test.clock.Set(At(14, 20, 0));
    world_.test.outside.sink = sink;
    return GenerateReports(world_.lines, request_, world_.test.env, [&](std::chrono::milliseconds) {
      // The generator runs: note what was there when it started, then let it end.
      const bool written = Admin().rfind("<ReportInfo>", 0) == 0 && User().rfind("<Rep", 0) == 0;
      seen_.push_back(std::to_string(world_.test.outside.entries.size()) +
                      (written ? " there" : ""));
      world_.launcher.running.clear();
    });
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
                         .start_time = "2003 Mar 07 14:05:09"};
};

TEST_F(ReportTest, DefinitionFilesByteForByteThenTheEntryThenTwoGeneratorCalls) {
  world_.test.registry.InstallKeld("7.2", "/opt/keld/utils");
  test::WriteWholeFile(dir_.File("SorelJob~42_RepDef.txt"), std::string(5000, '#'));
  test::WriteWholeFile(dir_.File("SorelJob~42_UserDef.txt"), std::string(5000, '%'));
  world_.Ran(10, "Extract customers", "Flow Runner", At(14, 5, 10), At(14, 7, 10))
      ->setLogFileName("/logs/10FlowRun_Log.txt");
  clsJobLine* failed =
      world_.Ran(20, "Load stock", "Member Purger", At(14, 5, 10), At(14, 6, 0), true);
  failed->setLogFileName("/logs/20Purger_Log.txt");
  failed->setRepeated(true);
  clsJobLine* script =
      world_.Ran(30, "Quarterly figures", "Run Quillmart script", At(14, 7, 10), At(14, 10, 0));
  script->setSummayFileName("/logs/30RunQM_Sum.txt");
  script->setLogFileName("/logs/30RunQM_Log.txt");
  world_.Ran(40, "Tune settings", "Settings Editor", At(14, 10, 0), At(14, 10, 5))
      ->setLogFileName("   ");
  clsJobLine* skipped = world_.lines.Add(50);
  skipped->setAlreadyRun(true);
  skipped->setIsSkipped(true);
  world_.lines.Add(60)->setJobDescription("Never ran");
  clsJobLine* copy = world_.Ran(61, "Load stock", "Member Purger", At(14, 6, 0), At(14, 8, 0));
  copy->setOriginalJobLineNr(20);
  copy->setLogFileName("/logs/61Purger_Log.txt");

  ReportOutcome outcome = Generate(true);

  // One block per line that ran: heading, times, then what the generator includes.
  auto block = [](const std::string& heading, const char* start, const char* end) {
    return "<Heading>\r\n" + heading + "\r\n<FileSummary>\r\nStart Time\t: 2003 Mar 07 " + start +
           "\r\nEnd Time  \t: 2003 Mar 07 " + end + "\r\n</FileSummary>\r\n";
  };
  const std::string info = "<ReportInfo>\r\nJob Description\t: Nightly extract\r\n";
  const std::string times =
      "Start Time Job\t: 2003 Mar 07 14:05:09\r\nEnd Time Job  \t: 2003 Mar 07 14:20:00\r\n"
      "</ReportInfo>\r\n";
  EXPECT_EQ(Admin(),
            info + times + block("Extract customers (Flow Runner)  :  OK", "14:05:10", "14:07:10") +
                "<FileInclude>\r\n/logs/10FlowRun_Log.txt\r\n" +
                block("Load stock (Member Purger)  :  FAILED", "14:05:10", "14:06:00") +
                "<FileInclude>\r\n/logs/20Purger_Log.txt\r\n" +
                block("Quarterly figures (Run Quillmart script)  :  OK", "14:07:10", "14:10:00") +
                "<FileInclude>\r\n/logs/30RunQM_Sum.txt\r\n<FileLink Name=\"Detailed Logfile "
                "info can be found here\">\r\n\"/logs/30RunQM_Log.txt\"\r\n" +
                block("Tune settings (Settings Editor)  :  OK", "14:10:00", "14:10:05") +
                block("Load stock (Member Purger) (Repeat)   :  OK", "14:06:00", "14:08:00") +
                "<FileInclude>\r\n/logs/61Purger_Log.txt\r\n");
  EXPECT_EQ(User(), info + "Execution Job\t: finished without errors.\r\n" + times);
  // The failed line had its repeat ordered, so the job as a whole had no error.
  EXPECT_EQ(outcome.error_level, 0);
  const std::string run = dir_.path() + "/SorelJob~42";
  EXPECT_EQ(world_.launcher.log,
            (std::vector<std::string>{
                "/opt/keld/utils/PageGen.exe|\"" + run +
                    "_RepDef.txt\" \"/opt/keld/utils/../Jobs/AdminRepJobTemplate.htm\" "
                    "\"/reports/admin report.htm\"",
                "/opt/keld/utils/PageGen.exe|\"" + run +
                    "_UserDef.txt\" \"/opt/keld/utils/../Jobs/UserRepJobTemplate.htm\" "
                    "\"/reports/user.htm\""}));
  EXPECT_EQ(seen_, (std::vector<std::string>{"1 there", "1 there"}));
  // No entry unless the job asks for one.
  Generate();
  EXPECT_EQ(world_.test.outside.entries.size(), 1u);
}

TEST_F(ReportTest, ErrorLevelStatusTextAndEventTypeFollowTheFailedLines) {
  // One word per line: F failed, R repeat ordered, S stop on error, - none of these; a
  // lone ! interrupts the run.
  const std::pair<const char*, int> cases[] = {{"", 0},     {"- S", 0},  {"- F", 1},
                                               {"FS", 2},   {"FR", 0},   {"FRS", 2},
                                               {"FS F", 2}, {"F FR", 1}, {"- !", 2}};
  const char* const texts[] = {"finished without errors.", "finished with error(s).",
                               "finished with fatal error."};
  for (const auto& [lines, level] : cases) {
    SCOPED_TRACE(lines);
    world_.lines.Clear();
    world_.test.outside.entries.clear();
    request_.interrupted = false;
    std::istringstream words(lines);
    int32_t nr = 10;
    for (std::string word; words >> word; nr += 10) {
      request_.interrupted = word == "!";
      if (request_.interrupted) break;
      clsJobLine* line = world_.Ran(nr, "Line", "Flow Runner", At(14, 5, 10), At(14, 6, 0),
                                    word.find('F') != std::string::npos);
      line->setRepeated(word.find('R') != std::string::npos);
      line->setStopOnError(word.find('S') != std::string::npos);
    }
    ReportOutcome outcome = Generate(true);

    const std::string status = texts[level];
    EXPECT_EQ(outcome.error_level, level);
    EXPECT_EQ(outcome.status_text, status);
    EXPECT_TRUE(Has(User(), "Execution Job\t: " + status + "\r\n"));
    EXPECT_EQ(world_.test.outside.entries,
              std::vector<std::string>{"Extraction Job Runner|" + std::to_string(level ? 1 : 4) +
                                       "|0|1|\r\n\r\nJob 'Nightly extract' " + status});
  }
}

TEST_F(ReportTest, UnwritableFilesLoseOnlyTheirOwnLinesAndTextsCannotForgeTags) {
  world_.Ran(10, "Extract", "Flow Runner", At(14, 5, 10), At(14, 6, 0), true);
  // A folder where the administrators' file should go: it cannot be created.
  ASSERT_EQ(mkdir(dir_.File("SorelJob~42_RepDef.txt").c_str(), 0755), 0);
  ReportOutcome outcome = Generate(true);
  EXPECT_EQ(outcome.error_level, 1);
  EXPECT_TRUE(Has(User(), "Execution Job\t: finished with error(s).\r\n"));
  // Its report is not generated from nothing, and the outcome says why.
  EXPECT_EQ(world_.launcher.log.size(), 1u);
  EXPECT_TRUE(Has(world_.launcher.log[0], "_UserDef.txt"));
  ASSERT_FALSE(outcome.missing_reports.empty());
  EXPECT_EQ(outcome.missing_reports[0],
            "the administrators' report \"/reports/admin report.htm\" was not written: cannot "
            "write \"" +
                dir_.File("SorelJob~42_RepDef.txt") + "\": " + strerror(EISDIR));
  // A run folder that does not exist: neither file nor report, but still the entry.
  request_.run_folder = dir_.path() + "/gone/";
  outcome = Generate(true);
  EXPECT_EQ(outcome.error_level, 1);
  EXPECT_EQ(outcome.missing_reports.size(), 2u);
  EXPECT_EQ(world_.test.outside.entries.size(), 2u);
  EXPECT_EQ(world_.launcher.log.size(), 1u);
  EXPECT_TRUE(world_.test.outside.messages.empty());

  // A description that tries to make the generator include a file of its choosing.
  world_.lines.Clear();
  world_.Ran(10, "Sneaky\r\n<FileInclude>\r\n/etc/shadow", "Flow Runner", At(14, 5, 10),
             At(14, 6, 0));
  request_.run_folder = dir_.path() + "/";
  request_.run_name = "forged";
  request_.job_description = "Job\n<FileInclude>\n/etc/passwd";
  Generate(true);
  const std::string admin = ReadWholeFile(dir_.File("forged_RepDef.txt"));
  EXPECT_FALSE(Has(admin, "\r\n<FileInclude>\r\n"));
  EXPECT_TRUE(Has(admin, "Job Description\t: Job <FileInclude> /etc/passwd\r\n"));
  EXPECT_TRUE(Has(admin, "Sneaky  <FileInclude>  /etc/shadow (Flow Runner)  :  OK\r\n"));
  // The event log keeps the description as it is; its sinks deal with line breaks.
  EXPECT_EQ(world_.test.outside.entries.back(),
            "Extraction Job Runner|4|0|1|\r\n\r\nJob 'Job\n<FileInclude>\n/etc/passwd' finished "
            "without errors.");
}

TEST_F(ReportTest, FileSinkWritesOneEscapedLinePerEntryAndItsFailuresAreShown) {
  std::unique_ptr<EventLogSink> sink = MakeSystemEventLogSink();
  Generate(true, sink.get());
  // Only line breaks are escaped; any category and id are written as they are.
  EXPECT_EQ(sink->Write("Extraction Job Runner", 1, 7, 70000, "a\rb\nc\td\\e"), 0);
  EXPECT_EQ(ReadWholeFile(dir_.File("events.log")),
            "Extraction Job Runner\t4\t0\t1\t\\r\\n\\r\\nJob 'Nightly extract' finished without "
            "errors.\nExtraction Job Runner\t1\t7\t70000\ta\\rb\\nc\td\\e\n");
  EXPECT_TRUE(world_.test.outside.messages.empty());

  // In a folder that does not exist the file sink fails with ENOENT; the run goes on.
  setenv("JOBRUNNER_EVENT_LOG", dir_.File("no/such/folder/events.log").c_str(), 1);
  sink = MakeSystemEventLogSink();
  Generate(true, sink.get());
  EXPECT_EQ(world_.launcher.log.size(), 4u);
  // Any sink's error number goes into the message as it is.
  world_.test.outside.error = 28;
  Generate(true);
  const std::string icon = "|" + std::to_string(static_cast<int>(MessageIcon::kExclamation));
  EXPECT_EQ(world_.test.outside.messages,
            (std::vector<std::string>{
                "Extraction Job Runner|Error 2 while writing event to NT Event Log." + icon,
                "Extraction Job Runner|Error 28 while writing event to NT Event Log." + icon}));
}

TEST_F(ReportTest, EntriesOfRunsEndingTogetherDoNotInterleave) {
  const std::string long_text(3000, 'm');
  std::vector<std::thread> writers;
  for (int w = 0; w < 4; ++w) {
    writers.emplace_back([&, w] {
      std::unique_ptr<EventLogSink> sink = MakeSystemEventLogSink();
      for (int i = 0; i < 100; ++i) sink->Write("Source", 4, 0, 1, std::to_string(w) + long_text);
    });
  }
  for (std::thread& writer : writers) writer.join();
  std::istringstream lines(ReadWholeFile(dir_.File("events.log")));
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count) {
    EXPECT_EQ(line.size(), std::string("Source\t4\t0\t1\t").size() + 3001);
  }
  EXPECT_EQ(count, 400);
}

}  // namespace
}  // namespace jr
