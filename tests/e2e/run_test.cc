// Unattended runs of the built program, as cron starts them: real stand-in programs, a
// temporary registry, event log and metadata database, and the exit status.

#include <signal.h>

#include "support/engine_fakes.h"
#include "support/unattended_run.h"

namespace jr {
namespace {

namespace fs = std::filesystem;
using test::Has;
using test::ReadWholeFile;

using RunTest = test::UnattendedRun;

TEST_F(RunTest, SuccessfulRunGivesProgramsTheirCommandLinesAndWritesEverything) {
  const std::string script =
      Script("user.sh",
             "#!/bin/sh\necho \"$@\" >\"" + dir_.File("user_args.txt") + "\"\necho ok >\"$1\"\n");
  AddLine({.number = 10, .type = "Flow Runner", .options = "-sleep 100"});
  AddLine({.number = 20, .type = "User Batchfile", .wait_for = {"10"}, .batch_file = script});

  test::ProgramOutcome outcome = Run();
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  const std::string folder = RunFolder(), run = RunName();
  const std::string timestamp = fs::path(folder).parent_path().filename().string();
  // The catalogue program: its own options, then the switches with quoted file names;
  // the launcher hands each quoted name over as one argument without its quotes.
  const std::string stem = folder + run + "_10";
  EXPECT_TRUE(Has(ReadWholeFile(dir_.File("record.jsonl")),
                  dir_.File("keld/utils/FlowRun.exe") +
                      "\",\"args\":[\"-sleep\",\"100\",\"-StatusFile\",\"" + stem +
                      "FlowRun_Stat.txt\",\"-LogFile\",\"" + stem +
                      "FlowRun_Log.txt\",\"-job_id\",\"" + timestamp + "\""));
  // The user script: status file, log file and the unquoted job id as positional arguments.
  EXPECT_EQ(ReadWholeFile(dir_.File("user_args.txt")), dir_.File("user_20_status.txt") + " " +
                                                           dir_.File("user_20_log.txt") + " " +
                                                           timestamp + "\n");
  EXPECT_EQ(Outcomes(), (std::vector<std::string>{"line 10 (Flow Runner)  :  OK",
                                                  "line 20 (User Batchfile)  :  OK"}));
  EXPECT_EQ(ReadWholeFile(dir_.File("events.log")),
            "Extraction Job Runner\t4\t0\t1\t\\r\\n\\r\\nJob 'Nightly test' finished without "
            "errors.\n");
}

TEST_F(RunTest, NoActiveLineAndLinesThatCanNeverStart) {
  // No active line ("True" is not "true"): the reports are still written.
  AddLine({.number = 10, .type = "Flow Runner"});
  job_.table.Set(kColActive, 0, "True");
  EXPECT_EQ(Run().status, 0);
  EXPECT_TRUE(fs::exists(dir_.File("admin.htm")));
  EXPECT_FALSE(fs::exists(dir_.File("record.jsonl")));

  // Waiting on each other: a reason on standard error instead of a hang.
  job_.table.Clear();
  AddLine({.number = 10, .type = "Flow Runner", .wait_for = {"20"}});
  AddLine({.number = 20, .type = "Flow Runner", .wait_for = {"10"}});
  test::ProgramOutcome stuck = Run();
  EXPECT_EQ(stuck.status, 1);
  EXPECT_TRUE(Has(stuck.err,
                  "jobrunner: job line 10 (line 10) cannot start: its wait list "
                  "waits for itself through job line 20\n"));
}

TEST_F(RunTest, InterruptedRunEndsItsChildrenAndStillReports) {
  const std::string pid_file = dir_.File("grandchild.pid");
  AddLine({.number = 10,
           .type = "Flow Runner",
           .options = "-sleep 30000 -grandchild 30000 -grandchild-pid " + pid_file});
  // SIGHUP: the terminal of a run started by hand closes.
  for (int signal_number : {SIGTERM, SIGHUP}) {
    fs::remove(pid_file);
    test::RunningProgram running(Jobrunner(), {SaveJob()}, Env(), dir_.path());
    // Wait until the grandchild exists, so that the whole tree is under way.
    ASSERT_TRUE(test::WaitUntil([&] { return fs::exists(pid_file); }, std::chrono::seconds(5)));
    running.Signal(signal_number);
    test::ProgramOutcome outcome = running.Wait(std::chrono::seconds(30));
    EXPECT_EQ(outcome.status, 2) << outcome.err;
    EXPECT_TRUE(test::Gone(std::stoi(ReadWholeFile(pid_file)), std::chrono::seconds(2)))
        << "the grandchild outlived the interrupted run";
    EXPECT_EQ(Outcomes(), std::vector<std::string>{"line 10 (Flow Runner)  :  FAILED"});
    EXPECT_TRUE(Has(Definition("_UserDef.txt"), "finished with fatal error."));
  }
}

TEST_F(RunTest, ALineAtItsTimeLimitIsEndedWithItsTreeAndItsErrorListsApply) {
  // A first attempt hangs with a grandchild; its repeat copy gets through. The line that
  // waits for it succeeds only when the grandchild is gone by then.
  const std::string pid_file = dir_.File("grandchild.pid");
  const std::string hang =
      Script("hang.sh",
             "#!/bin/sh\ncase \"$1\" in *_Rpt*) echo ok >\"$1\"; exit 0;; esac\n"
             "echo running >\"$1\"\nsleep 30 &\necho $! >\"" +
                 pid_file + "\"\nsleep 30\n");
  // An ended process may wait a while for its reaper; a zombie is gone too.
  const std::string check =
      Script("check.sh", "#!/bin/sh\nstate=$(grep '^State:' /proc/$(cat \"" + pid_file +
                             "\")/status)\ncase \"$state\" in ''|*Z*) echo ok;; *) echo "
                             "failure;; esac >\"$1\"\n");
  AddLine({.number = 10, .type = "User Batchfile", .batch_file = hang});
  job_.table.Set(kColTimeLimit, 0, "1");
  job_.table.Set(kColRepeatOnError, 0, "10");
  AddLine({.number = 20, .type = "User Batchfile", .wait_for = {"10"}, .batch_file = check});
  const auto started = std::chrono::steady_clock::now();
  const test::ProgramOutcome outcome = Run();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(8)) << outcome.err;
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_TRUE(Has(outcome.err,
                  "jobrunner: job line 10 (line 10): time limit of 1 s reached; the program was "
                  "ended\n"));
  EXPECT_EQ(Outcomes(), (std::vector<std::string>{"line 10 (User Batchfile)  :  FAILED",
                                                  "line 20 (User Batchfile)  :  OK",
                                                  "line 10 (User Batchfile) (Repeat)   :  OK"}));
}

TEST_F(RunTest, ALineThatRepeatsItselfStopsAtItsRepeatLimitAndTheRunGoesOn) {
  AddLine({.number = 10,
           .type = "User Batchfile",
           .repeat_on_error = {"10"},
           .batch_file = Script("fail.sh", "#!/bin/sh\necho failure >\"$1\"\n")});
  job_.table.Set(kColRepeatLimit, 0, "3");
  AddLine({.number = 20, .type = "Flow Runner", .wait_for = {"10"}});
  const test::ProgramOutcome outcome = Run();
  EXPECT_EQ(outcome.status, 1) << outcome.err;
  const std::string refused = "jobrunner: job line 10: repeated 3 times; no further repeat\n";
  EXPECT_TRUE(Has(outcome.err, refused));
  EXPECT_EQ(ReadWholeFile(dir_.File("user_10_log_Rpt3.txt")), refused);
  EXPECT_EQ(Outcomes().size(), 5u) << "10, its three copies and 20, which waited for them";
}

TEST_F(RunTest, TheJobsTimeLimitEndsTheRun) {
  AddLine({.number = 10, .type = "Flow Runner", .options = "-sleep 30000"});
  AddLine({.number = 20, .type = "Flow Runner", .wait_for = {"10"}});
  job_.JobTimeLimit = "1";
  const auto started = std::chrono::steady_clock::now();
  const test::ProgramOutcome outcome = Run();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(8));
  EXPECT_EQ(outcome.status, 2) << outcome.err;
  EXPECT_TRUE(Has(outcome.err,
                  "jobrunner: the job's time limit of 1 s was reached; running job lines were "
                  "ended\n"));
  EXPECT_TRUE(Has(Definition("_UserDef.txt"), "finished with fatal error."));
  EXPECT_FALSE(ReadWholeFile(dir_.File("admin.htm")).empty());
  EXPECT_FALSE(ReadWholeFile(dir_.File("user.htm")).empty());
}

// A program that ignores the request to end is killed once the grace after its own time
// limit has passed, not the grace after the job's; a line ended by the stop ends when its
// program did, not when the last program of the run did.
TEST_F(RunTest, EachLineEndsWhenItsProgramDidWithinTheGraceOfTheFirstLimit) {
  const std::string stubborn = dir_.File("stubborn.sh"), polite = dir_.File("polite.sh");
  test::WriteWholeFile(stubborn, "#!/bin/sh\ntrap '' TERM\nsleep 30\n");
  test::WriteWholeFile(polite, "#!/bin/sh\nsleep 30\n");
  AddLine({.number = 10, .type = "User Batchfile", .batch_file = stubborn});
  job_.table.Set(kColTimeLimit, 0, "1");
  AddLine({.number = 20, .type = "User Batchfile", .batch_file = polite});
  job_.JobTimeLimit = "8";
  const auto started = std::chrono::steady_clock::now();
  const test::ProgramOutcome outcome = Run();
  // The grace is 10 s: 11 s after the start, where the job's limit would give 18.
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(15)) << outcome.err;
  EXPECT_EQ(outcome.status, 2) << outcome.err;
  const std::string job = dir_.File("job.xml");
  const nlohmann::json lines = History({job, History({job})[0]["run_id"]})["lines"];
  ASSERT_EQ(lines.size(), 2u) << lines;
  EXPECT_LT(lines[1]["end"].get<std::string>(), lines[0]["end"].get<std::string>()) << lines;
}

// Cron mails whatever reaches standard error: a clean run leaves nothing there, however
// much its programs say (that goes to their output files), one that went wrong ends with
// what went wrong and where to look.
TEST_F(RunTest, StandardErrorHoldsOnlyNewsASummaryOfARunThatWentWrong) {
  const std::string chatty = dir_.File("chatty.sh");
  test::WriteWholeFile(chatty, "#!/bin/sh\nseq 5000\necho complaint >&2\necho ok >\"$1\"\n");
  AddLine({.number = 10, .type = "User Batchfile", .batch_file = chatty});
  AddLine({.number = 15, .type = "Flow Runner"});
  const test::ProgramOutcome clean = Run();
  EXPECT_EQ(clean.status, 0);
  EXPECT_EQ(clean.out + clean.err, "");
  const std::string output = RunFolder() + RunName() + "_10_user_10_log_Output.txt";
  EXPECT_TRUE(ReadWholeFile(output).ends_with("\n4999\n5000\ncomplaint\n"));
  EXPECT_EQ(std::ranges::count_if(
                fs::directory_iterator(RunFolder()),
                [](auto& file) { return file.path().string().ends_with("_Output.txt"); }),
            1)
      << "a line that wrote nothing has no output file";
  const std::string script = dir_.File("user.sh"), missing = dir_.File("missing.sh");
  test::WriteWholeFile(script,
                       "#!/bin/sh\nfor n in 1 2 3 4 5 6; do echo step$n; done >$2\n"
                       "echo gone wrong >&2\nexit 3");
  AddLine({.number = 20, .type = "User Batchfile", .batch_file = script});
  AddLine({.number = 30, .type = "User Batchfile", .wait_for = {"20"}, .batch_file = missing});
  const test::ProgramOutcome failed = Run();
  EXPECT_EQ(failed.status, 1);
  // Named at the start, when it fails with the system's reason, which its log file and so
  // the administrators' report keep, and at the end with what became of it.
  const std::string cause = "could not start " + missing + ": No such file or directory";
  EXPECT_TRUE(failed.err.starts_with(
      "jobrunner: warning: " + dir_.File("job.xml") + ": job line 30 (line 30): the program \"" +
      missing +
      "\" is not found; the line will fail to start\njobrunner: job line 30 (line 30): " + cause +
      "\nJob \"Nightly test\": finished with error(s).\n  job line 20 (line 20): failed after "))
      << failed.err;
  EXPECT_TRUE(Has(ReadWholeFile(dir_.File("admin.htm")), cause));
  EXPECT_TRUE(Has(ReadWholeFile(dir_.File("admin.htm")), RunName() + "_20_user_20_log_Output.txt"));
  EXPECT_TRUE(Has(failed.err,
                  "\n      step2\n      step3\n      step4\n      step5\n      step6\n"
                  "    output file " +
                      RunFolder() + RunName() +
                      "_20_user_20_log_Output.txt"
                      ", last lines:\n      gone wrong\n"
                      "  job line 30 (line 30): did not start: the program \"" +
                      missing + "\" could not be started\n    log file " +
                      dir_.File("user_30_log.txt") + ", last lines:\n      jobrunner: " + cause +
                      "\n"));
  EXPECT_TRUE(failed.err.ends_with("  run folder: " + RunFolder() + "\n  reports:    " +
                                   job_.LogFile + "\n              " + job_.UserFile + "\n"));
}

// What a run needs before its first line is looked at first. A metadata database below a
// file has no place, a registry file named but missing leaves no program: either refuses
// the run before anything starts, under cron's next to empty environment too. --check names
// what is missing; --strict makes that a failure.
TEST_F(RunTest, WhatARunNeedsBeforeItsFirstLineIsThereOrNothingStarts) {
  AddLine({.number = 10, .type = "Flow Runner"});
  const std::string job = SaveJob();
  auto bare = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"-i", "PATH=/usr/bin:/bin"});
    args.insert(args.end(), {Jobrunner(), job});
    return test::RunProgram("/usr/bin/env", args, {}, dir_.path());
  };
  const test::ProgramOutcome homeless = bare(
      {"JOBRUNNER_REGISTRY=" + dir_.File("registry.reg"), "JOBRUNNER_METADATA_DB=" + job + "/db"});
  EXPECT_EQ(homeless.status, 4);
  EXPECT_TRUE(Has(homeless.err, "jobrunner: error: " + job +
                                    ": no place for the process metadata database: \"" + job +
                                    "\" is no folder"));
  const test::ProgramOutcome unregistered =
      bare({"JOBRUNNER_REGISTRY=" + dir_.File("none.reg"), "HOME=" + dir_.path()});
  EXPECT_EQ(unregistered.status, 4);
  EXPECT_TRUE(Has(unregistered.err, "none.reg\" named by JOBRUNNER_REGISTRY cannot be read"));
  EXPECT_TRUE(fs::is_empty(dir_.File("logs")));

  const test::ProgramOutcome clean = Launch({"--check", "--strict", job});
  EXPECT_EQ(clean.status, 0);
  EXPECT_EQ(clean.err, "");
  AddLine({.number = 20, .type = "User Batchfile", .batch_file = dir_.File("missing.sh")});
  // Scripts that would not start as meant, although they are there.
  const std::string windows = dir_.File("w.sh"), ksh = dir_.File("k.sh");
  test::WriteWholeFile(windows, "#!/bin/sh\r\n");
  test::WriteWholeFile(ksh, "#!/nonexistent/ksh\n");
  AddLine({.number = 30, .type = "User Batchfile", .batch_file = windows});
  AddLine({.number = 40, .type = "User Batchfile", .batch_file = ksh});
  const std::string changed = SaveJob();
  const test::ProgramOutcome named = Launch({"--check", changed});
  EXPECT_EQ(named.status, 0);
  EXPECT_TRUE(Has(named.err, "jobrunner: warning: " + changed + ": job line 20 (line 20)"));
  EXPECT_TRUE(Has(named.err, "(line 30): the program \"" + windows +
                                 "\" cannot be started: its #! line has Windows line endings "
                                 "(CR LF); the line will fail to start\n"));
  EXPECT_TRUE(Has(named.err, "(line 40): the program \"" + ksh +
                                 "\" cannot be started: its #! interpreter /nonexistent/ksh: No "
                                 "such file or directory; the line"));
  EXPECT_EQ(Launch({"--check", "--strict", changed}).status, 1);
  EXPECT_EQ(Launch({"--strict", changed}).status, 64);
}

// The script of Make Batch File, made on a server without a display, runs the job under
// cron's next to empty environment with the runner's JOBRUNNER_* variables.
TEST_F(RunTest, ABatchFileFromTheCommandLineRunsTheJobWithTheRunnersVariables) {
  AddLine({.number = 10, .type = "Flow Runner"});
  const std::string job = dir_.File("it's a $HOME job.xml"), script = dir_.File("run job.sh");
  const std::string db = dir_.File("it's the $HOME db");
  fs::copy_file(SaveJob(), job);
  const std::map<std::string, std::string> env = {{"JOBRUNNER_METADATA_DB", db}};
  const test::ProgramOutcome printed = Launch({"--batch-file", job}, env);
  EXPECT_EQ(Launch({"--batch-file", job, script}, env).status, 0);
  EXPECT_EQ(ReadWholeFile(script), printed.out);
  // The credential folder the editor's user filled, not left to cron's environment.
  EXPECT_NE(printed.out.find("export JOBRUNNER_CREDENTIALS_DIR='/"), std::string::npos);
  const test::ProgramOutcome cron =
      test::RunProgram("/usr/bin/env", {"-i", "PATH=/usr/bin:/bin", script}, {}, dir_.path());
  EXPECT_TRUE(cron.status == 0 && fs::exists(db)) << cron.err;
  EXPECT_EQ(Launch({"--batch-file", dir_.File("none.xml")}).status, 3);
  EXPECT_EQ(Launch({"--batch-file", job, dir_.File("none/run.sh")}).status, 74);
}

}  // namespace
}  // namespace jr
