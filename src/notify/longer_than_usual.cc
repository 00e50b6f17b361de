#include "notify/longer_than_usual.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "insight/status_json.h"
#include "insight/usual_durations.h"
#include "model/time_text.h"

namespace jr {
namespace {

using std::chrono::milliseconds;

}  // namespace

std::optional<LongerThanUsualRule> LongerThanUsualRuleOf(std::vector<milliseconds> durations) {
  if (durations.size() < kLongerThanUsualRuns) return std::nullopt;
  std::sort(durations.begin(), durations.end());
  // Nearest rank: the smallest duration that at least 90 % of the runs did not exceed.
  const size_t rank = (durations.size() * 9 + 9) / 10;
  LongerThanUsualRule rule;
  rule.usual = durations[rank - 1];
  rule.runs = durations.size();
  rule.after = std::max(rule.usual * 3 / 2, rule.usual + std::chrono::seconds(60));
  return rule;
}

Result<std::optional<LongerThanUsualRule>> ReadLongerThanUsualRule(RunHistory& history,
                                                                   const std::string& job_file,
                                                                   TimePoint before) {
  Result<std::vector<RunSummary>> recent = history.RecentRuns(job_file, kUsualDurationLookBack);
  if (!recent.ok()) return recent.status;
  std::vector<milliseconds> durations;
  for (const RunSummary& run : recent.value) {
    if (run.start >= before || !run.end || run.status != RunStatus::kNoErrors ||
        !run.rerun_of.empty()) {
      continue;
    }
    durations.push_back(std::chrono::duration_cast<milliseconds>(*run.end - run.start));
  }
  return LongerThanUsualRuleOf(std::move(durations));
}

std::string LongerThanUsualText(const LongerThanUsualRule& rule, milliseconds elapsed) {
  return "running longer than usual: " + DurationText(elapsed) +
         " so far; its runs without errors took up to " + DurationText(rule.usual) +
         " (90th percentile of the last " + std::to_string(rule.runs) + ")";
}

Notice LongerThanUsualNotice(const std::string& job_file, const std::string& description,
                             const std::string& text, const RunInProgress& live,
                             const ExpectedEnd& expected, TimePoint now) {
  Notice notice;
  notice.subject = "[jobrunner] " + description + ": running longer than usual";
  notice.body = "The job \"" + description + "\" (" + job_file + ") is " + text + ".\n\nRun " +
                live.run.run_id + ", started " + FormatTimeText(live.run.start) + "\n";
  if (const std::string end = ExpectedEndText(expected, now); !end.empty()) {
    notice.body += end + "\n";
  }
  notice.body += "\n";
  for (const RunLineRecord& line : live.lines) {
    notice.body += "  job line " + std::to_string(line.line) + " (" + line.description +
                   "): " + LiveStateWord(LiveLineState(line)) + "\n";
  }
  nlohmann::ordered_json json{{"event", "longer_than_usual"},
                              {"job_file", job_file},
                              {"description", description},
                              {"run", StatusRunJson(live, expected, now)}};
  notice.webhook_json = json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
  return notice;
}

void LongerThanUsualControl::Check() {
  if (fired_ || clock_.Now() < due_) return;
  fired_ = true;
  fire_();
}

void LongerThanUsualControl::Pause(milliseconds longest) {
  Check();
  if (!fired_) {
    const auto left = std::chrono::ceil<milliseconds>(due_ - clock_.Now());
    longest = std::min(longest, std::max(left, milliseconds(0)));
  }
  inner_.Pause(longest);
  Check();
}

void NoticeSender::Send(NoticeTargets targets, Notice notice, RunEnv& env) {
  Wait();
  // The registry is read here: the run goes on reading it on its own thread.
  thread_ = std::thread([this, targets = std::move(targets), notice = std::move(notice),
                         server = ReadMailServerSettings(env.registry)] {
    SendNotice(targets, notice, server, [this](std::string_view warning) {
      const std::lock_guard<std::mutex> lock(mutex_);
      warnings_.emplace_back(warning);
    });
  });
}

std::vector<std::string> NoticeSender::Wait() {
  if (thread_.joinable()) thread_.join();
  const std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(warnings_, {});
}

}  // namespace jr
