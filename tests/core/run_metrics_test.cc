// What monitoring is told about a job's runs: the metrics file's name and text.

#include "notify/run_metrics.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

#include "support/engine_fakes.h"
#include "support/test_paths.h"

namespace jr {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using namespace std::chrono_literals;

using test::kT0;

TEST(RunMetrics, FileNameAndTextWithEscapedLabels) {
  // One file per job: by its name, a digest of its folder and the target of a link.
  test::TempDir dir;
  test::WriteWholeFile(dir.File("nightly.xml"), "");
  // Windows may refuse links to a user without the right to make them.
  std::error_code linked;
  std::filesystem::create_symlink(dir.File("nightly.xml"), dir.File("link.xml"), linked);
  const std::string name = MetricsFileName(dir.File("nightly.xml"));
  EXPECT_TRUE(name.starts_with("jobrunner_nightly_") && name.ends_with(".prom") &&
              name.size() == 31 && (linked || name == MetricsFileName(dir.File("link.xml"))) &&
              name != MetricsFileName("/jobs/nightly.xml"))
      << name;
  EXPECT_TRUE(MetricsFileName("/jobs/Nightly run-2.XML").starts_with("jobrunner_Nightly_run_2_"));
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

// A run refused because another run of the job went on is no run of the job: the one
// before it stays the last.
TEST(RunMetrics, TheLastRunPassesOverRefusedAndUnendedRuns) {
  test::TempDir dir;
  Result<std::unique_ptr<RunHistory>> history = RunHistory::OpenForWriting(dir.File("db"));
  ASSERT_TRUE(history.ok()) << history.message();
  for (const auto& [id, start, status] :
       {std::tuple{"ran", kT0, std::optional(RunStatus::kErrors)},
        {"refused", kT0 + 2min, std::optional(RunStatus::kRefused)},
        {"unended", kT0 + 3min, std::optional<RunStatus>()}}) {
    ASSERT_TRUE(history.value->BeginRun({.run_id = id, .job_file = "/j.xml", .start = start}).ok());
    if (status) {
      ASSERT_TRUE(history.value->EndRun(id, {start + 1min, *status, 1, 2, 0}).ok());
    }
  }
  const std::optional<LastRunMetrics> last = LastRunFromHistory(*history.value, "/j.xml");
  EXPECT_TRUE(last && last->start == kT0 && last->status == RunStatus::kErrors);
}

}  // namespace
}  // namespace jr
