// Unattended runs of the built program, as cron starts them: real stand-in programs, a
// temporary registry, event log and metadata database, and the exit status.

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>

#include <filesystem>
#include <regex>
#include <thread>

#include "jobfile/job_file.h"
#include "support/run_program.h"
#include "support/test_paths.h"

namespace jr {
namespace {

namespace fs = std::filesystem;
using test::ProgramOutcome;
using test::ReadWholeFile;
using test::WriteWholeFile;

struct LineSpec {
  std::string number;
  std::string type;
  std::string options;
  std::string wait;
  bool stop_on_error = false;
  std::string active = "true";
  std::string batch_file;
  std::string skip_on_error, skip_on_success, repeat_on_error, repeat_on_success;
};

class RunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ProgramOutcome made = test::RunProgram(
        "/bin/bash", {test::SourceDir() + "/scripts/make-utilities.sh", dir_.path(), test::BinDir()},
        {}, dir_.path());
    ASSERT_EQ(made.status, 0) << made.err;
    fs::create_directories(dir_.File("logs"));
    job_.Description = "Nightly test";
    job_.LogFile = dir_.File("admin.htm");
    job_.UserFile = dir_.File("user.htm");
    job_.TempLogDir = dir_.File("logs");
    job_.LogToEventLog = true;
    job_.MaxParallel = "4";
  }

  void AddLine(const LineSpec& spec) {
    JobLineTable& table = job_.table;
    const int row = table.Get_BatchLine_Count();
    table.SetJobLineCount(row + 1);
    const std::string description = "line " + spec.number;
    const std::string stop = spec.stop_on_error ? "true" : "false";
    const std::string* cells[] = {&spec.number, &description, &spec.type, &spec.options, &spec.wait,
                                  &stop, &spec.active, &spec.batch_file, nullptr, nullptr,
                                  &spec.skip_on_error, &spec.skip_on_success,
                                  &spec.repeat_on_error, &spec.repeat_on_success};
    for (int column = 0; column < JobLineTable::kColumnCount; ++column) {
      table.Set(column, row, cells[column] ? Cell(*cells[column]) : Cell(std::string()));
    }
    if (!spec.batch_file.empty()) {
      table.Set(kColBatchLogFile, row, dir_.File("user_" + spec.number + "_log.txt"));
      table.Set(kColBatchStatusFile, row, dir_.File("user_" + spec.number + "_status.txt"));
    }
  }

  std::map<std::string, std::string> Env() const {
    return {{"JOBRUNNER_REGISTRY", dir_.File("registry.reg")},
            {"JOBRUNNER_EVENT_LOG", dir_.File("events.log")},
            {"JOBRUNNER_METADATA_DB", dir_.File("metadata.sqlite")},
            {"STANDIN_OPTIONS", "-record " + dir_.File("record.jsonl")}};
  }

  std::string SaveJob() {
    const std::string path = dir_.File("job.xml");
    EXPECT_TRUE(WriteJobFile(path, job_, "2026-12-06 12:00:00").ok);
    return path;
  }

  ProgramOutcome Run() { return test::RunProgram(Jobrunner(), {SaveJob()}, Env(), dir_.path()); }

  std::string Jobrunner() const { return test::BinDir() + "/jobrunner"; }

  // The one run folder below the log-file folder.
  std::string RunFolder() const {
    std::vector<std::string> folders;
    for (const auto& entry : fs::directory_iterator(dir_.File("logs"))) {
      folders.push_back(entry.path().string());
    }
    EXPECT_EQ(folders.size(), 1u);
    return folders.empty() ? "" : folders.front() + "/";
  }

  // The run name, from the administrators' definition file in the run folder.
  std::string RunName(const std::string& run_folder) const {
    for (const auto& entry : fs::directory_iterator(run_folder)) {
      std::string name = entry.path().filename().string();
      const std::string suffix = "_RepDef.txt";
      if (name.size() > suffix.size() && name.ends_with(suffix)) {
        return name.substr(0, name.size() - suffix.size());
      }
    }
    return "";
  }

  int MetadataRows(int status) const {
    sqlite3* db = nullptr;
    int rows = -1;
    if (sqlite3_open_v2(dir_.File("metadata.sqlite").c_str(), &db, SQLITE_OPEN_READONLY,
                        nullptr) == SQLITE_OK) {
      sqlite3_stmt* statement = nullptr;
      const std::string sql =
          "SELECT count(*) FROM process_metadata WHERE entry_status = " + std::to_string(status);
      if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
          sqlite3_step(statement) == SQLITE_ROW) {
        rows = sqlite3_column_int(statement, 0);
      }
      sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return rows;
  }

  test::TempDir dir_;
  JobDocument job_;
};

TEST_F(RunTest, SuccessfulRunGivesProgramsTheirCommandLinesAndWritesEverything) {
  const std::string script = dir_.File("user.sh");
  WriteWholeFile(script, "#!/bin/sh\necho \"$@\" >\"" + dir_.File("user_args.txt") +
                             "\"\necho ok >\"$1\"\n");
  fs::permissions(script, fs::perms::owner_all);
  AddLine({.number = "10", .type = "Flow Runner", .options = "-sleep 100"});
  AddLine({.number = "20", .type = "User Batchfile", .wait = "10", .batch_file = script});
  AddLine({.number = "30", .type = "Settings Editor", .active = "false"});

  ProgramOutcome outcome = Run();
  ASSERT_EQ(outcome.status, 0) << outcome.err;

  const std::string folder = RunFolder();
  const std::string timestamp = fs::path(folder).parent_path().filename().string();
  EXPECT_TRUE(std::regex_match(timestamp, std::regex(R"(\d{8}_\d{6})"))) << timestamp;
  const std::string run = RunName(folder);
  EXPECT_TRUE(std::regex_match(run, std::regex(R"(SorelJob~[1-9]?\d*)"))) << run;

  // The catalogue program: its own options, then the switches with quoted file names;
  // the launcher hands each quoted name over as one argument without its quotes.
  const std::string record = ReadWholeFile(dir_.File("record.jsonl"));
  const std::string stem = folder + run + "_10";
  EXPECT_NE(record.find("\"-sleep\",\"100\",\"-StatusFile\",\"" + stem + "FlowRun_Stat.txt\",\"-LogFile\",\"" +
                        stem + "FlowRun_Log.txt\",\"-job_id\",\"" + timestamp + "\""),
            std::string::npos)
      << record;
  EXPECT_NE(record.find(dir_.File("keld/utils/FlowRun.exe")), std::string::npos) << record;
  // The user script: status file, log file and the unquoted job id as positional
  // arguments.
  EXPECT_EQ(ReadWholeFile(dir_.File("user_args.txt")),
            dir_.File("user_20_status.txt") + " " + dir_.File("user_20_log.txt") + " " +
                timestamp + "\n");

  const std::string admin = ReadWholeFile(folder + run + "_RepDef.txt");
  EXPECT_NE(admin.find("line 10 (Flow Runner)  :  OK\r\n"), std::string::npos) << admin;
  EXPECT_NE(admin.find("line 20 (User Batchfile)  :  OK\r\n"), std::string::npos);
  EXPECT_EQ(admin.find("line 30"), std::string::npos);
  const std::string user = ReadWholeFile(folder + run + "_UserDef.txt");
  EXPECT_NE(user.find("Execution Job\t: finished without errors.\r\n"), std::string::npos) << user;
  EXPECT_NE(ReadWholeFile(dir_.File("admin.htm")).find("Flow Runner"), std::string::npos);
  EXPECT_FALSE(ReadWholeFile(dir_.File("user.htm")).empty());

  EXPECT_EQ(ReadWholeFile(dir_.File("events.log")),
            "Extraction Job Runner\t4\t0\t1\t\\r\\n\\r\\nJob 'Nightly test' finished without "
            "errors.\n");
  EXPECT_EQ(MetadataRows(0), 2);
  EXPECT_EQ(MetadataRows(3), 0);
}

TEST_F(RunTest, ExitStatusFollowsTheFinalStatus) {
  AddLine({.number = "10", .type = "Build Aggregates", .options = "-status failure"});
  EXPECT_EQ(Run().status, 1);
  EXPECT_EQ(MetadataRows(3), 1);

  fs::remove_all(dir_.File("logs"));
  fs::create_directories(dir_.File("logs"));
  job_.table.Set(kColStopOnError, 0, "true");
  AddLine({.number = "20", .type = "Flow Runner", .wait = "10"});
  ProgramOutcome fatal = Run();
  EXPECT_EQ(fatal.status, 2);
  const std::string folder = RunFolder();
  EXPECT_NE(ReadWholeFile(folder + RunName(folder) + "_UserDef.txt")
                .find("finished with fatal error."),
            std::string::npos);
  EXPECT_NE(ReadWholeFile(dir_.File("events.log")).find("Extraction Job Runner\t1\t0\t1\t"),
            std::string::npos);
}

TEST_F(RunTest, RepeatedFailureIsNoErrorWhenTheRepeatSucceeds) {
  // The status line names the line to repeat; the copy of a copy is never made since the
  // copy succeeds.
  AddLine({.number = "10", .type = "Flow Runner", .options = "-first-status 10"});
  ProgramOutcome outcome = Run();
  const std::string folder = RunFolder();
  const std::string admin = ReadWholeFile(folder + RunName(folder) + "_RepDef.txt");
  EXPECT_NE(admin.find("line 10 (Flow Runner)  :  FAILED"), std::string::npos) << admin;
  EXPECT_NE(admin.find("line 10 (Flow Runner) (Repeat)   :  OK"), std::string::npos) << admin;
  EXPECT_EQ(outcome.status, 0) << outcome.err;
}

TEST_F(RunTest, RefusedJobFilesAndMaximums) {
  ProgramOutcome missing =
      test::RunProgram(Jobrunner(), {dir_.File("no such job.xml")}, Env(), dir_.path());
  EXPECT_EQ(missing.status, 3);
  EXPECT_EQ(missing.err, "Open: Job file does not exist\n");

  WriteWholeFile(dir_.File("other.xml"), "<SomethingElse/>");
  ProgramOutcome other = test::RunProgram(Jobrunner(), {dir_.File("other.xml")}, Env(), dir_.path());
  EXPECT_EQ(other.status, 3);
  EXPECT_EQ(other.err, "Open: This is no Orvex Job Extraction specification file\n");

  AddLine({.number = "10", .type = "Flow Runner"});
  for (const char* maximum : {"0", "100", "abc", "", "2.5"}) {
    job_.MaxParallel = maximum;
    ProgramOutcome refused = Run();
    EXPECT_EQ(refused.status, 4) << maximum;
    EXPECT_NE(refused.err.find(std::string("\"") + maximum + "\""), std::string::npos)
        << refused.err;
  }
  // Nothing ran: no run folder was made.
  EXPECT_TRUE(fs::is_empty(dir_.File("logs")));
}

TEST_F(RunTest, JobWithoutActiveLinesStillWritesItsReports) {
  AddLine({.number = "10", .type = "Flow Runner", .active = "True"});
  ProgramOutcome outcome = Run();
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  const std::string folder = RunFolder();
  EXPECT_TRUE(fs::exists(folder + RunName(folder) + "_UserDef.txt"));
  EXPECT_TRUE(fs::exists(dir_.File("admin.htm")));
  EXPECT_FALSE(fs::exists(dir_.File("record.jsonl")));
}

TEST_F(RunTest, LinesThatCanNeverStartFailWithAReasonInsteadOfHanging) {
  AddLine({.number = "10", .type = "Flow Runner", .wait = "20"});
  AddLine({.number = "20", .type = "Flow Runner", .wait = "10"});
  AddLine({.number = "30", .type = "???"});
  ProgramOutcome outcome = Run();
  EXPECT_EQ(outcome.status, 1);
  EXPECT_NE(outcome.err.find("job line 10"), std::string::npos) << outcome.err;
  EXPECT_NE(outcome.err.find("job line 30"), std::string::npos) << outcome.err;
}

TEST_F(RunTest, InterruptedRunEndsItsChildrenAndStillReports) {
  AddLine({.number = "10", .type = "Flow Runner",
           .options = "-sleep 30000 -grandchild 30000 -grandchild-pid " + dir_.File("grandchild.pid")});
  AddLine({.number = "20", .type = "Flow Runner", .wait = "10"});
  test::RunningProgram running(Jobrunner(), {SaveJob()}, Env(), dir_.path());
  // Wait until the grandchild exists, so that the whole tree is under way.
  for (int i = 0; i < 500 && !fs::exists(dir_.File("grandchild.pid")); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(fs::exists(dir_.File("grandchild.pid")));
  running.Signal(SIGTERM);
  ProgramOutcome outcome = running.Wait(std::chrono::seconds(30));
  EXPECT_EQ(outcome.status, 2) << outcome.err;

  const pid_t grandchild = std::stoi(ReadWholeFile(dir_.File("grandchild.pid")));
  bool gone = false;
  for (int i = 0; i < 200 && !gone; ++i) {
    gone = kill(grandchild, 0) != 0;
    if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(gone) << "the grandchild outlived the interrupted run";

  const std::string folder = RunFolder();
  const std::string admin = ReadWholeFile(folder + RunName(folder) + "_RepDef.txt");
  EXPECT_NE(admin.find("line 10 (Flow Runner)  :  FAILED"), std::string::npos) << admin;
  EXPECT_EQ(admin.find("line 20"), std::string::npos);
  EXPECT_NE(ReadWholeFile(folder + RunName(folder) + "_UserDef.txt").find("finished with fatal error."),
            std::string::npos);
}

}  // namespace
}  // namespace jr
