// When a run takes longer than the job's runs usually do, and what its notice says.

#include "notify/longer_than_usual.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/engine_fakes.h"
#include "support/test_paths.h"

namespace jr {
namespace {

using std::chrono::seconds;
using namespace std::chrono_literals;

using test::kT0;

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

}  // namespace
}  // namespace jr
