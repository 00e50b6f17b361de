#include "run/notices.h"

#include <optional>
#include <thread>

#include "model/notify_rules.h"
#include "platform/blanks.h"
#include "platform/curl_transport.h"
#include "platform/file_digest.h"
#include "report/generate_reports.h"
#include "run/run_json.h"

namespace jr {
namespace {

// The run as the run history keeps it; null when it is not kept or cannot be read (the
// notice still goes out: it says the most that is known).
Json RunOfHistory(const RunRequest& request, const RunResult& result) {
  if (request.history_database.empty() || result.run_id.empty()) return nullptr;
  Result<std::unique_ptr<RunHistory>> history =
      RunHistory::OpenForReading(request.history_database);
  if (!history.ok() || !history.value) return nullptr;
  Result<Json> run =
      ReadRunDetailJson(*history.value, AbsoluteFileName(request.job_file), result.run_id);
  if (!run.ok() || run.value.is_discarded()) return nullptr;
  return run.value;
}

}  // namespace

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
  // A run refuses addresses that cannot be right before it starts; what is left to send
  // to here can be read.
  const Result<std::vector<std::string>> addresses = ParseNotifyMail(targets.mail);
  if (const std::vector<std::string>& to = addresses.value; !to.empty()) {
    const Status sent = SendMail(server, {to, notice.subject, notice.body, notice.attachment_path});
    if (!sent.ok()) warn("the notice mail was not sent through " + sent.message);
  }
  if (poster.joinable()) poster.join();
  if (posted && !posted->ok()) {
    warn("the webhook " + DisplayUrl(webhook) + " was not told: " + posted->message);
  }
}

NoticeTargets NoticeTargetsOf(const RunRequest& request) {
  const Result<NotifyWhen> on = ParseNotifyOn(request.notify_on);
  return {request.notify_mail, request.notify_webhook, on.ok() && on.value == NotifyWhen::kAlways};
}

Notice FinishedNotice(const RunRequest& request, const RunResult& result, ErrorLevel error_level,
                      const std::vector<LineTrouble>& troubles, RunEnv& env) {
  RunEndSummary summary;
  summary.job_description = request.job_description;
  summary.status_text = StatusText(error_level);
  summary.lines = troubles;
  summary.run_folder = result.run_folder;
  summary.admin_report = request.admin_report;
  summary.user_report = request.user_report;

  Notice notice;
  notice.subject = "[jobrunner] " + request.job_description + ": " + summary.status_text;
  notice.body = RunEndSummaryText(summary);
  bool admin_written = env.file_system.FileExists(request.admin_report);
  for (const std::string& missing : result.report.missing_reports) {
    notice.body += "  " + missing + ".\n";
    // An old report from an earlier run would tell the wrong story.
    admin_written =
        admin_written && missing.find("\"" + request.admin_report + "\"") == std::string::npos;
  }
  if (admin_written) notice.attachment_path = request.admin_report;
  const Json payload{{"event", "finished"},
                     {"job_file", AbsoluteFileName(request.job_file)},
                     {"description", request.job_description},
                     {"run", RunOfHistory(request, result)}};
  notice.webhook_json = JsonText(payload);
  return notice;
}

void SendFinishedNotice(const RunRequest& request, const RunResult& result, ErrorLevel error_level,
                        const std::vector<LineTrouble>& troubles, RunEnv& env,
                        const std::function<void(std::string_view)>& warn) {
  const NoticeTargets targets = NoticeTargetsOf(request);
  if (TrimBlanks(targets.mail).empty() && TrimBlanks(targets.webhook).empty()) return;
  if (error_level == ErrorLevel::kNoErrors && !targets.always) return;
  SendNotice(targets, FinishedNotice(request, result, error_level, troubles, env), env, warn);
}

}  // namespace jr
