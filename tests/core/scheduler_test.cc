#include "engine/scheduler.h"

#include <gtest/gtest.h>

#include "support/engine_fakes.h"

namespace jr {
namespace {

using End = SchedulerOutcome::End;
using Events = std::vector<std::string>;

// The pass structure, with a launcher whose children end when the test says so and
// status and log files in memory.
class SchedulerPasses : public ::testing::Test {
 protected:
  RunLine& Add(int32_t number, std::string precedence = "") {
    RunLine& line = *lines_.Add(number);
    line.SetProgram("/p/" + std::to_string(number));
    line.SetStatusFileName(File(std::to_string(number)));
    line.EditDefinition().wait_for = test::Refs(std::move(precedence));
    return line;
  }

  SchedulerOutcome Run(int32_t maximum) {
    return RunScheduler(lines_, maximum, test_.env, hooks_, {&hooks_}, "SorelJob~1");
  }

  // Ends a line's process, leaving `status` (if any) as its status line.
  void Finish(int32_t number, const std::string& status = "ok") {
    RunLine& line = *lines_.Line(number);
    if (!status.empty()) files_.Write(line.StatusFileName(), status);
    launcher_.running.erase(line.ProcessId());
  }

  // Every pause ends every running line with "ok".
  void FinishEveryRunningLine() {
    hooks_.on_pause = [this](int, auto) {
      for (RunLine& line : lines_) {
        if (line.IsRunning()) Finish(line.JobLineNr());
      }
    };
  }

  static std::string File(const std::string& name) { return "/logs/run/" + name; }

  test::ScriptedLauncher launcher_;
  test::VirtualFileSystem files_;
  test::EngineTestEnv test_{launcher_, files_};
  test::RecordingHooks hooks_;
  RunLines lines_;
};

TEST_F(SchedulerPasses, StatusLinesDecideTheOutcome) {
  Add(10);                        // "OK" with blanks while the process still runs
  Add(20);                        // "Failure": failed
  Add(30);                        // no status file: failed
  Add(40);                        // "running", then the process ends: failed
  Add(50).SetStatusFileName("");  // no status file: succeeds when its process exits with 0
  Add(90).SetStatusFileName("");  // ... fails when it exits with anything else
  Add(60);                        // "RUNNING " keeps the line running while the process runs
  Add(70);                        // a line written on Windows: "ok"
  Add(80);                        // an empty first line: failed
  files_.Write(File("10"), "stale verdict of an earlier run");
  hooks_.on_pause = [&](int pass, auto) {
    if (pass == 1) {
      files_.Write(File("10"), "  OK ");
      Finish(20, "Failure");
      Finish(30, "");
      Finish(40, "running");
      Finish(50, "");
      launcher_.exit_statuses[lines_.Line(90)->ProcessId()] = 1;
      Finish(90, "");
      Finish(70, "ok\r\nmore\r\n");
      Finish(80, "\nok\n");
      files_.Write(File("60"), "RUNNING ");
    }
    if (pass == 2) Finish(60);
  };
  EXPECT_EQ(Run(10).end, End::kAllOver);
  EXPECT_EQ(test_.metadata.Statuses(), (std::vector<int>{0, 3, 3, 3, 0, 3, 0, 3, 0}));
  EXPECT_EQ(lines_.Line(90)->ExitStatus(), 1);
}

TEST_F(SchedulerPasses, SkippedLinesNeverApplyTheirOwnListsAndSkippingDoesNotSpread) {
  Add(10).EditDefinition().skip_on_success = test::Refs("20,30");
  Add(20, "10").EditDefinition().repeat_on_error = test::Refs("10");
  lines_.Line(20)->EditDefinition().skip_on_error = test::Refs("40");
  Add(30);
  Add(40, "20");
  FinishEveryRunningLine();
  EXPECT_EQ(Run(2).end, End::kAllOver);
  EXPECT_EQ(hooks_.Reports(), (Events{"started 10", "started 30", "finished 10 ok", "skipped 20",
                                      "finished 30 ok", "started 40", "finished 40 ok"}));
}

TEST_F(SchedulerPasses, AFailingStopOnErrorLineEndsTheRunAtOnceAFailedStartDoesNot) {
  Add(10);
  Add(20).EditDefinition().stop_on_error = true;
  Add(30);
  Add(40, "20");
  RunLine& bad = Add(5);
  bad.EditDefinition().stop_on_error = true;
  bad.EditDefinition().repeat_on_error = test::Refs("10");
  launcher_.failing_programs.insert("/p/5");
  hooks_.on_pause = [&](int pass, auto) {
    // 30 behind it ends in the same pass and 40 could start: neither is looked at.
    pass == 1 ? Finish(20, "failure"), Finish(30) : launcher_.running.clear();
  };
  EXPECT_EQ(Run(4).end, End::kStopOnError);
  EXPECT_EQ(hooks_.events, (Events{"started 10", "started 20", "started 30", "finished 5 failed",
                                   "pause 1000", "finished 20 failed"}));
  EXPECT_EQ(lines_.Count(), 5) << "a failed start applies no list";
  EXPECT_EQ(test_.metadata.Statuses(), (std::vector<int>{3, 3})) << "5 and 20 are logged";
}

// A pass's first metadata row takes the history's writer lock. Written before the pass's
// starts, it would hold up every other run on the same history while programs start, and
// the next line of a chain would wait for it.
TEST_F(SchedulerPasses, AnEndedLinesMetadataIsWrittenAfterThePassesStarts) {
  struct AtStarts final : RunObserver {
    explicit AtStarts(const test::RecordingMetadataLogFactory& metadata) : metadata(metadata) {}
    void LineStarted(const RunLine&) override { logged.push_back(metadata.entries.size()); }
    const test::RecordingMetadataLogFactory& metadata;
    std::vector<size_t> logged;
  } at_starts(test_.metadata);
  Add(10);
  Add(20, "10");
  Add(30, "20");
  Add(40, "20");
  launcher_.failing_programs.insert("/p/30");
  FinishEveryRunningLine();
  EXPECT_EQ(RunScheduler(lines_, 2, test_.env, hooks_, {&hooks_, &at_starts}, "").end,
            End::kAllOver);
  EXPECT_EQ(at_starts.logged, (std::vector<size_t>{0, 0, 1}))
      << "10 is logged after 20 starts; 20, and 30 that could not start, after 40 starts";
  EXPECT_EQ(test_.metadata.Statuses(), (std::vector<int>{0, 0, 3, 0}));
}

TEST_F(SchedulerPasses, LinesThatCanNeverStartEndAsFailedStartsAndTheRunGoesOn) {
  EXPECT_EQ(Run(2).end, End::kAllOver);
  EXPECT_TRUE(hooks_.events.empty()) << "an empty collection ends without pausing";

  Add(10).EditDefinition().repeat_on_success = test::Refs("70");
  Add(20).SetProgram("");
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
                    // 50, released by the failed start, goes on at once.
                    "started 50", "pause 1000", "finished 50 ok",
                    // The copy of 70 waits for every copy of 70, itself among them.
                    "cannot 80: its wait list waits for itself"}));
  EXPECT_EQ(test_.metadata.Statuses().size(), 6u);
}

TEST_F(SchedulerPasses, ARepeatBeyond999999EndsTheScheduler) {
  Add(999990);
  hooks_.on_pause = [&](int, auto) {
    Finish(999990, "999990");
    launcher_.running.clear();  // a copy, were one made
  };
  const SchedulerOutcome outcome = Run(1);
  EXPECT_EQ(outcome.end, End::kFailure);
  EXPECT_TRUE(test::Has(outcome.failure, "1000000"));
}

// The fake clock moves 700 ms per pause: a pause ends early as a child's exit would end it.
// The copy waits for its delay and is the last one its repeat limit allows.
TEST_F(SchedulerPasses, ALineIsEndedAtItsTimeLimitFailsAndItsRepeatCopyKeepsTheLimit) {
  RunLine& timed = Add(10);
  timed.EditDefinition().time_limit = 2;
  timed.EditDefinition().repeat_on_error = test::Refs("10");
  timed.EditDefinition().repeat_delay = 1;
  timed.EditDefinition().repeat_limit = 1;
  timed.SetLogFileName(File("10.log"));
  hooks_.on_pause = [&](int, auto) {
    test_.clock.Set(test_.clock.Now() + std::chrono::milliseconds(700));
    if (lines_.Count() > 1 && lines_.Line(20)->IsRunning()) Finish(20, "failure");
  };
  EXPECT_EQ(Run(1).end, End::kAllOver);
  // A pause ends at the deadline or when the copy may start, not later; with neither near
  // it stays at 1000 ms.
  EXPECT_EQ(hooks_.events, (Events{"started 10", "pause 1000", "pause 1000", "pause 600",
                                   "time limit 10", "pause 1000", "finished 10 failed",
                                   "repeated 10 as 20", "pause 1000", "pause 300", "started 20",
                                   "pause 1000", "finished 20 failed", "refused 10 after 1"}));
  EXPECT_EQ(launcher_.log[1], "terminate later 1");
  EXPECT_EQ(files_.files[File("10.log")],
            "jobrunner: time limit of 2 s reached; the program was ended.\n");
  EXPECT_EQ(lines_.Line(20)->definition().time_limit, 2);
  EXPECT_EQ(test_.metadata.entries.at(0).arguments[3], MetadataValue("time limit"));
}

// A line whose program ended before the stop was seen ended by itself: its verdict stands.
TEST_F(SchedulerPasses, AStopKeepsTheVerdictOfALineThatHadEndedAndFailsTheOthers) {
  Add(10);
  Add(20);
  hooks_.on_pause = [&](int, auto) { Finish(10); };
  hooks_.stop = [&] { return hooks_.pauses > 0; };
  EXPECT_EQ(Run(2).end, End::kInterrupted);
  EXPECT_EQ(hooks_.Reports(),
            (Events{"started 10", "started 20", "finished 10 ok", "finished 20 failed"}));
  EXPECT_EQ(launcher_.log.back(), "terminate");
}

TEST_F(SchedulerPasses, TheJobsTimeLimitEndsTheRunAsAStopDoes) {
  Add(10);
  Add(20, "10");
  hooks_.on_pause = [&](int, std::chrono::milliseconds longest) {
    test_.clock.Set(test_.clock.Now() + longest);
  };
  EXPECT_EQ(RunScheduler(lines_, 2, test_.env, hooks_, {&hooks_}, "", std::chrono::seconds(2)).end,
            End::kTimeLimit);
  EXPECT_EQ(hooks_.events,
            (Events{"started 10", "pause 1000", "pause 1000", "finished 10 failed"}));
  EXPECT_EQ(launcher_.log.back(), "terminate");
  EXPECT_EQ(test_.metadata.Statuses(), std::vector<int>{3});
  EXPECT_FALSE(lines_.Line(20)->AlreadyRun());
}

}  // namespace
}  // namespace jr
