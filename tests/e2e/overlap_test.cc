// Two runs of one job started together, under each overlap policy.

#include <regex>

#include "support/engine_fakes.h"
#include "support/unattended_run.h"

namespace jr {
namespace {

class OverlapTest : public test::UnattendedRun {
 protected:
  // Starts the job and returns once its line runs as the `nth` start.
  std::unique_ptr<test::RunningProgram> Start(const std::string& job, size_t nth = 1) {
    auto running =
        std::make_unique<test::RunningProgram>(Jobrunner(), std::vector{job}, Env(), dir_.path());
    EXPECT_TRUE(
        test::WaitUntil([&] { return test::ReadWholeFile(dir_.File("starts")).size() >= 2 * nth; },
                        std::chrono::seconds(10)));
    return running;
  }
  // The job saved with `policy`: one line that notes its start and runs until "go" is written.
  std::string Policy(const char* policy) {
    const std::string script =
        Script("hold.sh", "#!/bin/sh\necho x >>\"" + dir_.File("starts") + "\"\nwhile [ ! -e \"" +
                              dir_.File("go") + "\" ]; do sleep 0.05; done\necho ok >\"$1\"\n");
    job_.table.Clear();
    AddLine({.number = 10, .type = "User Batchfile", .batch_file = script});
    job_.Overlap = policy;
    std::filesystem::remove(dir_.File("go")), std::filesystem::remove(dir_.File("starts"));
    return SaveJob();
  }
};

TEST_F(OverlapTest, ASecondRunIsRefusedWaitsOrRunsAlongside) {
  // Refused (no attribute): nothing starts, the run is kept as refused and is no rerun basis.
  const std::string job = Policy("");
  auto first = Start(job);
  const test::ProgramOutcome refused = Launch({job});
  test::WriteWholeFile(dir_.File("go"), "");
  EXPECT_EQ(refused.status, 5);
  EXPECT_EQ(first->Wait().status, 0);
  const nlohmann::json runs = History({job});
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0]["status"], "refused");
  EXPECT_TRUE(std::regex_match(
      refused.err, std::regex("jobrunner: the job \"" + job + "\" is already running \\(run " +
                              runs[1]["run_id"].get<std::string>() +
                              ", process [1-9][0-9]*, started 20[0-9-]{8} [0-9:]{8}\\); this run "
                              "was not started\n")))
      << refused.err;
  RunFolder();  // exactly one
  EXPECT_EQ(Launch({"--rerun", runs[0]["run_id"], job}).status, 3);

  // Waiting: the second run starts when the first has ended; a stop ends the wait.
  first = Start(Policy("wait"));
  test::RunningProgram stopped(Jobrunner(), {job}, Env(), dir_.path());
  test::RunningProgram waiting(Jobrunner(), {job}, Env(), dir_.path());
  std::this_thread::sleep_for(std::chrono::seconds(1));
  stopped.Signal(SIGTERM);
  EXPECT_EQ(stopped.Wait().status, 2);
  EXPECT_EQ(test::ReadWholeFile(dir_.File("starts")), "x\n");  // neither waiting run started
  test::WriteWholeFile(dir_.File("go"), "");
  EXPECT_EQ(first->Wait().status, 0);
  const test::ProgramOutcome second = waiting.Wait();
  EXPECT_EQ(second.status, 0) << second.err;
  EXPECT_TRUE(test::Has(second.err, "jobrunner: waiting for run " +
                                        History({job})[1]["run_id"].get<std::string>() +
                                        " of this job to end\n"));

  // Allowed: both run at once.
  first = Start(Policy("allow"));
  auto also = Start(job, 2);
  EXPECT_EQ(Launch({"--status", job}).err, "");  // no lock: no look takes them for dead
  test::WriteWholeFile(dir_.File("go"), "");
  EXPECT_EQ(first->Wait().status + also->Wait().status, 0);
}

}  // namespace
}  // namespace jr
