#pragma once
// Sending to servers outside: a mail through SMTP and a JSON body through an HTTP POST,
// both with libcurl. A transfer never waits past its limits, and what goes wrong is told
// naming the server by host and port, never by a user, password or query.

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"
#include "platform/status.h"

namespace jr {

// How long a transfer may take. A try that fails (no connection, no answer in time, a
// server error) is made again after a pause that doubles each time.
struct TransferLimits {
  std::chrono::milliseconds per_try{10000};  // connecting and the whole transfer
  int tries = 3;
  std::chrono::milliseconds first_pause{1000};
};

// The mail server and who the mail comes from, as the registry's notice settings give them.
struct MailServerSettings {
  std::string server;  // smtp://HOST:PORT or smtps://HOST:PORT
  std::string from;
  std::string user;  // empty: no login
  std::string password;
};

// MailServer (default smtp://localhost:25), MailFrom (default jobrunner@ and the host
// name), MailUser and MailPassword, each with surrounding blanks removed.
MailServerSettings ReadMailServerSettings(RegistryReader& registry);

struct MailMessage {
  std::vector<std::string> to;
  std::string subject;  // UTF-8; encoded as mail headers require
  std::string body;     // UTF-8 plain text
  // An HTML file attached as text/html under its own name; empty: none.
  std::string attachment_path;
};

// Sends `message` through the server. smtps:// speaks TLS from the start; smtp:// with a
// user switches to TLS (STARTTLS) before logging in, so that a password never goes in clear.
// Certificates are verified.
Status SendMail(const MailServerSettings& settings, const MailMessage& message,
                const TransferLimits& limits = {});

// POSTs `json` to `url` (http:// or https://) as application/json; an answer of 400 or
// more is a failure.
Status PostJson(const std::string& url, const std::string& json, const TransferLimits& limits = {});

// "HOST:PORT" of a URL, the scheme's port when it names none; when it cannot be parsed, the
// URL with whatever could be a user part, query or fragment cut off.
std::string ServerOf(const std::string& url);

}  // namespace jr
