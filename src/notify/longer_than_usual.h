#pragma once
// Telling people, while a run goes on, that it takes longer than the job's runs usually do:
// the rule that says when, the control that looks at the clock while the scheduler waits
// (so the moment is seen even when no line ends then), and the notice itself.

#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/run_control.h"
#include "insight/runs_in_progress.h"
#include "notify/notices.h"
#include "platform/clock.h"
#include "store/run_history.h"

namespace jr {

// Fewer earlier runs than this say too little about what is usual.
inline constexpr size_t kLongerThanUsualRuns = 5;

struct LongerThanUsualRule {
  // The 90th percentile of the earlier runs' durations (nearest rank).
  std::chrono::milliseconds usual{};
  size_t runs = 0;
  // A run that has gone on this long takes longer than usual: 1.5 times `usual`, and at least
  // 60 s more than it, so that short jobs are not reported for a few seconds' delay.
  std::chrono::milliseconds after{};
};

// The rule from the durations of the job's earlier runs that finished without errors; none
// for fewer than kLongerThanUsualRuns of them.
std::optional<LongerThanUsualRule> LongerThanUsualRuleOf(
    std::vector<std::chrono::milliseconds> durations);

// The rule from the runs of `job_file` in `history` that started before `before` and finished
// without errors (reruns, which run only some lines, are passed over), the newest
// kUsualDurationLookBack of the job's runs read.
Result<std::optional<LongerThanUsualRule>> ReadLongerThanUsualRule(RunHistory& history,
                                                                   const std::string& job_file,
                                                                   TimePoint before);

// What the user is told: "running longer than usual: 0:02:31 so far; its runs without errors
// took up to 0:01:20 (90th percentile of the last 7)".
std::string LongerThanUsualText(const LongerThanUsualRule& rule, std::chrono::milliseconds elapsed);

// The notice of `live`: subject "[jobrunner] DESCRIPTION: running longer than usual", the
// text and the run in the body, and the webhook's JSON with the event "longer_than_usual" and
// the run as `jobrunner --status --json` shows it.
Notice LongerThanUsualNotice(const std::string& job_file, const std::string& description,
                             const std::string& text, const RunInProgress& live,
                             const ExpectedEnd& expected, TimePoint now);

// The run's control as the scheduler sees it: pauses and stops as `inner` does, but no pause
// lasts past the moment the run, started at `start`, has gone on `after`; once it has,
// `fire` is called, once, on the thread that pauses.
class LongerThanUsualControl final : public RunControl {
 public:
  LongerThanUsualControl(RunControl& inner, const Clock& clock, TimePoint start,
                         std::chrono::milliseconds after, std::function<void()> fire)
      : inner_(inner), clock_(clock), due_(start + after), fire_(std::move(fire)) {}

  void Pause(std::chrono::milliseconds longest) override;
  bool StopRequested() const override { return inner_.StopRequested(); }

 private:
  void Check();

  RunControl& inner_;
  const Clock& clock_;
  TimePoint due_;
  std::function<void()> fire_;
  bool fired_ = false;
};

// Sends a notice on a thread of its own, so that the run never waits on a server; the
// warnings of the sending are kept for the run to tell once it has waited for the end.
class NoticeSender {
 public:
  NoticeSender() = default;
  NoticeSender(const NoticeSender&) = delete;
  NoticeSender& operator=(const NoticeSender&) = delete;
  ~NoticeSender() { Wait(); }

  void Send(NoticeTargets targets, Notice notice, RunEnv& env);
  // Waits for a sending to end (within the time limits of the transport) and gives its
  // warnings.
  std::vector<std::string> Wait();

 private:
  std::thread thread_;
  std::mutex mutex_;
  std::vector<std::string> warnings_;
};

}  // namespace jr
