#pragma once
// Telling people about a job's runs: mail through an SMTP server and a JSON POST to a
// webhook. Sending never costs the run anything: what cannot be sent becomes a warning.

#include <functional>
#include <string>
#include <string_view>

#include "model/run_env.h"

namespace jr {

// Who is told, as the job file names them (the text of NotifyMail, NotifyWebhook and
// NotifyOn), and when.
struct NoticeTargets {
  std::string mail;     // addresses separated by commas; empty: no mail
  std::string webhook;  // http:// or https:// URL; empty: no webhook
  bool always = false;  // NotifyOn="always": also after a run that finished without errors
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
// password or token. Returns within the time limits of both, whatever the servers do.
void SendNotice(const NoticeTargets& targets, const Notice& notice, RunEnv& env,
                const std::function<void(std::string_view)>& warn);

}  // namespace jr
