// Unattended runs of the built program, as cron starts them: real stand-in programs, a
// temporary registry, event log and metadata database, and the exit status.

#include <signal.h>
#include <sqlite3.h>

#include <regex>
#include <thread>

#include "support/unattended_run.h"

namespace jr {
namespace {

namespace fs = std::filesystem;
using test::ReadWholeFile;

class RunTest : public test::UnattendedRun {
 protected:
  int MetadataRows(int status) const {
    sqlite3* db = nullptr;
    sqlite3_stmt* statement = nullptr;
    int rows = -1;
    sqlite3_open_v2(dir_.File("metadata.sqlite").c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    const std::string sql =
        "SELECT count(*) FROM process_metadata WHERE entry_status = " + std::to_string(status);
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
      rows = sqlite3_column_int(statement, 0);
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return rows;
  }
};

TEST_F(RunTest, SuccessfulRunGivesProgramsTheirCommandLinesAndWritesEverything) {
  const std::string script = dir_.File("user.sh");
  test::WriteWholeFile(
      script, "#!/bin/sh\necho \"$@\" >\"" + dir_.File("user_args.txt") + "\"\necho ok >\"$1\"\n");
  fs::permissions(script, fs::perms::owner_all);
  AddLine({.number = "10", .type = "Flow Runner", .options = "-sleep 100"});
  AddLine({.number = "20", .type = "User Batchfile", .wait = "10", .batch_file = script});
  AddLine({.number = "30", .type = "Settings Editor", .active = "false"});

  test::ProgramOutcome outcome = Run();
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  const std::string folder = RunFolder(), run = RunName();
  const std::string timestamp = fs::path(folder).parent_path().filename().string();
  EXPECT_TRUE(std::regex_match(timestamp, std::regex(R"(\d{8}_\d{6})"))) << timestamp;
  EXPECT_TRUE(std::regex_match(run, std::regex(R"(SorelJob~[1-9]?\d*)"))) << run;

  // The catalogue program: its own options, then the switches with quoted file names;
  // the launcher hands each quoted name over as one argument without its quotes.
  const std::string record = ReadWholeFile(dir_.File("record.jsonl"));
  const std::string stem = folder + run + "_10";
  EXPECT_NE(record.find("\"-sleep\",\"100\",\"-StatusFile\",\"" + stem +
                        "FlowRun_Stat.txt\",\"-LogFile\",\"" + stem +
                        "FlowRun_Log.txt\",\"-job_id\",\"" + timestamp + "\""),
            std::string::npos)
      << record;
  EXPECT_NE(record.find(dir_.File("keld/utils/FlowRun.exe")), std::string::npos) << record;
  // The user script: status file, log file and the unquoted job id as positional arguments.
  EXPECT_EQ(ReadWholeFile(dir_.File("user_args.txt")), dir_.File("user_20_status.txt") + " " +
                                                           dir_.File("user_20_log.txt") + " " +
                                                           timestamp + "\n");

  const std::string admin = Definition("_RepDef.txt");
  EXPECT_NE(admin.find("line 10 (Flow Runner)  :  OK\r\n"), std::string::npos) << admin;
  EXPECT_NE(admin.find("line 20 (User Batchfile)  :  OK\r\n"), std::string::npos);
  EXPECT_EQ(admin.find("line 30"), std::string::npos);
  EXPECT_NE(Definition("_UserDef.txt").find("Execution Job\t: finished without errors.\r\n"),
            std::string::npos);
  EXPECT_NE(ReadWholeFile(dir_.File("admin.htm")).find("Flow Runner"), std::string::npos);
  EXPECT_FALSE(ReadWholeFile(dir_.File("user.htm")).empty());
  EXPECT_EQ(ReadWholeFile(dir_.File("events.log")),
            "Extraction Job Runner\t4\t0\t1\t\\r\\n\\r\\nJob 'Nightly test' finished without "
            "errors.\n");
  EXPECT_EQ(MetadataRows(0), 2);
  EXPECT_EQ(MetadataRows(3), 0);
}

TEST_F(RunTest, ExitStatusFollowsTheFinalStatusAndARepeatThatSucceedsIsNoError) {
  AddLine({.number = "10", .type = "Build Aggregates", .options = "-status failure"});
  EXPECT_EQ(Run().status, 1);
  EXPECT_EQ(MetadataRows(3), 1);

  job_.table.Set(kColStopOnError, 0, "true");
  AddLine({.number = "20", .type = "Flow Runner", .wait = "10"});
  EXPECT_EQ(Run().status, 2);
  EXPECT_NE(Definition("_UserDef.txt").find("finished with fatal error."), std::string::npos);
  EXPECT_NE(ReadWholeFile(dir_.File("events.log")).find("Extraction Job Runner\t1\t0\t1\t"),
            std::string::npos);

  // The status line names the line to repeat; the copy succeeds, so no copy of a copy.
  job_.table.AllocateAfresh();
  AddLine({.number = "10", .type = "Flow Runner", .options = "-first-status 10"});
  test::ProgramOutcome repeated = Run();
  EXPECT_EQ(Outcomes(), (std::vector<std::string>{"line 10 (Flow Runner)  :  FAILED",
                                                  "line 10 (Flow Runner) (Repeat)   :  OK"}));
  EXPECT_EQ(repeated.status, 0) << repeated.err;

  // A metadata store that cannot take the entries fails the run from inside: fatal.
  for (const char* suffix : {"-wal", "-shm"}) fs::remove(dir_.File("metadata.sqlite") + suffix);
  test::WriteWholeFile(dir_.File("metadata.sqlite"), std::string(4096, 'g'));
  test::ProgramOutcome broken = Run();
  EXPECT_EQ(broken.status, 2) << broken.err;
  EXPECT_NE(Definition("_UserDef.txt").find("finished with fatal error."), std::string::npos);
}

TEST_F(RunTest, RefusedJobFilesNoActiveLineAndLinesThatCanNeverStart) {
  test::ProgramOutcome missing = Launch({dir_.File("no such job.xml")});
  EXPECT_EQ(missing.status, 3);
  EXPECT_EQ(missing.err.rfind("Open: Job file does not exist\n", 0), 0u) << missing.err;
  test::WriteWholeFile(dir_.File("other.xml"), "<SomethingElse/>");
  test::ProgramOutcome other = Launch({dir_.File("other.xml")});
  EXPECT_EQ(other.status, 3);
  EXPECT_EQ(other.err.rfind("Open: This is no Orvex Job Extraction specification file\n", 0), 0u);

  AddLine({.number = "10", .type = "Flow Runner", .active = "True"});
  for (const char* maximum : {"0", "100", "abc", "", "2.5"}) {
    job_.MaxParallel = maximum;
    test::ProgramOutcome refused = Run();
    EXPECT_EQ(refused.status, 4) << maximum;
    EXPECT_NE(refused.err.find(std::string("\"") + maximum + "\""), std::string::npos)
        << refused.err;
    EXPECT_TRUE(fs::is_empty(dir_.File("logs")));  // nothing ran
  }

  // No active line ("True" is not "true"): the reports are still written.
  job_.MaxParallel = "4";
  EXPECT_EQ(Run().status, 0);
  EXPECT_TRUE(fs::exists(RunFolder() + RunName() + "_UserDef.txt"));
  EXPECT_TRUE(fs::exists(dir_.File("admin.htm")));
  EXPECT_FALSE(fs::exists(dir_.File("record.jsonl")));

  // Waiting on each other, or of no known type: a reason instead of a hang.
  job_.table.AllocateAfresh();
  AddLine({.number = "10", .type = "Flow Runner", .wait = "20"});
  AddLine({.number = "20", .type = "Flow Runner", .wait = "10"});
  AddLine({.number = "30", .type = "???"});
  // Lines that could not start are over: a line waiting for them runs.
  AddLine({.number = "40", .type = "Flow Runner", .wait = "30,10"});
  test::ProgramOutcome stuck = Run();
  EXPECT_EQ(stuck.status, 1);
  EXPECT_NE(stuck.err.find("job line 10"), std::string::npos) << stuck.err;
  EXPECT_NE(stuck.err.find("job line 30"), std::string::npos) << stuck.err;
  EXPECT_EQ(stuck.err.find("job line 40"), std::string::npos) << stuck.err;
  EXPECT_EQ(Outcomes().back(), "line 40 (Flow Runner)  :  OK");
}

TEST_F(RunTest, InterruptedRunEndsItsChildrenAndStillReports) {
  const std::string pid_file = dir_.File("grandchild.pid");
  AddLine({.number = "10",
           .type = "Flow Runner",
           .options = "-sleep 30000 -grandchild 30000 -grandchild-pid " + pid_file});
  AddLine({.number = "20", .type = "Flow Runner", .wait = "10"});
  // SIGHUP: the terminal of a run started by hand closes.
  for (int signal_number : {SIGTERM, SIGHUP}) {
    fs::remove(pid_file);
    test::RunningProgram running(Jobrunner(), {SaveJob()}, Env(), dir_.path());
    // Wait until the grandchild exists, so that the whole tree is under way.
    for (int i = 0; i < 500 && !fs::exists(pid_file); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(fs::exists(pid_file));
    running.Signal(signal_number);
    test::ProgramOutcome outcome = running.Wait(std::chrono::seconds(30));
    EXPECT_EQ(outcome.status, 2) << outcome.err;

    const pid_t grandchild = std::stoi(ReadWholeFile(pid_file));
    bool gone = false;
    for (int i = 0; i < 200 && !(gone = kill(grandchild, 0) != 0); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(gone) << "the grandchild outlived the interrupted run";
    EXPECT_EQ(Outcomes(), std::vector<std::string>{"line 10 (Flow Runner)  :  FAILED"});
    EXPECT_NE(Definition("_UserDef.txt").find("finished with fatal error."), std::string::npos);
  }
}

}  // namespace
}  // namespace jr
