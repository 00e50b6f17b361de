// One run of a job as both front ends start it: what watches it (metrics, the longer-than-
// usual moment, its expected end), the job's lock by its overlap policy, and the final
// status of a run stopped while its reports are written.

#include "run/run_session.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "jobfile/job_file.h"
#include "model/job_line.h"
#include "notify/run_metrics.h"
#include "platform/file_digest.h"
#include "support/engine_fakes.h"
#include "support/test_paths.h"

namespace jr {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// A job of one line saved as night.xml in `dir`, where the stand-in installation is too.
class RunSessionTest : public ::testing::Test {
 protected:
  RunSessionTest() {
    test.registry.InstallKeld("7", dir.path());
    job.Description = "Nightly", job.TempLogDir = dir.path(), job.FileName = dir.File("night.xml");
    AppendJobLine(job.table, {.number = 10, .description = "line 10", .type = "Flow Runner"});
    EXPECT_TRUE(WriteJobFile(job.FileName, job, "2026-12-06 12:00:00").ok);
  }
  test::TempDir dir;
  test::ScriptedLauncher launcher;
  test::EngineTestEnv test{launcher, RealFileSystem()};
  JobDocument job;
};

// Five earlier runs without errors, the slowest 10.3 s: the run is told at 70.3 s, while its
// one line still runs and the scheduler only waits, and only once.
TEST_F(RunSessionTest, ALongerRunIsToldOnceAtTheMomentAndItsMetricsWrittenAtStartAndEnd) {
  test.registry.SetString(kNotificationKey, "MetricsFolder", dir.path());
  RunSessionRequest request{job, std::nullopt, true, dir.File("history.sqlite")};
  auto history = RunHistory::OpenForWriting(request.history_database);
  for (int i = 1; i <= 6; ++i) {  // the newest failed: not usual, but the metrics show it
    const TimePoint at = test.clock.Now() - std::chrono::hours(i);
    const auto id = history.value->BeginRun(
        {.run_id = std::to_string(i), .job_file = AbsoluteFileName(job.FileName), .start = at});
    history.value->EndRun(id.value,
                          {at + milliseconds(i == 1 ? 20000 : 9700 + i * 100),
                           i == 1 ? RunStatus::kErrors : RunStatus::kNoErrors, 1, i == 1, 0});
  }
  const TimePoint started = test.clock.Now();
  const std::string metrics = dir.File(MetricsFileName(job.FileName));
  std::string at_start;
  test::RecordingHooks hooks;
  hooks.on_pause = [&](int pause, milliseconds longest) {
    if (pause == 1) at_start = test::ReadWholeFile(metrics);
    test.clock.Set(test.clock.Now() + std::max(longest, milliseconds(100)));
    if (test.clock.Now() >= started + seconds(100)) launcher.running.clear();
  };
  EXPECT_EQ(RunSession(request, test.env, hooks, hooks).end, RunSessionOutcome::End::kRan);
  const std::string told =
      "running longer than usual: 0:01:10 so far; its runs without errors "
      "took up to 0:00:10 (90th percentile of the last 5)";
  const auto at = std::find(hooks.events.begin(), hooks.events.end(), told);
  ASSERT_NE(at, hooks.events.end());
  EXPECT_EQ(at[-1], "pause 300");  // from 70 s to the moment, not the second's full wait
  EXPECT_EQ(std::count(at + 1, hooks.events.end(), told), 0);
  std::string label = "{job=\"";
  for (char c : AbsoluteFileName(job.FileName))
    label += c == '\\' ? std::string(2, c) : std::string(1, c);
  label += "\"";
  EXPECT_TRUE(test::Has(at_start, "jobrunner_run_running" + label + "} 1\n"));
  EXPECT_TRUE(test::Has(at_start, "jobrunner_last_run_status" + label + "} 1\n"));
  const std::string at_end = test::ReadWholeFile(metrics);
  EXPECT_TRUE(test::Has(at_end, "jobrunner_run_running" + label + "} 0\n"));
  EXPECT_TRUE(
      test::Has(at_end, "jobrunner_last_run_line_duration_seconds" + label + ",line=\"10\"} 100."));
}

// Another run holds the job's lock: "wait" refuses a caller that may not wait (the window),
// and "allow" runs alongside. The command line's refusal and wait run end to end.
TEST_F(RunSessionTest, AJobRunningElsewhereIsWaitedForOnlyByACallerThatMayWait) {
  const std::string database = dir.File("history.sqlite");
  Result<RunLock> elsewhere = TryTakeRunLock(RunLockPath(database, job.FileName).value);
  ASSERT_TRUE(elsewhere.value.held());
  ASSERT_TRUE(SetRunLockHolder(elsewhere.value, {"other", 4711, {}, job.FileName}).ok());
  test::RecordingHooks hooks;
  hooks.on_pause = [&](int, milliseconds) { launcher.running.clear(); };
  job.Overlap = "wait";
  RunSessionRequest window{job, std::nullopt, false, database};
  window.may_wait = false;
  EXPECT_EQ(RunSession(window, test.env, hooks, hooks).end, RunSessionOutcome::End::kBusy);
  job.Overlap = "allow";
  EXPECT_EQ(RunSession(window, test.env, hooks, hooks).end, RunSessionOutcome::End::kBusy)
      << "the request keeps the job it was made with";
  window.job = job;
  EXPECT_EQ(RunSession(window, test.env, hooks, hooks).end, RunSessionOutcome::End::kRan);
  EXPECT_EQ(launcher.log.size(), 3u) << "the line and two report generators";
}

// A stop that comes once the lines have ended, while the reports are being written, ends the
// run as fatal, whichever front end started it; what the session checks first refuses the
// run before anything starts.
TEST_F(RunSessionTest, AStopWhileTheReportsAreWrittenEndsTheRunFatal) {
  test::RecordingHooks hooks;
  hooks.on_pause = [&](int, milliseconds) { launcher.running.clear(); };
  // The stop comes with the report generator's start, after the line's.
  hooks.stop = [&] { return launcher.log.size() > 1; };
  const RunSessionOutcome outcome =
      RunSession({job, std::nullopt, true, dir.File("history.sqlite")}, test.env, hooks, hooks);
  ASSERT_EQ(outcome.end, RunSessionOutcome::End::kRan);
  EXPECT_EQ(outcome.run.scheduler.end, SchedulerOutcome::End::kAllOver);
  EXPECT_TRUE(outcome.stopped_during_reports);
  EXPECT_EQ(outcome.level, ErrorLevel::kFatal);
  // What the preflight found goes to the front end's observer before the run starts: the
  // window's run panel shows what the command line prints.
  ASSERT_EQ(hooks.warnings.size(), 4u);
  EXPECT_TRUE(
      test::Has(hooks.warnings[0], "PageGen.exe\" is not found; no report will be written"));
  EXPECT_TRUE(test::Has(hooks.warnings[3], "job line 10 (line 10): the program \""));

  job.MaxParallel = "1x7";
  job.Overlap = "queue";
  const RunSessionOutcome refused =
      RunSession({job, std::nullopt, true, dir.File("history.sqlite")}, test.env, hooks, hooks);
  ASSERT_EQ(refused.refusals.size(), 2u);
  EXPECT_EQ(refused.refusals[1].text,
            "the job's overlap policy \"queue\" is not refuse, wait or allow");
}

}  // namespace
}  // namespace jr
