// The end of a run: definition files byte for byte, the final status, the event-log entry
// and the report generator calls.

#include "report/report_definitions.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <sstream>

#include "report/generate_reports.h"
#include "support/report_fakes.h"
#include "support/test_paths.h"

namespace jr {
namespace {

using report_test::At;
using report_test::ReadFile;
using report_test::ReportWorld;
using report_test::WriteFile;

struct LineState {
  bool failed = false;
  bool repeated = false;
  bool stop_on_error = false;
};

class ReportTest : public ::testing::Test {
 protected:
  ReportRequest Request() {
    ReportRequest request;
    request.job_description = "Nightly extract";
    request.admin_report = "/reports/admin report.htm";
    request.user_report = "/reports/user.htm";
    request.run_folder = dir_.path() + "/";
    request.run_name = "SorelJob~42";
    request.start_time = "2003 Mar 07 14:05:09";
    return request;
  }

  ReportOutcome Generate(const ReportRequest& request) {
    world_.clock.Set(At(14, 20, 0));
    EngineEnv env = world_.Env();
    return GenerateReports(world_.lines, request, env, [](std::chrono::milliseconds) {});
  }

  std::string AdminFile() { return dir_.File("SorelJob~42_RepDef.txt"); }
  std::string UserFile() { return dir_.File("SorelJob~42_UserDef.txt"); }

  test::TempDir dir_;
  ReportWorld world_;
};

TEST_F(ReportTest, DefinitionFilesOfASmallRunByteForByte) {
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
  world_.Ran(40, "Tune settings", "Settings Editor", At(14, 10, 0), At(14, 10, 5));
  clsJobLine* skipped = world_.lines.Add(50);
  skipped->setJobDescription("Skipped one");
  skipped->setAlreadyRun(true);
  skipped->setIsSkipped(true);
  world_.lines.Add(60)->setJobDescription("Never ran");
  clsJobLine* copy = world_.Ran(61, "Load stock", "Member Purger", At(14, 6, 0), At(14, 8, 0));
  copy->setOriginalJobLineNr(20);
  copy->setLogFileName("/logs/61Purger_Log.txt");

  ReportOutcome outcome = Generate(Request());

  EXPECT_EQ(ReadFile(AdminFile()),
            "<ReportInfo>\r\n"
            "Job Description\t: Nightly extract\r\n"
            "Start Time Job\t: 2003 Mar 07 14:05:09\r\n"
            "End Time Job  \t: 2003 Mar 07 14:20:00\r\n"
            "</ReportInfo>\r\n"
            "<Heading>\r\n"
            "Extract customers (Flow Runner)  :  OK\r\n"
            "<FileSummary>\r\n"
            "Start Time\t: 2003 Mar 07 14:05:10\r\n"
            "End Time  \t: 2003 Mar 07 14:07:10\r\n"
            "</FileSummary>\r\n"
            "<FileInclude>\r\n"
            "/logs/10FlowRun_Log.txt\r\n"
            "<Heading>\r\n"
            "Load stock (Member Purger)  :  FAILED\r\n"
            "<FileSummary>\r\n"
            "Start Time\t: 2003 Mar 07 14:05:10\r\n"
            "End Time  \t: 2003 Mar 07 14:06:00\r\n"
            "</FileSummary>\r\n"
            "<FileInclude>\r\n"
            "/logs/20Purger_Log.txt\r\n"
            "<Heading>\r\n"
            "Quarterly figures (Run Quillmart script)  :  OK\r\n"
            "<FileSummary>\r\n"
            "Start Time\t: 2003 Mar 07 14:07:10\r\n"
            "End Time  \t: 2003 Mar 07 14:10:00\r\n"
            "</FileSummary>\r\n"
            "<FileInclude>\r\n"
            "/logs/30RunQM_Sum.txt\r\n"
            "<FileLink Name=\"Detailed Logfile info can be found here\">\r\n"
            "\"/logs/30RunQM_Log.txt\"\r\n"
            "<Heading>\r\n"
            "Tune settings (Settings Editor)  :  OK\r\n"
            "<FileSummary>\r\n"
            "Start Time\t: 2003 Mar 07 14:10:00\r\n"
            "End Time  \t: 2003 Mar 07 14:10:05\r\n"
            "</FileSummary>\r\n"
            "<Heading>\r\n"
            "Load stock (Member Purger) (Repeat)   :  OK\r\n"
            "<FileSummary>\r\n"
            "Start Time\t: 2003 Mar 07 14:06:00\r\n"
            "End Time  \t: 2003 Mar 07 14:08:00\r\n"
            "</FileSummary>\r\n"
            "<FileInclude>\r\n"
            "/logs/61Purger_Log.txt\r\n");
  EXPECT_EQ(ReadFile(UserFile()),
            "<ReportInfo>\r\n"
            "Job Description\t: Nightly extract\r\n"
            "Execution Job\t: finished without errors.\r\n"
            "Start Time Job\t: 2003 Mar 07 14:05:09\r\n"
            "End Time Job  \t: 2003 Mar 07 14:20:00\r\n"
            "</ReportInfo>\r\n");
  // The failed line had its repeat ordered, so the job as a whole had no error.
  EXPECT_EQ(outcome.error_level, 0);
  EXPECT_EQ(outcome.status_text, "finished without errors.");
  EXPECT_TRUE(world_.event_log.entries.empty()) << "the job did not ask for an entry";
}

TEST_F(ReportTest, ErrorLevelStatusTextAndEventTypeFollowTheFailedLines) {
  struct Case {
    const char* name;
    std::vector<LineState> lines;
    bool interrupted;
    int level;
    const char* status;
  };
  const Case cases[] = {
      {"no lines", {}, false, 0, "finished without errors."},
      {"all succeeded", {{}, {}}, false, 0, "finished without errors."},
      {"succeeded stop-on-error line",
       {{false, false, true}},
       false,
       0,
       "finished without errors."},
      {"one failure", {{}, {true}}, false, 1, "finished with error(s)."},
      {"stop-on-error failure", {{true, false, true}}, false, 2, "finished with fatal error."},
      {"repeated failure", {{true, true}}, false, 0, "finished without errors."},
      {"repeated stop-on-error failure",
       {{true, true, true}},
       false,
       2,
       "finished with fatal error."},
      {"fatal is not lowered by a later failure",
       {{true, false, true}, {true}},
       false,
       2,
       "finished with fatal error."},
      {"repeated failure after a failure",
       {{true}, {true, true}},
       false,
       1,
       "finished with error(s)."},
      {"interrupted run", {{}}, true, 2, "finished with fatal error."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    world_.lines.Clear();
    world_.event_log.entries.clear();
    int32_t nr = 10;
    for (const LineState& state : c.lines) {
      clsJobLine* line =
          world_.Ran(nr, "Line", "Flow Runner", At(14, 5, 10), At(14, 6, 0), state.failed);
      line->setRepeated(state.repeated);
      line->setStopOnError(state.stop_on_error);
      nr += 10;
    }
    ReportRequest request = Request();
    request.log_to_event_log = true;
    request.interrupted = c.interrupted;
    ReportOutcome outcome = Generate(request);

    EXPECT_EQ(outcome.error_level, c.level);
    EXPECT_EQ(outcome.status_text, c.status);
    EXPECT_EQ(StatusText(c.level), c.status);
    EXPECT_NE(ReadFile(UserFile()).find(std::string("Execution Job\t: ") + c.status + "\r\n"),
              std::string::npos);
    ASSERT_EQ(world_.event_log.entries.size(), 1u);
    const report_test::EventEntry& entry = world_.event_log.entries[0];
    EXPECT_EQ(entry.source, "Extraction Job Runner");
    EXPECT_EQ(entry.event_type, c.level == 0 ? 4 : 1);
    EXPECT_EQ(entry.category, 0);
    EXPECT_EQ(entry.event_id, 1u);
    EXPECT_EQ(entry.message, std::string("\r\n\r\nJob 'Nightly extract' ") + c.status);
  }
}

TEST_F(ReportTest, WritesTheEntryBeforeStartingTheGeneratorTwiceWithQuotedArguments) {
  world_.registry.InstallKeld("/opt/keld/utils");
  world_.Ran(10, "Extract", "Flow Runner", At(14, 5, 10), At(14, 6, 0));
  std::vector<size_t> entries_at_start;
  std::vector<bool> definition_there;
  world_.launcher.on_start = [&](const report_test::StartedProgram&) {
    entries_at_start.push_back(world_.event_log.entries.size());
    definition_there.push_back(!ReadFile(AdminFile()).empty() && !ReadFile(UserFile()).empty());
  };
  ReportRequest request = Request();
  request.log_to_event_log = true;
  Generate(request);

  const std::string run = dir_.path() + "/SorelJob~42";
  ASSERT_EQ(world_.launcher.started.size(), 2u);
  EXPECT_EQ(world_.launcher.started[0].program, "/opt/keld/utils/PageGen.exe");
  EXPECT_EQ(world_.launcher.started[0].arguments,
            "\"" + run +
                "_RepDef.txt\" \"/opt/keld/utils/../Jobs/AdminRepJobTemplate.htm\" "
                "\"/reports/admin report.htm\"");
  EXPECT_EQ(world_.launcher.started[1].program, "/opt/keld/utils/PageGen.exe");
  EXPECT_EQ(world_.launcher.started[1].arguments,
            "\"" + run +
                "_UserDef.txt\" \"/opt/keld/utils/../Jobs/UserRepJobTemplate.htm\" "
                "\"/reports/user.htm\"");
  EXPECT_EQ(entries_at_start, (std::vector<size_t>{1, 1}));
  EXPECT_EQ(definition_there, (std::vector<bool>{true, true}));
}

TEST_F(ReportTest, FileThatCannotBeCreatedLosesOnlyItsOwnLines) {
  world_.Ran(10, "Extract", "Flow Runner", At(14, 5, 10), At(14, 6, 0), true);
  ReportRequest request = Request();
  request.log_to_event_log = true;

  // A folder where the administrators' file should go: it cannot be created.
  ASSERT_EQ(mkdir(AdminFile().c_str(), 0755), 0);
  ReportOutcome outcome = Generate(request);
  EXPECT_EQ(outcome.error_level, 1);
  EXPECT_NE(ReadFile(UserFile()).find("Execution Job\t: finished with error(s).\r\n"),
            std::string::npos);
  EXPECT_EQ(world_.event_log.entries.size(), 1u);
  EXPECT_EQ(world_.launcher.started.size(), 2u);

  // A run folder that does not exist: neither file, but still the entry and the calls.
  request.run_folder = dir_.path() + "/gone/";
  world_.event_log.entries.clear();
  world_.launcher.started.clear();
  outcome = Generate(request);
  EXPECT_EQ(outcome.error_level, 1);
  EXPECT_EQ(world_.event_log.entries.size(), 1u);
  EXPECT_EQ(world_.launcher.started.size(), 2u);
  EXPECT_TRUE(world_.notifier.messages.empty());
}

TEST_F(ReportTest, ExistingDefinitionFilesAreReplacedNotExtended) {
  WriteFile(AdminFile(), std::string(5000, '#'));
  WriteFile(UserFile(), std::string(5000, '%'));
  Generate(Request());
  EXPECT_EQ(ReadFile(AdminFile()).rfind("<ReportInfo>\r\n", 0), 0u);
  EXPECT_EQ(ReadFile(AdminFile()).find('#'), std::string::npos);
  EXPECT_EQ(ReadFile(UserFile()).find('%'), std::string::npos);
}

TEST_F(ReportTest, LineBreaksInTextsCannotForgeTags) {
  // A description that tries to make the generator include a file of its choosing.
  world_.Ran(10, "Sneaky\r\n<FileInclude>\r\n/etc/shadow", "Flow Runner", At(14, 5, 10),
             At(14, 6, 0));
  ReportRequest request = Request();
  request.job_description = "Job\n<FileInclude>\n/etc/passwd";
  request.log_to_event_log = true;
  Generate(request);

  const std::string admin = ReadFile(AdminFile());
  EXPECT_EQ(admin.find("\r\n<FileInclude>\r\n"), std::string::npos) << admin;
  EXPECT_NE(admin.find("Job Description\t: Job <FileInclude> /etc/passwd\r\n"), std::string::npos);
  EXPECT_NE(admin.find("Sneaky  <FileInclude>  /etc/shadow (Flow Runner)  :  OK\r\n"),
            std::string::npos);
  // The event log keeps the description as it is; its sinks deal with line breaks.
  ASSERT_EQ(world_.event_log.entries.size(), 1u);
  EXPECT_EQ(world_.event_log.entries[0].message,
            "\r\n\r\nJob 'Job\n<FileInclude>\n/etc/passwd' finished without errors.");
}

TEST_F(ReportTest, BlankLogFileNameGivesNoInclude) {
  std::ostringstream file;
  int level = 0;
  world_.Ran(10, "Blank log", "Flow Runner", At(14, 5, 10), At(14, 6, 0))->setLogFileName("   ");
  WriteJobLineReportEntry(file, *world_.lines.Line(10), level);
  EXPECT_EQ(file.str().find("<FileInclude>"), std::string::npos);
  EXPECT_EQ(file.str().find("<FileLink"), std::string::npos);
}

// The event log through the sink of the system, pointed at a file.
class EventLogFileTest : public ReportTest {
 protected:
  void SetUp() override { setenv("JOBRUNNER_EVENT_LOG", dir_.File("events.log").c_str(), 1); }
  void TearDown() override { unsetenv("JOBRUNNER_EVENT_LOG"); }
};

TEST_F(EventLogFileTest, OneLinePerRunWithTypeCategoryIdAndEscapedLineBreaks) {
  std::unique_ptr<EventLogSink> sink = MakeSystemEventLogSink();
  EngineEnv env = world_.EnvWith(*sink);
  const auto pause = [](std::chrono::milliseconds) {};
  ReportRequest request = Request();
  request.log_to_event_log = true;
  world_.clock.Set(At(14, 20, 0));
  GenerateReports(world_.lines, request, env, pause);

  world_.Ran(10, "Extract", "Flow Runner", At(14, 5, 10), At(14, 6, 0), true);
  request.job_description = "";
  GenerateReports(world_.lines, request, env, pause);

  request.log_to_event_log = false;
  GenerateReports(world_.lines, request, env, pause);

  EXPECT_EQ(ReadFile(dir_.File("events.log")),
            "Extraction Job Runner\t4\t0\t1\t\\r\\n\\r\\nJob 'Nightly extract' finished without "
            "errors.\n"
            "Extraction Job Runner\t1\t0\t1\t\\r\\n\\r\\nJob '' finished with error(s).\n");
  EXPECT_TRUE(world_.notifier.messages.empty());
}

TEST_F(EventLogFileTest, FailedWriteIsShownAndTheRunGoesOn) {
  // The file sink in a folder that does not exist fails with ENOENT.
  setenv("JOBRUNNER_EVENT_LOG", dir_.File("no/such/folder/events.log").c_str(), 1);
  std::unique_ptr<EventLogSink> sink = MakeSystemEventLogSink();
  EngineEnv env = world_.EnvWith(*sink);
  ReportRequest request = Request();
  request.log_to_event_log = true;
  world_.clock.Set(At(14, 20, 0));
  ReportOutcome outcome =
      GenerateReports(world_.lines, request, env, [](std::chrono::milliseconds) {});

  ASSERT_EQ(world_.notifier.messages.size(), 1u);
  EXPECT_EQ(world_.notifier.messages[0].title, "Extraction Job Runner");
  EXPECT_EQ(world_.notifier.messages[0].text, "Error 2 while writing event to NT Event Log.");
  EXPECT_EQ(world_.notifier.messages[0].icon, MessageIcon::kExclamation);
  EXPECT_EQ(outcome.error_level, 0);
  EXPECT_EQ(world_.launcher.started.size(), 2u);

  // Any sink's error number goes into the message as it is.
  world_.event_log.FailWith(28);
  world_.notifier.messages.clear();
  Generate(request);
  ASSERT_EQ(world_.notifier.messages.size(), 1u);
  EXPECT_EQ(world_.notifier.messages[0].text, "Error 28 while writing event to NT Event Log.");
}

}  // namespace
}  // namespace jr
