#include "engine/scheduler.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "support/engine_fakes.h"
#include "support/test_paths.h"

namespace jr {
namespace {

using End = SchedulerOutcome::End;
using std::chrono::milliseconds;
using Events = std::vector<std::string>;

// The pass structure, with a launcher whose children end when the test says so.
class SchedulerPasses : public ::testing::Test {
 protected:
  SchedulerPasses() {
    hooks_.on_pause = [this](milliseconds) {
      ++pass_;
      if (between_passes_) between_passes_(pass_);
    };
  }

  clsJobLine& Add(int32_t number, std::string precedence = "") {
    clsJobLine& line = *lines_.Add(number);
    line.setProgramExecuter("/p/" + std::to_string(number));
    line.setStatusFileName("/s/" + std::to_string(number));
    line.setPrecedence(std::move(precedence));
    return line;
  }

  SchedulerOutcome Run(int32_t maximum) { return RunScheduler(lines_, maximum, test_.env, hooks_); }

  // Ends a line's process, leaving `status` (if any) as its status line.
  void Finish(int32_t number, const std::string& status = "ok") {
    clsJobLine& line = *lines_.Line(number);
    if (!status.empty()) files_.files[line.StatusFileName()] = status + "\n";
    launcher_.running.erase(line.ProcessId());
  }

  // Every pause ends every running line, with the given status lines ("ok" otherwise).
  void FinishEveryRunningLine(std::map<int32_t, std::string> statuses) {
    between_passes_ = [this, statuses](int) {
      for (clsJobLine& line : lines_) {
        auto found = statuses.find(line.JobLineNr());
        if (line.IsRunning())
          Finish(line.JobLineNr(), found == statuses.end() ? "ok" : found->second);
      }
    };
  }

  test::ScriptedLauncher launcher_;
  test::MemoryFileSystem files_;
  test::EngineTestEnv test_{launcher_, files_};
  test::RecordingHooks hooks_;
  clsJobLines lines_{test_.env.job_line_services()};
  int pass_ = 0;
  std::function<void(int)> between_passes_;
};

TEST_F(SchedulerPasses, AnEmptyCollectionEndsWithoutPausing) {
  EXPECT_EQ(Run(2).end, End::kAllOver);
  EXPECT_EQ(hooks_.pauses, 0);
}

TEST_F(SchedulerPasses, SlotsAndWaitsAreDecidedInCollectionOrderWithinAPass) {
  Add(5, "20");
  Add(10);
  Add(20);
  Add(30, "20");
  between_passes_ = [&](int pass) {
    const int32_t ends[] = {0, 20, 10, 30, 5};
    if (pass < 5) Finish(ends[pass]);
  };
  EXPECT_EQ(Run(2).end, End::kAllOver);
  EXPECT_EQ(hooks_.events,
            (Events{"started 10", "started 20", "pause 1000",
                    // 30 starts in the pass that ends 20; 5 was looked at before 20 ended.
                    "finished 20 ok", "started 30", "pause 1000",
                    // The slot of 10 goes to 5 only in the next pass.
                    "finished 10 ok", "pause 1000", "started 5", "finished 30 ok", "pause 1000",
                    "finished 5 ok"}));
  EXPECT_EQ(launcher_.log[0], "/p/10|");
}

TEST_F(SchedulerPasses, StatusLinesDecideTheOutcome) {
  Add(10);                        // "OK" with blanks while the process still runs
  Add(20);                        // "Failure": failed, and read as a list naming line 0
  Add(30);                        // no status file: failed
  Add(40);                        // "running", then the process ends: failed, nothing repeated
  Add(50).setStatusFileName("");  // succeeds when its process ends
  Add(60);                        // "RUNNING " keeps the line running while the process runs
  files_.files["/s/10"] = "stale verdict of an earlier run";
  between_passes_ = [&](int pass) {
    if (pass == 1) {
      files_.files["/s/10"] = "  OK \r\n";
      Finish(20, "Failure");
      Finish(30, "");
      Finish(40, "running");
      Finish(50, "");
      files_.files["/s/60"] = "RUNNING \n";
    }
    if (pass == 2) Finish(60);
  };
  EXPECT_EQ(Run(10).end, End::kAllOver);
  EXPECT_EQ(test_.metadata.statuses, (std::vector<int>{0, 3, 3, 3, 0, 0}));
  EXPECT_EQ(lines_.Count(), 6) << "no status line named a line";
  EXPECT_TRUE(launcher_.running.count(lines_.Line(10)->ProcessId())) << "not waited for";
  // Lines found finished by their status line hand their process back to the launcher.
  EXPECT_EQ(launcher_.forgotten, (std::vector<ProcessHandle>{1, 2, 6}));
}

TEST_F(SchedulerPasses, AStatusLineOfNumbersOrdersRepeatCopiesThatWaitLikeTheirOriginals) {
  Add(10);
  Add(20);
  Add(30, "20");
  FinishEveryRunningLine({{10, "30,20"}});
  EXPECT_EQ(Run(1).end, End::kAllOver);
  EXPECT_EQ(hooks_.Reports(),
            (Events{"started 10", "finished 10 failed", "repeated 30 as 40", "repeated 20 as 50",
                    "started 20", "finished 20 ok",
                    // 30 and its copy wait for 20 and, 20 being repeated, for its copy 50.
                    "started 50", "finished 50 ok", "started 30", "finished 30 ok", "started 40",
                    "finished 40 ok"}));
}

TEST_F(SchedulerPasses, SkippedLinesNeverApplyTheirOwnListsAndSkippingDoesNotSpread) {
  Add(10).setSkipOnSuccess("20,30");
  Add(20, "10").setRepeatOnError("10");
  lines_.Line(20)->setSkipOnError("40");
  Add(30);
  Add(40, "20");
  FinishEveryRunningLine({});
  EXPECT_EQ(Run(2).end, End::kAllOver);
  EXPECT_EQ(hooks_.Reports(), (Events{"started 10", "started 30", "finished 10 ok", "skipped 20",
                                      "finished 30 ok", "started 40", "finished 40 ok"}));
  EXPECT_EQ(lines_.Count(), 4);
}

TEST_F(SchedulerPasses, AFailingStopOnErrorLineEndsTheRunAtOnceAFailedStartDoesNot) {
  Add(10);
  Add(20).setStopOnError(true);
  Add(30);
  Add(40, "10");
  clsJobLine& bad = Add(5);
  bad.setStopOnError(true);
  bad.setRepeatOnError("10");
  launcher_.failing_programs.insert("/p/5");
  between_passes_ = [&](int pass) {
    if (pass == 1) Finish(20, "failure");
  };
  EXPECT_EQ(Run(4).end, End::kStopOnError);
  EXPECT_EQ(hooks_.events, (Events{"started 10", "started 20", "started 30", "finished 5 failed",
                                   "pause 1000", "finished 20 failed", "pause 1000"}));
  EXPECT_TRUE(lines_.Line(10)->IsRunning()) << "neither waited for nor stopped";
  EXPECT_EQ(lines_.Count(), 5) << "a failed start applies no list";
  EXPECT_TRUE(bad.ErrorOccured() && bad.AlreadyRun() && bad.ProcessId() == 0);
  EXPECT_NE(bad.StartingTime(), "");
  EXPECT_NE(bad.StopTime(), "");
  EXPECT_EQ(test_.metadata.statuses, (std::vector<int>{3, 3}));
}

TEST_F(SchedulerPasses, LinesThatCanNeverStartEndAsFailedStartsAndTheRunEnds) {
  Add(10).setRepeatOnSuccess("70");
  Add(20).setProgramExecuter("");
  Add(30, "40");
  Add(40, "30");
  Add(50, "60");
  Add(60);
  Add(70, "70");
  launcher_.failing_programs.insert("/p/60");
  FinishEveryRunningLine({});
  EXPECT_EQ(Run(1).end, End::kAllOver);
  EXPECT_EQ(hooks_.events,
            (Events{"cannot 20: it has no program to start",
                    "cannot 30: its wait list waits for itself through job line 40",
                    "cannot 40: its wait list waits for itself through job line 30",
                    "cannot 70: its wait list waits for itself", "started 10", "pause 1000",
                    "finished 10 ok", "repeated 70 as 80", "finished 60 failed",
                    // The copy of 70 waits for every copy of 70, itself among them.
                    "cannot 80: its wait list waits for itself",
                    // Nothing runs: 50, released by the failed start, goes on at once.
                    "pause 0", "started 50", "pause 1000", "finished 50 ok"}));
  for (const clsJobLine& line : lines_) {
    EXPECT_TRUE(line.AlreadyRun() && !line.StopTime().empty()) << line.JobLineNr();
  }
  EXPECT_EQ(test_.metadata.statuses.size(), 8u);
}

TEST_F(SchedulerPasses, AMaximumBelowOneEndsEveryLineBeforeTheFirstStart) {
  Add(10);
  EXPECT_EQ(Run(0).end, End::kAllOver);
  EXPECT_EQ(
      hooks_.Reports(),
      Events{"cannot 10: the maximum number of job lines running at the same time is 0, below 1"});
  EXPECT_TRUE(launcher_.log.empty());
}

TEST_F(SchedulerPasses, FailuresInsideAPassEndTheScheduler) {
  Add(10);
  files_.files["/s/10"] = "old";
  files_.fail_remove = true;
  SchedulerOutcome outcome = Run(1);
  EXPECT_EQ(outcome.end, End::kFailure);
  EXPECT_EQ(outcome.failure, "cannot delete /s/10");
  EXPECT_FALSE(lines_.Line(10)->AlreadyRun());

  files_.fail_remove = false;
  lines_.Clear();
  Add(10, "2000000");
  EXPECT_EQ(Run(1).end, End::kFailure) << "an entry outside the job line numbers";

  lines_.Clear();
  Add(999990);
  FinishEveryRunningLine({{999990, "999990"}});
  outcome = Run(1);
  EXPECT_EQ(outcome.end, End::kFailure);
  EXPECT_NE(outcome.failure.find("1000000"), std::string::npos) << outcome.failure;

  lines_.Clear();
  Add(10);
  Add(20);
  test_.metadata.fail_create = true;
  between_passes_ = [&](int) { Finish(10); };
  EXPECT_EQ(Run(2).end, End::kFailure);
  EXPECT_TRUE(lines_.Line(20)->IsRunning()) << "left running";
}

TEST_F(SchedulerPasses, AStopFromOutsideEndsTheChildrenAndFailsTheirLines) {
  Add(10);
  Add(20);
  Add(30);
  hooks_.stop = [&] { return pass_ >= 1; };
  EXPECT_EQ(Run(2).end, End::kInterrupted);
  EXPECT_EQ(launcher_.log.back(), "terminate");
  EXPECT_EQ(hooks_.Reports(),
            (Events{"started 10", "started 20", "finished 10 failed", "finished 20 failed"}));
  EXPECT_NE(lines_.Line(10)->StopTime(), "");
  EXPECT_FALSE(lines_.Line(30)->AlreadyRun());
  EXPECT_EQ(test_.metadata.statuses, (std::vector<int>{3, 3}));
}

// Real children: the stand-in program through the system launcher.
class SchedulerWithChildren : public ::testing::Test {
 protected:
  SchedulerWithChildren() {
    hooks_.on_pause = [this](milliseconds longest) { launcher_->WaitForExit(longest); };
  }
  ~SchedulerWithChildren() override { launcher_->TerminateAll(milliseconds(2000)); }

  // A catalogue line running the stand-in with `own` options.
  clsJobLine& Add(int32_t number, const std::string& own, std::string precedence = "") {
    clsJobLine& line = *lines_.Add(number);
    const std::string stem = dir_.File("R~1_" + std::to_string(number));
    line.setProgramType("Flow Runner");
    line.setProgramExecuter(test::BinDir() + "/standin");
    line.setCleanProgramOptions(own);
    line.setStatusFileName(stem + "Stat.txt");
    line.setLogFileName(stem + "Log.txt");
    line.setProgramOptions(own + " -StatusFile \"" + line.StatusFileName() + "\" -LogFile \"" +
                           line.LogFileName() + "\" -job_id \"20030307_140509\"");
    line.setPrecedence(std::move(precedence));
    return line;
  }

  // Runs and returns the milliseconds it took.
  long Run(int32_t maximum, End expected) {
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunScheduler(lines_, maximum, test_.env, hooks_).end, expected);
    return static_cast<long>(
        std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - start).count());
  }

  // Not running and no zombie, within `within`.
  static bool Gone(pid_t pid, milliseconds within = milliseconds(0)) {
    auto deadline = std::chrono::steady_clock::now() + within;
    while (std::filesystem::exists("/proc/" + std::to_string(pid))) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(milliseconds(10));
    }
    return true;
  }

  bool Failed(int32_t number) const { return lines_.Line(number)->ErrorOccured(); }

  test::TempDir dir_;
  std::unique_ptr<ProcessLauncher> launcher_ = MakeSystemProcessLauncher();
  test::EngineTestEnv test_{*launcher_, RealFileSystem()};
  test::RecordingHooks hooks_;
  clsJobLines lines_{test_.env.job_line_services()};
};

TEST_F(SchedulerWithChildren, ParallelLimitsOfOneAndTwo) {
  Add(10, "-sleep 800");
  Add(20, "-sleep 50");
  Add(30, "-sleep 50");
  Run(1, End::kAllOver);
  EXPECT_EQ(hooks_.Reports(), (Events{"started 10", "finished 10 ok", "started 20",
                                      "finished 20 ok", "started 30", "finished 30 ok"}));
  lines_.Clear();
  hooks_.events.clear();
  Add(10, "-sleep 800");
  Add(20, "-sleep 50");
  Add(30, "-sleep 50");
  EXPECT_LT(Run(2, End::kAllOver), 1500) << "ended children are noticed at once";
  EXPECT_EQ(hooks_.Reports(), (Events{"started 10", "started 20", "finished 20 ok", "started 30",
                                      "finished 30 ok", "finished 10 ok"}));
}

TEST_F(SchedulerWithChildren, TheStatusProtocolWithRealPrograms) {
  Add(10, "-status-early -status OK -sleep 20000");  // succeeds, still running
  Add(20, "-status failure");
  Add(30, "-no-status");
  Add(40, "-running-then-die -sleep 100");
  Add(50, "-status ok -exit 3");  // the exit code is never read
  clsJobLine& missing = Add(60, "");
  missing.setProgramExecuter(dir_.File("no-such-program"));
  missing.setStopOnError(true);
  Add(70, "", "80");
  Add(80, "", "70");
  EXPECT_LT(Run(8, End::kAllOver), 2500) << "a verdict of a running child: the next pass";
  EXPECT_FALSE(Failed(10) || Failed(50));
  EXPECT_TRUE(Failed(20) && Failed(30) && Failed(40) && Failed(60) && Failed(70) && Failed(80));
  EXPECT_EQ(lines_.Count(), 8);

  pid_t still_running = lines_.Line(10)->ProcessId();
  ASSERT_FALSE(Gone(still_running));
  ASSERT_EQ(kill(still_running, SIGKILL), 0);
  std::this_thread::sleep_for(milliseconds(100));
  launcher_->WaitForExit(milliseconds(0));
  for (int32_t number : {10, 20, 30, 40, 50}) {
    EXPECT_TRUE(Gone(lines_.Line(number)->ProcessId())) << "reaped: " << number;
  }
}

TEST_F(SchedulerWithChildren, RepeatRequestsSkipsAndChains) {
  // 30 asks for 10 and 20 again; the copy of 20 inherits 20's wait for 10 and so waits
  // for the copy of 10. 40 skips 50 when it succeeds; 60, waiting for 50, still runs.
  const std::string record = dir_.File("record.jsonl");
  Add(10, "-record " + record + " -sleep 100");
  Add(20, "-record " + record, "10");
  Add(30, "-status 10,20", "20");
  Add(40, "").setSkipOnSuccess("50");
  Add(50, "", "40").setSkipOnError("60");
  Add(60, "", "50");
  Run(2, End::kAllOver);
  ASSERT_EQ(lines_.Count(), 8);
  EXPECT_EQ(lines_.Line(70)->OriginalJobLineNr(), 10);
  EXPECT_EQ(lines_.Line(80)->OriginalJobLineNr(), 20);
  EXPECT_TRUE(Failed(30));
  EXPECT_TRUE(lines_.Line(50)->IsSkipped());
  EXPECT_FALSE(Failed(60) || Failed(70) || Failed(80));
  Events reports = hooks_.Reports();
  auto at = [&](const std::string& event) {
    return std::find(reports.begin(), reports.end(), event) - reports.begin();
  };
  EXPECT_LT(at("finished 70 ok"), at("started 80"));

  std::string first;
  std::getline(std::ifstream(dir_.File("R~1_20Stat_Rpt1.txt")), first);
  EXPECT_EQ(first, "ok") << "the copy wrote its own status file";
  std::ifstream in(record);
  std::vector<std::string> recorded;
  for (std::string line; std::getline(in, line);) recorded.push_back(line);
  ASSERT_EQ(recorded.size(), 4u);
  EXPECT_NE(recorded[0].find("\"-job_id\",\"20030307_140509\""), std::string::npos);
  EXPECT_EQ(recorded[3].find("-job_id"), std::string::npos) << "copies carry no job id";
}

TEST_F(SchedulerWithChildren, StopOnErrorEndsTheRunWhileOthersStillRun) {
  Add(10, "-sleep 20000");
  Add(20, "-status failure").setStopOnError(true);
  Add(30, "", "20");
  EXPECT_LT(Run(2, End::kStopOnError), 2500);
  EXPECT_TRUE(lines_.Line(10)->IsRunning());
  EXPECT_FALSE(Gone(lines_.Line(10)->ProcessId()));
  EXPECT_EQ(lines_.Line(30)->StartingTime(), "");
}

TEST_F(SchedulerWithChildren, AStopFromOutsideEndsWholeProcessTrees) {
  const std::string grandchild_file = dir_.File("grandchild.pid");
  Add(10, "-sleep 30000 -grandchild 30000 -grandchild-pid " + grandchild_file);
  Add(20, "-sleep 30000");
  Add(30, "");
  hooks_.stop = [&] { return std::filesystem::exists(grandchild_file) && hooks_.pauses > 0; };
  EXPECT_LT(Run(2, End::kInterrupted), 5000);
  pid_t grandchild = 0;
  std::ifstream(grandchild_file) >> grandchild;
  ASSERT_GT(grandchild, 0);
  EXPECT_TRUE(Gone(grandchild, milliseconds(3000)));
  for (int32_t number : {10, 20}) {
    EXPECT_TRUE(Failed(number) && !lines_.Line(number)->IsRunning()) << number;
    EXPECT_TRUE(Gone(lines_.Line(number)->ProcessId())) << "reaped, not a zombie";
  }
  EXPECT_FALSE(lines_.Line(30)->AlreadyRun());
}

}  // namespace
}  // namespace jr
