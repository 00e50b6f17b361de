#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "engine/scheduler.h"
#include "platform/stop_requests.h"
#include "support/engine_fakes.h"
#include "support/test_paths.h"

namespace jr {
namespace {

using std::chrono::milliseconds;

// A run of a real child through the system launcher with the command line's pause, stopped
// while it pauses by SIGTERM sent to the runner, or as the window's Stop does.
TEST(SchedulerWithChildren, AStopEndsThePauseAtOnceAndStopsTheRun) {
  for (const bool by_signal : {true, false}) {
    SCOPED_TRACE(by_signal ? "SIGTERM" : "the window's Stop");
    std::unique_ptr<ProcessLauncher> launcher = MakeSystemProcessLauncher();
    test::EngineTestEnv test(*launcher, RealFileSystem());
    test::RecordingHooks hooks;
    RunLines lines;
    RunLine& line = *lines.Add(10);
    line.SetProgram(test::BinDir() + "/standin");
    line.SetProgramArguments({"-sleep", "30000"});

    StopRequests stop_requests;
    std::atomic<bool> stopped{false};
    hooks.stop = [&] { return by_signal ? StopRequested() : stopped.load(); };
    std::thread signaller;
    long pause_took = -1;
    hooks.on_pause = [&](int pass, milliseconds longest) {
      if (pass == 1) {
        signaller = std::thread([&] {
          std::this_thread::sleep_for(milliseconds(50));
          if (by_signal) {
            kill(getpid(), SIGTERM);
          } else {
            stopped = true;
            WakeStopWaits();
          }
        });
      }
      const auto start = std::chrono::steady_clock::now();
      launcher->WaitForExit(longest);
      pause_took = test::MsSince(start);
    };
    EXPECT_EQ(RunScheduler(lines, 2, test.env, hooks, {&hooks}).end,
              SchedulerOutcome::End::kInterrupted);
    signaller.join();
    // The pass pause is 1000 ms; a stop must not wait it out.
    EXPECT_LT(pause_took, 600);
    EXPECT_EQ(hooks.Reports(), (std::vector<std::string>{"started 10", "finished 10 failed"}));
    EXPECT_TRUE(test::Gone(line.ProcessId()));
  }
}

// Without a status file only the program's end speaks: one killed by a signal did not
// succeed, whatever status a shell would make of it.
TEST(SchedulerWithChildren, AProgramEndedByASignalFailsALineWithoutAStatusFile) {
  std::unique_ptr<ProcessLauncher> launcher = MakeSystemProcessLauncher();
  test::EngineTestEnv test(*launcher, RealFileSystem());
  test::RecordingHooks hooks;
  hooks.on_pause = [&](int, milliseconds longest) { launcher->WaitForExit(longest); };
  RunLines lines;
  for (const auto& [number, script] : {std::pair{10, "kill -KILL $$"}, {20, "exit 0"}}) {
    lines.Add(number)->SetProgram("/bin/sh");
    lines.Line(number)->SetProgramArguments({"-c", script});
  }
  EXPECT_EQ(RunScheduler(lines, 2, test.env, hooks, {&hooks}).end, SchedulerOutcome::End::kAllOver);
  std::vector<std::string> reports = hooks.Reports();
  std::ranges::sort(reports);  // the two programs may end in either order
  EXPECT_EQ(reports, (std::vector<std::string>{"finished 10 failed", "finished 20 ok", "started 10",
                                               "started 20"}));
}

}  // namespace
}  // namespace jr
