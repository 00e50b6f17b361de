#pragma once
// Telling people about a job's runs: mail through an SMTP server and a JSON POST to a
// webhook. Sending never costs the run anything: what cannot be sent becomes a warning.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "model/error_level.h"
#include "model/run_env.h"
#include "notify/curl_transport.h"
#include "notify/run_summary.h"

namespace jr {

// Who is told, as the job's settings name them (see JobSettings), and when.
struct NoticeTargets {
  std::vector<std::string> mail;  // the addresses; none: no mail
  std::string webhook;            // an http:// or https:// URL; empty: no webhook
  bool always = false;  // NotifyOn="always": also after a run that finished without errors
  bool any() const;
};

// One notice: the mail's subject and plain-text body, the HTML file it attaches (empty: none)
// and the webhook's whole JSON body.
struct Notice {
  std::string subject;
  std::string body;
  std::string attachment_path;
  std::string webhook_json;
};

// Sends `notice` by mail and to the webhook, as `targets` name them, through the mail
// server the registry of `env` names. Each failure is passed to `warn` as one line without
// the "jobrunner: warning: " prefix, naming the server as host and port and never a
// password or token. Mail and webhook go out side by side: returns within the time limits of one
// transfer (3 tries of 10 s with their pauses), whatever the servers do.
void SendNotice(const NoticeTargets& targets, const Notice& notice, RunEnv& env,
                const std::function<void(std::string_view)>& warn);

// The same through the mail server `server`, read beforehand: for sending from another
// thread, where the registry, which the run goes on reading, must not be touched.
void SendNotice(const NoticeTargets& targets, const Notice& notice,
                const MailServerSettings& server,
                const std::function<void(std::string_view)>& warn);

// A run that has ended, as its "finished" notice tells it.
struct FinishedRun {
  std::string job_file;  // as the run was asked for it; empty for a job never saved
  std::string description;
  std::string admin_report;
  std::string user_report;
  std::string run_folder;
  // The run in the run history `history_database`; empty when the run is not kept.
  std::string run_id;
  std::string history_database;
  // Why a report was not written, one sentence each (see ReportOutcome).
  std::vector<std::string> missing_reports;
  ErrorLevel error_level = ErrorLevel::kNoErrors;  // the run's final status
  // Its runner ended without ending it (see interrupted_run.h): its status is
  // kInterruptedText, whatever `error_level` says.
  bool interrupted = false;
  std::vector<LineTrouble> troubles;
};

// The status a notice gives a run whose runner ended without ending it.
inline constexpr const char* kInterruptedText = "interrupted: its runner ended before the run.";

// What is told of `run` in plain text (see RunEndSummaryText).
RunEndSummary SummaryOf(const FinishedRun& run);

// The "finished" notice of `run`: the subject "[jobrunner] DESCRIPTION: STATUS TEXT", the
// run's summary as the body (the lines that went wrong with the ends of their logs, the run
// folder, the reports, a report not written), the administrators' report attached when it is
// there, and the webhook's JSON with the run as `--history JOBFILE RUNID --json` prints it
// (null when the run is not kept).
Notice FinishedNotice(const FinishedRun& run, RunEnv& env);

// After the reports: sends the "finished" notice when `targets` name an address or a URL
// and the run's end is one they are told of (a failure, or always). Failures go to `warn` as
// SendNotice says.
void SendFinishedNotice(const NoticeTargets& targets, const FinishedRun& run, RunEnv& env,
                        const std::function<void(std::string_view)>& warn);

}  // namespace jr
