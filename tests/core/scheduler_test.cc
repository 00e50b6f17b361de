#include "engine/scheduler.h"

#include <gtest/gtest.h>

#include "support/engine_fakes.h"

namespace jr {
namespace {

using End = SchedulerOutcome::End;
using Events = std::vector<std::string>;

// The pass structure, with a launcher whose children end when the test says so.
class SchedulerPasses : public ::testing::Test {
 protected:
  clsJobLine& Add(int32_t number, std::string precedence = "") {
    clsJobLine& line = *lines_.Add(number);
    line.setProgramExecuter("/p/" + std::to_string(number));
    line.setStatusFileName("/s/" + std::to_string(number));
    line.setPrecedence(std::move(precedence));
    return line;
  }

  SchedulerOutcome Run(int32_t maximum) {
    return RunScheduler(lines_, maximum, test_.env, hooks_, "SorelJob~1");
  }

  // Ends a line's process, leaving `status` (if any) as its status line.
  void Finish(int32_t number, const std::string& status = "ok") {
    clsJobLine& line = *lines_.Line(number);
    if (!status.empty()) files_.files[line.StatusFileName()] = status;
    launcher_.running.erase(line.ProcessId());
  }

  // Every pause ends every running line, with the given status lines ("ok" otherwise).
  void FinishEveryRunningLine(std::map<int32_t, std::string> statuses = {}) {
    hooks_.on_pause = [this, statuses](int, auto) {
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
};

TEST_F(SchedulerPasses, SlotsAndWaitsAreDecidedInCollectionOrderWithinAPass) {
  Add(5, "20");
  Add(10);
  Add(20);
  Add(30, "20");
  hooks_.on_pause = [&](int pass, auto) {
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
  EXPECT_EQ(launcher_.starts[0].batch_job_name, "SorelJob~1_10");
}

TEST_F(SchedulerPasses, StatusLinesDecideTheOutcome) {
  Add(10);                        // "OK" with blanks while the process still runs
  Add(20);                        // "Failure": failed, and read as a list naming line 0
  Add(30);                        // no status file: failed
  Add(40);                        // "running", then the process ends: failed, nothing repeated
  Add(50).setStatusFileName("");  // succeeds when its process ends
  Add(60);                        // "RUNNING " keeps the line running while the process runs
  files_.files["/s/10"] = "stale verdict of an earlier run";
  hooks_.on_pause = [&](int pass, auto) {
    if (pass == 1) {
      files_.files["/s/10"] = "  OK ";
      Finish(20, "Failure");
      Finish(30, "");
      Finish(40, "running");
      Finish(50, "");
      files_.files["/s/60"] = "RUNNING ";
    }
    if (pass == 2) Finish(60);
  };
  EXPECT_EQ(Run(10).end, End::kAllOver);
  EXPECT_EQ(test_.metadata.Statuses(), (std::vector<int>{0, 3, 3, 3, 0, 0}));
  EXPECT_EQ(lines_.Count(), 6) << "no status line named a line";
  EXPECT_TRUE(launcher_.running.count(lines_.Line(10)->ProcessId())) << "not waited for";
  // Lines found finished by their status line hand their process back to the launcher.
  EXPECT_EQ(launcher_.forgotten, (std::vector<ProcessHandle>{1, 2, 6}));
}

TEST_F(SchedulerPasses, SkippedLinesNeverApplyTheirOwnListsAndSkippingDoesNotSpread) {
  Add(10).setSkipOnSuccess("20,30");
  Add(20, "10").setRepeatOnError("10");
  lines_.Line(20)->setSkipOnError("40");
  Add(30);
  Add(40, "20");
  FinishEveryRunningLine();
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
  hooks_.on_pause = [&](int pass, auto) {
    if (pass == 1) Finish(20, "failure");
  };
  EXPECT_EQ(Run(4).end, End::kStopOnError);
  EXPECT_EQ(hooks_.events, (Events{"started 10", "started 20", "started 30", "finished 5 failed",
                                   "pause 1000", "finished 20 failed", "pause 1000"}));
  EXPECT_TRUE(lines_.Line(10)->IsRunning()) << "neither waited for nor stopped";
  EXPECT_EQ(lines_.Count(), 5) << "a failed start applies no list";
  EXPECT_TRUE(bad.ProcessId() == 0 && !bad.StartingTime().empty() && !bad.StopTime().empty());
  EXPECT_EQ(test_.metadata.Statuses(), (std::vector<int>{3, 3}));
}

TEST_F(SchedulerPasses, EveryRunEndsLinesThatCanNeverStartEndAsFailedStarts) {
  EXPECT_EQ(Run(2).end, End::kAllOver);
  EXPECT_TRUE(hooks_.events.empty()) << "an empty collection ends without pausing";

  Add(10);
  EXPECT_EQ(Run(0).end, End::kAllOver);
  EXPECT_EQ(
      hooks_.Reports(),
      Events{"cannot 10: the maximum number of job lines running at the same time is 0, below 1"});
  EXPECT_TRUE(launcher_.log.empty());

  lines_.Clear();
  hooks_.events.clear();
  test_.metadata.entries.clear();
  Add(10).setRepeatOnSuccess("70");
  Add(20).setProgramExecuter("");
  Add(50, "60");
  Add(60);
  Add(70, "70");
  launcher_.failing_programs.insert("/p/60");
  FinishEveryRunningLine();
  EXPECT_EQ(Run(1).end, End::kAllOver);
  EXPECT_EQ(hooks_.events,
            (Events{"cannot 20: it has no program to start",
                    "cannot 70: its wait list waits for itself", "started 10", "pause 1000",
                    "finished 10 ok", "repeated 70 as 80", "finished 60 failed",
                    // The copy of 70 waits for every copy of 70, itself among them.
                    "cannot 80: its wait list waits for itself",
                    // Nothing runs: 50, released by the failed start, goes on at once.
                    "pause 0", "started 50", "pause 1000", "finished 50 ok"}));
  for (const clsJobLine& line : lines_) {
    EXPECT_TRUE(line.AlreadyRun() && !line.StopTime().empty()) << line.JobLineNr();
  }
  EXPECT_EQ(test_.metadata.Statuses().size(), 6u);
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
  hooks_.on_pause = [&](int, auto) { Finish(10); };
  EXPECT_EQ(Run(2).end, End::kFailure);
  EXPECT_TRUE(lines_.Line(20)->IsRunning()) << "left running";
}

TEST_F(SchedulerPasses, AStopFromOutsideEndsTheChildrenAndFailsTheirLines) {
  Add(10);
  Add(20);
  Add(30);
  hooks_.stop = [&] { return hooks_.pauses >= 1; };
  EXPECT_EQ(Run(2).end, End::kInterrupted);
  EXPECT_EQ(launcher_.log.back(), "terminate");
  EXPECT_EQ(hooks_.Reports(),
            (Events{"started 10", "started 20", "finished 10 failed", "finished 20 failed"}));
  EXPECT_NE(lines_.Line(10)->StopTime(), "");
  EXPECT_FALSE(lines_.Line(30)->AlreadyRun());
  EXPECT_EQ(test_.metadata.Statuses(), (std::vector<int>{3, 3}));
}

}  // namespace
}  // namespace jr
