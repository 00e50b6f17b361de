// A whole run through RunJob: the run name's range, a run refused before it starts, and a
// run that the scheduler cut short through a failure of its own must not be reported as a
// normal end.

#include "run/run_job.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "model/job_line.h"
#include "run/run_record.h"
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

// A list entry that names no line would stop the run halfway; the run is refused instead,
// before a folder, a program, a report or an event-log entry.
TEST(RunJob, ALineThatDoesNotReadRefusesTheRunAFailureInsideTheSchedulerEndsItAsFatal) {
  test::TempDir dir;
  test::ScriptedLauncher launcher;
  test::EngineTestEnv test{launcher, RealFileSystem()};
  test.registry.InstallKeld("7", dir.path());
  test.metadata.fail_write = true;  // the scheduler fails at the first line's end
  JobDocument job;
  job.Description = "Nightly", job.TempLogDir = dir.path(), job.LogToEventLog = true;
  AppendJobLine(job.table, {.number = 10, .description = "line 10", .type = "Flow Runner"});
  job.table.Set(kColWait, 0, "1000000");
  test::RecordingHooks hooks;
  hooks.on_pause = [&](int, auto) { launcher.running.clear(); };
  EXPECT_EQ(
      RunJob(RunRequestFor(job, CheckJob(job).settings, true), test.env, hooks, {&hooks}).refused,
      "job line 10, \"wait\": the job-line list entry \"1000000\" lies outside the job line "
      "numbers; the job was not run.");
  EXPECT_TRUE(launcher.log.empty() && hooks.events.empty() && test.outside.entries.empty());
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));

  job.table.Set(kColWait, 0, "");
  const RunResult result =
      RunJob(RunRequestFor(job, CheckJob(job).settings, true), test.env, hooks, {&hooks});
  EXPECT_EQ(result.scheduler.end, SchedulerOutcome::End::kFailure);
  EXPECT_EQ(result.report.error_level, ErrorLevel::kFatal);  // what command-line mode exits with
  EXPECT_TRUE(test::Has(test::ReadWholeFile(result.run_folder + result.run_name + "_UserDef.txt"),
                        "Execution Job\t: finished with fatal error.\r\n"));
  EXPECT_EQ(test.outside.entries,
            std::vector<std::string>{
                "Extraction Job Runner|1|0|1|\r\n\r\nJob 'Nightly' finished with fatal error."});
}

// Rows are written in batches: a run longer than a batch, numbered from the back, keeps
// every line at its place.
TEST(RunRecorder, KeepsEveryLineOfARunLongerThanABatch) {
  test::TempDir dir;
  Result<std::unique_ptr<RunHistory>> history = RunHistory::OpenForWriting(dir.File("h.sqlite"));
  ASSERT_TRUE(history.ok());
  const RunObservers told;
  test::FakeClock clock;
  RunRecorder recorder(history.value.get(), told, clock);
  RunStart start;
  start.run_id = "long", start.job_file = dir.File("job.xml");
  recorder.Begin(start);
  RunLines lines;
  for (int32_t number = 1000; number >= 1; --number) lines.Add(number);
  recorder.Prepared(lines);
  for (RunLine& line : lines) line.SetState(LineState::kSkipped), recorder.LineSkipped(line);
  recorder.End(lines, ErrorLevel::kNoErrors);
  auto kept = history.value->Lines({recorder.run_id()});
  ASSERT_TRUE(kept.ok() && kept.value.size() == 1 && kept.value[0].size() == 1000u);
  for (const RunLineRecord& row : kept.value[0]) EXPECT_EQ(row.position, 1000 - row.line);
}

}  // namespace
}  // namespace jr
