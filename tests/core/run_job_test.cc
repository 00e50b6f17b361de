// A whole run through RunJob: the run name's range, and a run that the scheduler cut short
// through a failure of its own must not be reported as a normal end.

#include "run/run_job.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/engine_fakes.h"
#include "support/test_paths.h"

namespace jr {
namespace {

TEST(RunJob, RunNamesStayWithinFiveDigits) {
  const std::pair<double, const char*> cases[] = {{0.5, "SorelJob~49999"},
                                                  {std::nextafter(1.0, 0.0), "SorelJob~99998"},
                                                  {1.0, "SorelJob~0"},
                                                  {std::nan(""), "SorelJob~0"}};
  for (const auto& [fraction, name] : cases) EXPECT_EQ(RunNameFor(fraction), name) << fraction;
}

TEST(RunJob, AFailureInsideTheSchedulerEndsTheRunAsFatal) {
  test::TempDir dir;
  test::ScriptedLauncher launcher;
  test::EngineTestEnv test{launcher, RealFileSystem()};
  test.registry.InstallKeld("7", dir.path());
  test.metadata.fail_write = true;  // the scheduler fails at the first line's end
  JobDocument job;
  job.Description = "Nightly", job.TempLogDir = dir.path(), job.LogToEventLog = true;
  job.table.SetJobLineCount(1);
  const char* row[] = {"10", "line 10", "Flow Runner", "", "", "false", "true"};
  for (int column = 0; column < 7; ++column) job.table.Set(column, 0, row[column]);
  test::RecordingHooks hooks;
  hooks.on_pause = [&](int, auto) { launcher.running.clear(); };

  const RunResult result = RunJob(RunRequestFor(job, 4, true), test.env, hooks, {&hooks});
  EXPECT_EQ(result.scheduler.end, SchedulerOutcome::End::kFailure);
  EXPECT_EQ(result.report.error_level, 2);  // what command-line mode exits with
  EXPECT_TRUE(test::Has(test::ReadWholeFile(result.run_folder + result.run_name + "_UserDef.txt"),
                        "Execution Job\t: finished with fatal error.\r\n"));
  EXPECT_EQ(test.outside.entries,
            std::vector<std::string>{
                "Extraction Job Runner|1|0|1|\r\n\r\nJob 'Nightly' finished with fatal error."});
}

}  // namespace
}  // namespace jr
