#include "notify/notices.h"

#include <optional>
#include <thread>

#include "insight/run_json.h"
#include "model/notify_rules.h"
#include "notify/curl_transport.h"
#include "platform/blanks.h"
#include "platform/file_digest.h"
#include "report/generate_reports.h"

namespace jr {
namespace {

// The run as the run history keeps it; null when it is not kept or cannot be read (the
// notice still goes out: it says the most that is known).
Json RunOfHistory(const FinishedRun& finished) {
  if (finished.history_database.empty() || finished.run_id.empty()) return nullptr;
  Result<std::unique_ptr<RunHistory>> history =
      RunHistory::OpenForReading(finished.history_database);
  if (!history.ok() || !history.value) return nullptr;
  Result<Json> run =
      ReadRunDetailJson(*history.value, AbsoluteFileName(finished.job_file), finished.run_id);
  if (!run.ok() || run.value.is_discarded()) return nullptr;
  return run.value;
}

}  // namespace

bool NoticeTargets::any() const { return !mail.empty() || !TrimBlanks(webhook).empty(); }

void SendNotice(const NoticeTargets& targets, const Notice& notice, RunEnv& env,
                const std::function<void(std::string_view)>& warn) {
  SendNotice(targets, notice, ReadMailServerSettings(env.registry), warn);
}

void SendNotice(const NoticeTargets& targets, const Notice& notice,
                const MailServerSettings& server,
                const std::function<void(std::string_view)>& warn) {
  // The webhook is posted while the mail goes out, so that two servers that do not answer
  // cost the time limits of one.
  const std::string webhook(TrimBlanks(targets.webhook));
  std::optional<Status> posted;
  std::thread poster;
  if (!webhook.empty()) {
    poster = std::thread([&] { posted = PostJson(webhook, notice.webhook_json); });
  }
  if (!targets.mail.empty()) {
    const Status sent =
        SendMail(server, {targets.mail, notice.subject, notice.body, notice.attachment_path});
    if (!sent.ok()) warn("the notice mail was not sent through " + sent.message);
  }
  if (poster.joinable()) poster.join();
  if (posted && !posted->ok()) {
    warn("the webhook " + DisplayUrl(webhook) + " was not told: " + posted->message);
  }
}

RunEndSummary SummaryOf(const FinishedRun& run) {
  RunEndSummary summary;
  summary.job_description = run.description;
  summary.status_text = run.interrupted ? kInterruptedText : StatusText(run.error_level);
  summary.lines = run.troubles;
  summary.run_folder = run.run_folder;
  summary.admin_report = run.admin_report;
  summary.user_report = run.user_report;
  return summary;
}

Notice FinishedNotice(const FinishedRun& run, RunEnv& env) {
  const RunEndSummary summary = SummaryOf(run);
  Notice notice;
  notice.subject = "[jobrunner] " + run.description + ": " + summary.status_text;
  notice.body = RunEndSummaryText(summary);
  bool admin_written = env.file_system.FileExists(run.admin_report);
  for (const std::string& missing : run.missing_reports) {
    notice.body += "  " + missing + ".\n";
    // An old report from an earlier run would tell the wrong story.
    admin_written =
        admin_written && missing.find("\"" + run.admin_report + "\"") == std::string::npos;
  }
  if (admin_written) notice.attachment_path = run.admin_report;
  const Json payload{{"event", "finished"},
                     {"job_file", AbsoluteFileName(run.job_file)},
                     {"description", run.description},
                     {"run", RunOfHistory(run)}};
  notice.webhook_json = JsonText(payload);
  return notice;
}

void SendFinishedNotice(const NoticeTargets& targets, const FinishedRun& run, RunEnv& env,
                        const std::function<void(std::string_view)>& warn) {
  if (!targets.any()) return;
  if (run.error_level == ErrorLevel::kNoErrors && !targets.always) return;
  SendNotice(targets, FinishedNotice(run, env), env, warn);
}

}  // namespace jr
