#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <thread>

#include "engine/scheduler.h"
#include "platform/stop_requests.h"
#include "support/engine_fakes.h"
#include "support/test_paths.h"

namespace jr {
namespace {

using std::chrono::milliseconds;

// A run of a real child through the system launcher with the command line's pause, and
// SIGTERM sent to the runner while it pauses.
TEST(SchedulerWithChildren, ASignalEndsThePauseAtOnceAndStopsTheRun) {
  std::unique_ptr<ProcessLauncher> launcher = MakeSystemProcessLauncher();
  test::EngineTestEnv test(*launcher, RealFileSystem());
  test::RecordingHooks hooks;
  RunLines lines(test.env.run_line_services());
  RunLine& line = *lines.Add(10);
  line.setProgramExecuter(test::BinDir() + "/standin");
  line.setProgramArguments({"-sleep", "30000"});

  StopRequests stop_requests;
  hooks.stop = [] { return StopRequested(); };
  std::thread signaller;
  long pause_took = -1;
  hooks.on_pause = [&](int pass, milliseconds longest) {
    if (pass == 1) {
      signaller = std::thread([] {
        std::this_thread::sleep_for(milliseconds(50));
        kill(getpid(), SIGTERM);
      });
    }
    const auto start = std::chrono::steady_clock::now();
    WaitForChildPause (*launcher)(longest);
    pause_took = test::MsSince(start);
  };
  EXPECT_EQ(RunScheduler(lines, 2, test.env, hooks).end, SchedulerOutcome::End::kInterrupted);
  signaller.join();
  // The pass pause is 1000 ms; a stop must not wait it out.
  EXPECT_LT(pause_took, 600);
  EXPECT_EQ(hooks.Reports(), (std::vector<std::string>{"started 10", "finished 10 failed"}));
  EXPECT_TRUE(test::Gone(line.ProcessId()));
}

}  // namespace
}  // namespace jr
