// What monitoring is told about a job's runs: the metrics file's name and text.

#include "notify/run_metrics.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace jr
