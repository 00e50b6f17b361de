// What monitoring and the people a job names are told about its runs: the metrics file's
// text, the rule that says a run takes longer than usual, its notice, and a whole run on a
// fake clock that writes the metrics and is told the moment once.

#include "notify/run_metrics.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "model/job_line.h"
#include "notify/longer_than_usual.h"
#include "platform/file_digest.h"
#include "run/run_job.h"
#include "support/engine_fakes.h"
#include "support/test_paths.h"

namespace jr {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using namespace std::chrono_literals;

const TimePoint kT0 = TimePoint(seconds(1796644800));  // 2026-12-07 12:00 UTC

TEST(RunMetrics, FileNameAndTextWithEscapedLabels) {
  EXPECT_EQ(MetricsFileName("/jobs/Nightly run-2.XML"), "jobrunner_Nightly_run_2.prom");
  EXPECT_EQ(MetricsFileName("C:\\jobs\\a.b.xml"), "jobrunner_a_b.prom");
  EXPECT_EQ(MetricsText("/j/a\\b\"c\nd.xml", true, std::nullopt),
            "# HELP jobrunner_run_running 1 while a run of the job goes on, else 0.\n"
            "# TYPE jobrunner_run_running gauge\n"
            "jobrunner_run_running{job=\"/j/a\\\\b\\\"c\\nd.xml\"} 1\n");
  const LastRunMetrics last{kT0,
                            kT0 + milliseconds(90500),
                            RunStatus::kErrors,
                            2,
                            1,
                            0,
                            {{10, milliseconds(1500)}, {20, seconds(89)}}};
  const std::string text = MetricsText("j", false, last);
  for (const char* sample :
       {"jobrunner_run_running{job=\"j\"} 0\n",
        "jobrunner_last_run_end_timestamp_seconds{job=\"j\"} 1796644890.500\n",
        "jobrunner_last_run_duration_seconds{job=\"j\"} 90.500\n",
        "jobrunner_last_run_status{job=\"j\"} 1\n",
        "jobrunner_last_run_lines{job=\"j\",outcome=\"failed\"} 1\n",
        "jobrunner_last_run_line_duration_seconds{job=\"j\",line=\"10\"} 1.500\n"}) {
    EXPECT_TRUE(test::Has(text, sample));
  }
}

TEST(LongerThanUsual, NinetiethPercentileOfFiveRunsOrMoreTimesOneAndAHalfAndAMinuteMore) {
  EXPECT_FALSE(LongerThanUsualRuleOf({1s, 1s, 1s, 1s}));
  // Five short runs: the slowest is the percentile, and the minute more decides.
  auto rule = LongerThanUsualRuleOf({50s, 10s, 30s, 20s, 40s});
  EXPECT_EQ(rule->usual, seconds(50));
  EXPECT_EQ(rule->after, seconds(110));
  // Ten long runs: the ninth smallest, and half as long again decides.
  rule = LongerThanUsualRuleOf({700s, 300s, 1000s, 100s, 900s, 200s, 800s, 400s, 600s, 500s});
  EXPECT_EQ(rule->usual, seconds(900));
  EXPECT_EQ(rule->after, seconds(1350));

  RunInProgress live{{.run_id = "r1", .description = "Nightly", .start = kT0}, 42, {}};
  live.lines.push_back({.line = 10, .description = "load", .start = kT0});
  const Notice notice = LongerThanUsualNotice(
      "/j/x.xml", "Nightly", "running longer than usual: ...", live, {}, kT0 + seconds(200));
  EXPECT_EQ(notice.subject, "[jobrunner] Nightly: running longer than usual");
  const auto json = nlohmann::json::parse(notice.webhook_json);
  EXPECT_EQ(json["event"], "longer_than_usual");
  EXPECT_EQ(json["run"]["run_id"], "r1");
  EXPECT_TRUE(test::Has(notice.body, "job line 10 (load): running"));
}

// Five earlier runs without errors, the slowest 10.3 s: the run is told at 70.3 s, while its
// one line still runs and the scheduler only waits, and only once.
TEST(LongerThanUsual, ARunIsToldOnceAtTheMomentAndWritesItsMetrics) {
  test::TempDir dir;
  test::ScriptedLauncher launcher;
  test::EngineTestEnv test{launcher, RealFileSystem()};
  test.registry.InstallKeld("7", dir.path());
  test.registry.SetString(kNotificationKey, "MetricsFolder", dir.path());
  JobDocument job;
  job.Description = "Nightly", job.TempLogDir = dir.path(), job.FileName = dir.File("night.xml");
  AppendJobLine(job.table, {.number = 10, .description = "line 10", .type = "Flow Runner"});
  ASSERT_TRUE(WriteJobFile(job.FileName, job, "2026-12-06 12:00:00").ok);
  RunRequest request = RunRequestFor(job, CheckJob(job).settings, true);
  request.history_database = dir.File("history.sqlite");
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
  const std::string metrics = dir.File("jobrunner_night.prom");
  std::string at_start;
  test::RecordingHooks hooks;
  hooks.on_pause = [&](int pause, milliseconds longest) {
    if (pause == 1) at_start = test::ReadWholeFile(metrics);
    test.clock.Set(test.clock.Now() + std::max(longest, milliseconds(100)));
    if (test.clock.Now() >= started + seconds(100)) launcher.running.clear();
  };
  RunJob(request, test.env, hooks, {&hooks});
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

}  // namespace
}  // namespace jr
