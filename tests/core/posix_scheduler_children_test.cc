#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>

#include "engine/scheduler.h"
#include "platform/stop_requests.h"
#include "support/engine_fakes.h"
#include "support/test_paths.h"

namespace jr {
namespace {

using End = SchedulerOutcome::End;
using Events = std::vector<std::string>;
using std::chrono::milliseconds;
using test::Gone;

// Real children: the stand-in program through the system launcher.
class SchedulerWithChildren : public ::testing::Test {
 protected:
  SchedulerWithChildren() {
    hooks_.on_pause = [this](int, milliseconds longest) { launcher_->WaitForExit(longest); };
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
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunScheduler(lines_, maximum, test_.env, hooks_).end, expected);
    return test::MsSince(start);
  }

  bool Failed(int32_t number) const { return lines_.Line(number)->ErrorOccured(); }

  test::TempDir dir_;
  std::unique_ptr<ProcessLauncher> launcher_ = MakeSystemProcessLauncher();
  test::EngineTestEnv test_{*launcher_, RealFileSystem()};
  test::RecordingHooks hooks_;
  clsJobLines lines_{test_.env.job_line_services()};
};

TEST_F(SchedulerWithChildren, ParallelLimitsOfOneAndTwo) {
  const Events expected[] = {{"started 10", "finished 10 ok", "started 20", "finished 20 ok",
                              "started 30", "finished 30 ok"},
                             {"started 10", "started 20", "finished 20 ok", "started 30",
                              "finished 30 ok", "finished 10 ok"}};
  for (int32_t maximum : {1, 2}) {
    lines_.Clear();
    hooks_.events.clear();
    Add(10, "-sleep 800");
    Add(20, "-sleep 50");
    Add(30, "-sleep 50");
    const long took = Run(maximum, End::kAllOver);
    EXPECT_EQ(hooks_.Reports(), expected[maximum - 1]);
    EXPECT_TRUE(maximum == 1 || took < 1500) << "ended children are noticed at once";
  }
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
  EXPECT_LT(Run(8, End::kAllOver), 2500) << "a verdict of a running child: the next pass";
  EXPECT_FALSE(Failed(10) || Failed(50));
  EXPECT_TRUE(Failed(20) && Failed(30) && Failed(40) && Failed(60));
  EXPECT_EQ(lines_.Count(), 6);

  pid_t still_running = lines_.Line(10)->ProcessId();
  ASSERT_FALSE(Gone(still_running));
  ASSERT_EQ(kill(still_running, SIGKILL), 0);
  std::this_thread::sleep_for(milliseconds(100));
  launcher_->WaitForExit(milliseconds(0));
  for (int32_t number : {10, 20, 30, 40, 50}) {
    EXPECT_TRUE(Gone(lines_.Line(number)->ProcessId())) << "reaped: " << number;
  }
}

TEST_F(SchedulerWithChildren, RepeatCopiesWriteTheirOwnFilesAndCarryNoJobId) {
  // 30 asks for 10 and 20 again.
  const std::string record = dir_.File("record.jsonl");
  Add(10, "-record " + record + " -sleep 100");
  Add(20, "-record " + record);
  Add(30, "-status 10,20", "20");
  Run(2, End::kAllOver);
  ASSERT_EQ(lines_.Count(), 5);
  EXPECT_EQ(lines_.Line(40)->OriginalJobLineNr(), 10);
  EXPECT_EQ(lines_.Line(50)->OriginalJobLineNr(), 20);
  EXPECT_TRUE(Failed(30) && !Failed(40) && !Failed(50));
  EXPECT_EQ(RealFileSystem().ReadFirstLine(dir_.File("R~1_20Stat_Rpt1.txt")), "ok")
      << "the copy wrote its own status file";

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

TEST_F(SchedulerWithChildren, ASignalEndsThePauseAtOnceAndStopsTheRun) {
  Add(10, "-sleep 30000");
  Add(20, "", "10");
  StopRequests stop_requests;
  hooks_.stop = [] { return StopRequested(); };
  std::thread signaller;
  long pause_took = -1;
  hooks_.on_pause = [&](int pass, milliseconds longest) {
    if (pass == 1) {
      signaller = std::thread([] {
        std::this_thread::sleep_for(milliseconds(50));
        kill(getpid(), SIGTERM);
      });
    }
    const auto start = std::chrono::steady_clock::now();
    WaitForChildPause (*launcher_)(longest);
    pause_took = test::MsSince(start);
  };
  Run(2, End::kInterrupted);
  signaller.join();
  // The pass pause is 1000 ms; a stop must not wait it out.
  EXPECT_LT(pause_took, 600);
  EXPECT_EQ(hooks_.Reports(), (Events{"started 10", "finished 10 failed"}));
  EXPECT_TRUE(Gone(lines_.Line(10)->ProcessId()));
}

}  // namespace
}  // namespace jr
