#include "engine/scheduler.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

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

// ---------------------------------------------------------------------------------------
// The pass structure, with a launcher whose children end when the test says so.

class SchedulerPasses : public ::testing::Test {
 protected:
  SchedulerPasses() : surroundings_(launcher_, files_) {
    hooks_.on_pause = [this](milliseconds) {
      ++pass_;
      if (between_passes_) between_passes_(pass_);
    };
  }

  // A line running "/p/NR" with a status file "/s/NR" (or none when `status` is false).
  clsJobLine& Add(int32_t number, std::string precedence = "", bool status = true) {
    clsJobLine& line = *lines_.Add(number);
    line.setProgramExecuter("/p/" + std::to_string(number));
    line.setProgramOptions("-x");
    line.setPrecedence(std::move(precedence));
    if (status) line.setStatusFileName("/s/" + std::to_string(number));
    return line;
  }

  SchedulerOutcome Run(int32_t maximum) {
    return RunScheduler(lines_, maximum, surroundings_.env, hooks_);
  }

  // Ends the process of a line and leaves `status` as its status line.
  void Finish(int32_t number, const std::string& status = "ok") {
    clsJobLine& line = *lines_.Line(number);
    if (!status.empty()) files_.Write(line.StatusFileName(), status + "\n");
    launcher_.End(line.ProcessId());
  }

  // From now on every pause ends every running line, with the given status lines ("ok"
  // for lines not named).
  void FinishEveryRunningLine(std::map<int32_t, std::string> statuses) {
    between_passes_ = [this, statuses](int) {
      for (clsJobLine& line : lines_) {
        if (!line.IsRunning()) continue;
        auto found = statuses.find(line.JobLineNr());
        Finish(line.JobLineNr(), found == statuses.end() ? "ok" : found->second);
      }
    };
  }

  test::ScriptedLauncher launcher_;
  test::MemoryFileSystem files_;
  test::EngineTestEnv surroundings_;
  test::RecordingHooks hooks_;
  clsJobLines lines_{surroundings_.env.job_line_services()};
  int pass_ = 0;
  std::function<void(int)> between_passes_;
};

TEST_F(SchedulerPasses, AnEmptyCollectionEndsWithoutPausing) {
  EXPECT_EQ(Run(2).end, End::kAllOver);
  EXPECT_EQ(hooks_.pauses(), 0);
}

TEST_F(SchedulerPasses, MaximumOneRunsLinesOneAfterTheOther) {
  Add(10);
  Add(20);
  Add(30);
  between_passes_ = [&](int pass) {
    if (pass == 1) Finish(10);
    if (pass == 2) Finish(20);
    if (pass == 3) Finish(30);
  };
  EXPECT_EQ(Run(1).end, End::kAllOver);
  EXPECT_EQ(hooks_.Reports(), (Events{"started 10", "finished 10 ok", "started 20",
                                      "finished 20 ok", "started 30", "finished 30 ok"}));
  EXPECT_EQ(hooks_.pauses(), 3);
  EXPECT_EQ(surroundings_.metadata.entries().size(), 3u);
}

TEST_F(SchedulerPasses, AFreedSlotGoesToALaterLineInTheSamePassAndAnEarlierOneInTheNext) {
  Add(5, "20");
  Add(10);
  Add(20);
  Add(30);
  between_passes_ = [&](int pass) {
    if (pass == 1) Finish(20);
    if (pass == 2) Finish(10);
    if (pass == 3) Finish(30);
    if (pass == 4) Finish(5);
  };
  EXPECT_EQ(Run(2).end, End::kAllOver);
  EXPECT_EQ(hooks_.events(),
            (Events{"started 10", "started 20", "pause 1000",      // 30 finds no slot
                    "finished 20 ok", "started 30", "pause 1000",  // 5 was looked at first
                    "finished 10 ok", "pause 1000",                // 5 was looked at first
                    "started 5", "finished 30 ok", "pause 1000", "finished 5 ok"}));
}

TEST_F(SchedulerPasses, ALineStartsInThePassThatEndsWhatItWaitsFor) {
  Add(10);
  Add(20, "10");
  between_passes_ = [&](int pass) {
    if (pass == 1) Finish(10);
    if (pass == 2) Finish(20);
  };
  EXPECT_EQ(Run(5).end, End::kAllOver);
  EXPECT_EQ(hooks_.events(), (Events{"started 10", "pause 1000", "finished 10 ok", "started 20",
                                     "pause 1000", "finished 20 ok"}));
  EXPECT_EQ(launcher_.log()[0], "start /p/10|-x");
}

TEST_F(SchedulerPasses, StatusLinesDecideTheOutcome) {
  Add(10);             // "OK" with blanks while the process still runs
  Add(20);             // "Failure": failed, and read as a list naming line 0
  Add(30);             // no status file: failed
  Add(40);             // "running", then the process ends: failed, nothing repeated
  Add(50, "", false);  // no status file name: succeeds when the process ends
  Add(60);             // "RUNNING " keeps the line running while the process runs
  between_passes_ = [&](int pass) {
    if (pass == 1) {
      files_.Write("/s/10", "  OK \r\n");
      Finish(20, "Failure");
      Finish(30, "");
      Finish(40, "running");
      launcher_.End(lines_.Line(50)->ProcessId());
      files_.Write("/s/60", "RUNNING \n");
    }
    if (pass == 2) Finish(60, "ok");
  };
  EXPECT_EQ(Run(10).end, End::kAllOver);
  EXPECT_FALSE(lines_.Line(10)->ErrorOccured());
  EXPECT_TRUE(launcher_.Runs(lines_.Line(10)->ProcessId())) << "not waited for";
  // Lines finished by their status line hand their process back; the others were found
  // through their ended process.
  EXPECT_EQ(launcher_.forgotten(),
            (std::vector<ProcessHandle>{lines_.Line(10)->ProcessId(), lines_.Line(20)->ProcessId(),
                                        lines_.Line(60)->ProcessId()}));
  EXPECT_TRUE(lines_.Line(20)->ErrorOccured());
  EXPECT_TRUE(lines_.Line(30)->ErrorOccured());
  EXPECT_TRUE(lines_.Line(40)->ErrorOccured());
  EXPECT_FALSE(lines_.Line(50)->ErrorOccured());
  EXPECT_FALSE(lines_.Line(60)->ErrorOccured());
  EXPECT_EQ(lines_.Count(), 6) << "no status line named a line";
  std::vector<int> statuses;
  for (const auto& entry : surroundings_.metadata.entries()) statuses.push_back(entry.status);
  EXPECT_EQ(statuses, (std::vector<int>{0, 3, 3, 3, 0, 0}));
}

TEST_F(SchedulerPasses, AStatusLineOfNumbersOrdersRepeatCopies) {
  Add(10);
  Add(20);
  Add(30, "20");
  FinishEveryRunningLine({{10, "30,20"}});
  EXPECT_EQ(Run(1).end, End::kAllOver);
  EXPECT_TRUE(lines_.Line(10)->ErrorOccured());
  EXPECT_EQ(lines_.Line(40)->OriginalJobLineNr(), 30);
  EXPECT_EQ(lines_.Line(50)->OriginalJobLineNr(), 20);
  EXPECT_EQ(hooks_.Reports(),
            (Events{"started 10", "finished 10 failed", "repeated 30 as 40", "repeated 20 as 50",
                    "started 20", "finished 20 ok",
                    // 30 and the copy of 30 wait for 20 and, 20 being repeated, for its copy.
                    "started 50", "finished 50 ok", "started 30", "finished 30 ok", "started 40",
                    "finished 40 ok"}));
}

TEST_F(SchedulerPasses, SkippedLinesNeverApplyTheirOwnLists) {
  Add(10).setSkipOnSuccess("20,30");
  clsJobLine& l20 = Add(20, "10");
  l20.setRepeatOnError("10");
  l20.setSkipOnError("40");
  Add(30);
  Add(40, "20");
  between_passes_ = [&](int pass) {
    if (pass == 1) {
      Finish(10);
      Finish(30);
    }
    if (pass == 2) Finish(40);
  };
  EXPECT_EQ(Run(2).end, End::kAllOver);
  EXPECT_TRUE(l20.IsSkipped());
  EXPECT_FALSE(lines_.Line(30)->IsSkipped()) << "it was running";
  EXPECT_FALSE(lines_.Line(40)->IsSkipped()) << "skipping does not spread";
  EXPECT_FALSE(lines_.Line(40)->ErrorOccured());
  EXPECT_EQ(lines_.Count(), 4);
  EXPECT_EQ(l20.StartingTime(), "");
}

TEST_F(SchedulerPasses, AFailingStopOnErrorLineEndsTheRunAtOnce) {
  Add(10);
  Add(20).setStopOnError(true);
  Add(30);
  Add(40, "10");
  between_passes_ = [&](int pass) {
    if (pass == 1) Finish(20, "failure");
  };
  EXPECT_EQ(Run(3).end, End::kStopOnError);
  EXPECT_EQ(hooks_.events(), (Events{"started 10", "started 20", "started 30", "pause 1000",
                                     "finished 20 failed", "pause 1000"}));
  EXPECT_TRUE(lines_.Line(10)->IsRunning()) << "neither waited for nor stopped";
  EXPECT_TRUE(lines_.Line(30)->IsRunning());
  EXPECT_EQ(lines_.Line(40)->StartingTime(), "");
  EXPECT_EQ(surroundings_.metadata.entries().size(), 1u);
}

TEST_F(SchedulerPasses, AFailedStartIsOverButNeitherStopsTheRunNorAppliesLists) {
  clsJobLine& bad = Add(10);
  bad.setStopOnError(true);
  bad.setRepeatOnError("10");
  bad.setSkipOnError("20");
  launcher_.FailProgram("/p/10");
  Add(20, "10");
  between_passes_ = [&](int pass) {
    if (pass == 1) Finish(20);
  };
  EXPECT_EQ(Run(1).end, End::kAllOver);
  EXPECT_TRUE(bad.ErrorOccured() && bad.AlreadyRun() && !bad.IsRunning());
  EXPECT_EQ(bad.ProcessId(), 0);
  EXPECT_NE(bad.StartingTime(), "");
  EXPECT_NE(bad.StopTime(), "");
  EXPECT_EQ(hooks_.Reports(), (Events{"finished 10 failed", "started 20", "finished 20 ok"}));
  EXPECT_EQ(lines_.Count(), 2);
  ASSERT_EQ(surroundings_.metadata.entries().size(), 2u);
  EXPECT_EQ(surroundings_.metadata.entries()[0].status, 3);
}

TEST_F(SchedulerPasses, AnOldStatusFileIsDeletedBeforeTheStart) {
  Add(10);
  files_.Write("/s/10", "ok\n");
  between_passes_ = [&](int) { Finish(10, "failure"); };
  EXPECT_EQ(Run(1).end, End::kAllOver);
  EXPECT_EQ(files_.removed(), std::vector<std::string>{"/s/10"});
  EXPECT_TRUE(lines_.Line(10)->ErrorOccured());
}

TEST_F(SchedulerPasses, LinesThatCanNeverStartEndAsFailedStartsAndTheRunEnds) {
  Add(10);
  Add(20).setProgramExecuter("");
  Add(30, "20");
  Add(40, "50");
  Add(50, "40");
  between_passes_ = [&](int) { Finish(10); };
  EXPECT_EQ(Run(2).end, End::kAllOver);
  EXPECT_EQ(hooks_.Reports(),
            (Events{"cannot 20: it has no program to start",
                    "cannot 30: it waits for job line 20, which can never start",
                    "cannot 40: its wait list waits for itself through job line 50",
                    "cannot 50: its wait list waits for itself through job line 40", "started 10",
                    "finished 10 ok"}));
  for (int32_t number : {20, 30, 40, 50}) {
    const clsJobLine& line = *lines_.Line(number);
    EXPECT_TRUE(line.ErrorOccured() && line.AlreadyRun()) << number;
    EXPECT_NE(line.StopTime(), "");
  }
  EXPECT_EQ(surroundings_.metadata.entries().size(), 5u);
}

TEST_F(SchedulerPasses, AMaximumBelowOneEndsEveryLine) {
  Add(10);
  Add(20);
  EXPECT_EQ(Run(0).end, End::kAllOver);
  EXPECT_EQ(hooks_.pauses(), 0);
  EXPECT_TRUE(lines_.Line(10)->ErrorOccured() && lines_.Line(20)->ErrorOccured());
  EXPECT_TRUE(launcher_.log().empty());
}

TEST_F(SchedulerPasses, ARepeatCopyThatWaitsForItselfIsFoundWhenNothingRuns) {
  Add(10).setRepeatOnSuccess("20");
  Add(20, "20");
  FinishEveryRunningLine({});
  EXPECT_EQ(Run(1).end, End::kAllOver);
  // The copy of 20 waits for 20 and so, 20 being repeated, for every copy of 20: itself.
  EXPECT_EQ(hooks_.events(), (Events{"cannot 20: its wait list waits for itself", "started 10",
                                     "pause 1000", "finished 10 ok", "repeated 20 as 30",
                                     "cannot 30: its wait list waits for itself", "pause 0"}));
  EXPECT_TRUE(lines_.Line(30)->ErrorOccured());
}

TEST_F(SchedulerPasses, AWaitReleasedByALaterFailedStartGoesOnWithoutAFullPause) {
  Add(10, "20");
  Add(20);
  launcher_.FailProgram("/p/20");
  between_passes_ = [&](int) {
    if (lines_.Line(10)->IsRunning()) Finish(10);
  };
  EXPECT_EQ(Run(1).end, End::kAllOver);
  EXPECT_EQ(hooks_.events(), (Events{"finished 20 failed", "pause 0", "started 10", "pause 1000",
                                     "finished 10 ok"}));
}

TEST_F(SchedulerPasses, FailuresInsideAPassEndTheScheduler) {
  {
    Add(10);
    files_.Write("/s/10", "old");
    files_.set_fail_remove(true);
    SchedulerOutcome outcome = Run(1);
    EXPECT_EQ(outcome.end, End::kFailure);
    EXPECT_EQ(outcome.failure, "cannot delete /s/10");
    EXPECT_FALSE(lines_.Line(10)->AlreadyRun());
  }
  files_.set_fail_remove(false);
  lines_.Clear();
  {
    Add(10, "5,2000000");
    Add(5);
    EXPECT_EQ(Run(1).end, End::kFailure) << "an entry outside the job line numbers";
  }
  lines_.Clear();
  {
    Add(999990);
    between_passes_ = [&](int) { Finish(999990, "999990"); };
    SchedulerOutcome outcome = Run(1);
    EXPECT_EQ(outcome.end, End::kFailure) << "a copy would need number 1000000";
    EXPECT_NE(outcome.failure.find("1000000"), std::string::npos);
  }
  lines_.Clear();
  {
    Add(10);
    Add(20);
    surroundings_.metadata.set_fail_create(true);
    between_passes_ = [&](int) { Finish(10); };
    SchedulerOutcome outcome = Run(2);
    EXPECT_EQ(outcome.end, End::kFailure);
    EXPECT_TRUE(lines_.Line(20)->IsRunning()) << "left running";
  }
}

TEST_F(SchedulerPasses, AStopFromOutsideEndsTheChildrenAndFailsTheirLines) {
  Add(10);
  Add(20);
  Add(30);
  hooks_.set_stop([&] { return pass_ >= 1; });
  EXPECT_EQ(Run(2).end, End::kInterrupted);
  EXPECT_EQ(launcher_.log().back(), "terminate");
  EXPECT_TRUE(lines_.Line(10)->ErrorOccured() && lines_.Line(10)->AlreadyRun());
  EXPECT_FALSE(lines_.Line(10)->IsRunning());
  EXPECT_NE(lines_.Line(10)->StopTime(), "");
  EXPECT_FALSE(lines_.Line(30)->AlreadyRun()) << "never started";
  EXPECT_EQ(surroundings_.metadata.entries().size(), 2u);
}

// ---------------------------------------------------------------------------------------
// Real children: the stand-in program through the system launcher.

class SchedulerWithChildren : public ::testing::Test {
 protected:
  SchedulerWithChildren()
      : launcher_(MakeSystemProcessLauncher()), surroundings_(*launcher_, RealFileSystem()) {
    standin_ = test::BinDir() + "/standin";
    hooks_.on_pause = [this](milliseconds longest) { launcher_->WaitForExit(longest); };
  }

  ~SchedulerWithChildren() override { launcher_->TerminateAll(milliseconds(2000)); }

  // A line running the stand-in with `own` options and the switches of a catalogue line.
  clsJobLine& Add(int32_t number, const std::string& own, std::string precedence = "") {
    clsJobLine& line = *lines_.Add(number);
    const std::string stem = dir_.File("R~1_" + std::to_string(number));
    line.setProgramType("Flow Runner");
    line.setProgramExecuter(standin_);
    line.setCleanProgramOptions(own);
    line.setStatusFileName(stem + "Stat.txt");
    line.setLogFileName(stem + "Log.txt");
    line.setProgramOptions(own + " -StatusFile \"" + line.StatusFileName() + "\" -LogFile \"" +
                           line.LogFileName() + "\" -job_id \"20030307_140509\"");
    line.setPrecedence(std::move(precedence));
    return line;
  }

  SchedulerOutcome Run(int32_t maximum) {
    return RunScheduler(lines_, maximum, surroundings_.env, hooks_);
  }

  static long ElapsedMs(std::chrono::steady_clock::time_point since) {
    return static_cast<long>(
        std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - since).count());
  }

  // True when the process is gone (reaped or never there) within `within`.
  static bool Gone(pid_t pid, milliseconds within = milliseconds(3000)) {
    auto deadline = std::chrono::steady_clock::now() + within;
    const std::string proc = "/proc/" + std::to_string(pid);
    while (std::filesystem::exists(proc)) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(milliseconds(10));
    }
    return true;
  }

  test::TempDir dir_;
  std::string standin_;
  std::unique_ptr<ProcessLauncher> launcher_;
  test::EngineTestEnv surroundings_;
  test::RecordingHooks hooks_;
  clsJobLines lines_{surroundings_.env.job_line_services()};
};

TEST_F(SchedulerWithChildren, ParallelLimitsOfOneAndTwo) {
  for (int32_t maximum : {1, 2}) {
    lines_.Clear();
    test::RecordingHooks hooks;
    hooks.on_pause = hooks_.on_pause;
    Add(10, "-sleep 400");
    Add(20, "-sleep 50");
    Add(30, "-sleep 50");
    SchedulerOutcome outcome = RunScheduler(lines_, maximum, surroundings_.env, hooks);
    EXPECT_EQ(outcome.end, End::kAllOver);
    if (maximum == 1) {
      EXPECT_EQ(hooks.Reports(), (Events{"started 10", "finished 10 ok", "started 20",
                                         "finished 20 ok", "started 30", "finished 30 ok"}));
    } else {
      EXPECT_EQ(hooks.Reports(), (Events{"started 10", "started 20", "finished 20 ok", "started 30",
                                         "finished 30 ok", "finished 10 ok"}));
    }
  }
}

TEST_F(SchedulerWithChildren, OkInAnyCaseEndsTheLineWhileTheChildStillRuns) {
  Add(10, "-status-early -status OK -sleep 20000");
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Run(1).end, End::kAllOver);
  EXPECT_LT(ElapsedMs(start), 2500) << "noticed by the next pass";
  const clsJobLine& line = *lines_.Line(10);
  EXPECT_FALSE(line.ErrorOccured());
  pid_t pid = line.ProcessId();
  ASSERT_FALSE(Gone(pid, milliseconds(0))) << "still runs";
  // Once it ends, the launcher reaps it without being asked about it.
  ASSERT_EQ(kill(pid, SIGKILL), 0);
  std::this_thread::sleep_for(milliseconds(50));
  launcher_->WaitForExit(milliseconds(0));
  EXPECT_TRUE(Gone(pid, milliseconds(1000)));
}

TEST_F(SchedulerWithChildren, FailuresByStatusWordMissingFileAndDeathWhileRunning) {
  Add(10, "-status failure");
  Add(20, "-no-status -exit 0");
  Add(30, "-running-then-die -sleep 100");
  Add(40, "-status ok -exit 3");
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Run(4).end, End::kAllOver);
  EXPECT_LT(ElapsedMs(start), 1500) << "ended children are noticed at once";
  EXPECT_TRUE(lines_.Line(10)->ErrorOccured());
  EXPECT_TRUE(lines_.Line(20)->ErrorOccured());
  EXPECT_TRUE(lines_.Line(30)->ErrorOccured());
  EXPECT_FALSE(lines_.Line(40)->ErrorOccured()) << "the exit code is never read";
  EXPECT_EQ(lines_.Count(), 4);
  // Lines found finished by their status line may end a moment later; the launcher reaps
  // them on its next call.
  launcher_->WaitForExit(milliseconds(200));
  for (int32_t number : {10, 20, 30, 40}) {
    EXPECT_TRUE(Gone(lines_.Line(number)->ProcessId(), milliseconds(0))) << number;
  }
}

TEST_F(SchedulerWithChildren, RepeatRequestsAndChainsRunTheCopiesInOrder) {
  // 30 asks for 10 and 20 again through its status line; the copy of 20 inherits 20's
  // wait for 10 and so waits for the copy of 10.
  const std::string record = dir_.File("record.jsonl");
  Add(10, "-record " + record + " -sleep 100");
  Add(20, "-record " + record, "10");
  Add(30, "-status 10,20", "20");
  EXPECT_EQ(Run(2).end, End::kAllOver);
  ASSERT_EQ(lines_.Count(), 5);
  EXPECT_TRUE(lines_.Line(30)->ErrorOccured());
  EXPECT_EQ(lines_.Line(40)->OriginalJobLineNr(), 10);
  EXPECT_EQ(lines_.Line(50)->OriginalJobLineNr(), 20);
  Events reports = hooks_.Reports();
  auto at = [&](const std::string& event) {
    return std::find(reports.begin(), reports.end(), event) - reports.begin();
  };
  EXPECT_LT(at("finished 40 ok"), at("started 50"));
  EXPECT_FALSE(lines_.Line(50)->ErrorOccured());
  std::ifstream status(lines_.Line(50)->StatusFileName());
  std::string first;
  std::getline(status, first);
  EXPECT_EQ(first, "ok") << "the copy wrote its own status file";
  EXPECT_NE(lines_.Line(50)->StatusFileName().find("Stat_Rpt1.txt"), std::string::npos);

  // Four starts recorded, the copies without a job id.
  std::ifstream in(record);
  std::vector<std::string> recorded;
  for (std::string line; std::getline(in, line);) recorded.push_back(line);
  ASSERT_EQ(recorded.size(), 4u);
  EXPECT_NE(recorded[0].find("\"-job_id\",\"20030307_140509\""), std::string::npos);
  EXPECT_EQ(recorded[3].find("-job_id"), std::string::npos);
}

TEST_F(SchedulerWithChildren, SkipListsDoNotSpread) {
  Add(10, "").setSkipOnSuccess("20");
  clsJobLine& skipped = Add(20, "", "10");
  skipped.setSkipOnError("30");
  Add(30, "", "20");
  EXPECT_EQ(Run(3).end, End::kAllOver);
  EXPECT_TRUE(skipped.IsSkipped());
  EXPECT_FALSE(lines_.Line(30)->IsSkipped());
  EXPECT_FALSE(lines_.Line(30)->ErrorOccured());
  EXPECT_FALSE(std::filesystem::exists(skipped.LogFileName()));
}

TEST_F(SchedulerWithChildren, StopOnErrorEndsTheRunWhileOthersStillRun) {
  Add(10, "-sleep 20000");
  Add(20, "-status failure").setStopOnError(true);
  Add(30, "", "20");
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Run(2).end, End::kStopOnError);
  EXPECT_LT(ElapsedMs(start), 2500);
  EXPECT_TRUE(lines_.Line(10)->IsRunning());
  EXPECT_EQ(lines_.Line(30)->StartingTime(), "");
  pid_t pid = lines_.Line(10)->ProcessId();
  EXPECT_FALSE(Gone(pid, milliseconds(0)));
}

TEST_F(SchedulerWithChildren, AProgramThatCannotStartDoesNotStopTheRun) {
  clsJobLine& bad = Add(10, "");
  bad.setProgramExecuter(dir_.File("no-such-program"));
  bad.setStopOnError(true);
  Add(20, "", "10");
  EXPECT_EQ(Run(1).end, End::kAllOver);
  EXPECT_TRUE(bad.ErrorOccured());
  EXPECT_FALSE(lines_.Line(20)->ErrorOccured());
}

TEST_F(SchedulerWithChildren, LinesThatCanNeverStartDoNotHangTheRun) {
  Add(10, "");
  Add(20, "", "30");
  Add(30, "", "20");
  Add(40, "").setProgramExecuter("");
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Run(1).end, End::kAllOver);
  EXPECT_LT(ElapsedMs(start), 1500);
  EXPECT_FALSE(lines_.Line(10)->ErrorOccured());
  for (int32_t number : {20, 30, 40}) EXPECT_TRUE(lines_.Line(number)->ErrorOccured()) << number;
}

TEST_F(SchedulerWithChildren, AStopFromOutsideEndsWholeProcessTrees) {
  const std::string grandchild_file = dir_.File("grandchild.pid");
  Add(10, "-sleep 30000 -grandchild 30000 -grandchild-pid " + grandchild_file);
  Add(20, "-sleep 30000");
  Add(30, "");
  hooks_.set_stop([&] { return std::filesystem::exists(grandchild_file) && hooks_.pauses() > 0; });
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Run(2).end, End::kInterrupted);
  EXPECT_LT(ElapsedMs(start), 5000);
  pid_t grandchild = 0;
  std::ifstream(grandchild_file) >> grandchild;
  ASSERT_GT(grandchild, 0);
  EXPECT_TRUE(Gone(grandchild));
  for (int32_t number : {10, 20}) {
    const clsJobLine& line = *lines_.Line(number);
    EXPECT_TRUE(line.ErrorOccured() && line.AlreadyRun() && !line.IsRunning()) << number;
    EXPECT_TRUE(Gone(line.ProcessId(), milliseconds(0))) << "reaped, not a zombie";
  }
  EXPECT_FALSE(lines_.Line(30)->AlreadyRun());
}

}  // namespace
}  // namespace jr
