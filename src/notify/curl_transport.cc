#include "notify/curl_transport.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <thread>

#include "platform/blanks.h"
#include "platform/file_digest.h"
#include "platform/installation.h"

namespace jr {
namespace {

// libcurl's global state is set up once, whichever thread sends first (a notice may go out
// from a watcher thread while the run goes on).
void InitCurlOnce() {
  static const CURLcode kInit = curl_global_init(CURL_GLOBAL_DEFAULT);
  (void)kInit;
}

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct MimeDeleter {
  void operator()(curl_mime* mime) const { curl_mime_free(mime); }
};
struct UrlDeleter {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using Easy = std::unique_ptr<CURL, EasyDeleter>;
using Slist = std::unique_ptr<curl_slist, SlistDeleter>;

void Append(Slist& list, const std::string& line) {
  curl_slist* grown = curl_slist_append(list.get(), line.c_str());
  if (grown != nullptr) {
    (void)list.release();
    list.reset(grown);
  }
}

// A part of the URL as libcurl parses it; empty when it has none.
std::string UrlPart(CURLU* url, CURLUPart part, unsigned flags = 0) {
  char* text = nullptr;
  if (curl_url_get(url, part, &text, flags) != CURLUE_OK || text == nullptr) return {};
  std::string value(text);
  curl_free(text);
  return value;
}

std::unique_ptr<CURLU, UrlDeleter> ParseUrl(const std::string& url) {
  std::unique_ptr<CURLU, UrlDeleter> parsed(curl_url());
  if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) {
    return nullptr;
  }
  return parsed;
}

// Takes `secret` out of `text`, in case a server's answer repeats it.
void Hide(std::string& text, const std::string& secret) {
  if (secret.empty()) return;
  for (size_t at = text.find(secret); at != std::string::npos; at = text.find(secret, at)) {
    text.replace(at, secret.size(), "***");
  }
}

size_t DiscardAnswer(char*, size_t size, size_t count, void*) { return size * count; }

// What a failed try says, and whether another try may do better.
struct TryOutcome {
  bool ok = false;
  bool again = true;
  std::string cause;
};

TryOutcome Perform(CURL* easy, const char* error_buffer, bool http) {
  const CURLcode code = curl_easy_perform(easy);
  if (code != CURLE_OK) {
    TryOutcome failed{false, true, error_buffer[0] != 0 ? error_buffer : curl_easy_strerror(code)};
    // Neither a wrong address nor a refused login nor a certificate gets better by waiting.
    failed.again = code != CURLE_URL_MALFORMAT && code != CURLE_UNSUPPORTED_PROTOCOL &&
                   code != CURLE_LOGIN_DENIED && code != CURLE_PEER_FAILED_VERIFICATION &&
                   code != CURLE_SSL_CACERT_BADFILE && code != CURLE_REMOTE_ACCESS_DENIED;
    return failed;
  }
  long answer = 0;
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &answer);
  if (http && answer >= 400) {
    // A server in trouble may recover; a request it refuses will be refused again.
    return {false, answer >= 500 || answer == 408 || answer == 429,
            "the server answered with HTTP status " + std::to_string(answer)};
  }
  return {true, false, {}};
}

// Runs the prepared transfer up to `limits.tries` times; `secrets` never reach the message.
// `http`: an answer of 400 or more is a failure too.
Status Transfer(CURL* easy, const std::string& url, const TransferLimits& limits,
                const std::vector<std::string>& secrets, bool http) {
  char error_buffer[CURL_ERROR_SIZE] = {};
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, error_buffer);
  // Timeouts without signals: a notice may be sent from any thread.
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.per_try.count()));
  curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.per_try.count()));
  TryOutcome outcome;
  std::chrono::milliseconds pause = limits.first_pause;
  for (int attempt = 1; attempt <= std::max(limits.tries, 1); ++attempt) {
    if (attempt > 1) {
      std::this_thread::sleep_for(pause);
      pause *= 2;
    }
    error_buffer[0] = 0;
    outcome = Perform(easy, error_buffer, http);
    if (outcome.ok || !outcome.again) break;
  }
  if (outcome.ok) return Status::Ok();
  std::string message = ServerOf(url) + ": " + outcome.cause;
  for (const std::string& secret : secrets) Hide(message, secret);
  return Status::Failed(message);
}

// The secrets a URL may carry: its user, password and query.
std::vector<std::string> UrlSecrets(const std::string& url) {
  std::vector<std::string> secrets;
  if (auto parsed = ParseUrl(url)) {
    for (CURLUPart part : {CURLUPART_USER, CURLUPART_PASSWORD, CURLUPART_QUERY}) {
      for (unsigned flags : {0u, static_cast<unsigned>(CURLU_URLDECODE)}) {
        std::string secret = UrlPart(parsed.get(), part, flags);
        if (!secret.empty()) secrets.push_back(std::move(secret));
      }
    }
  }
  return secrets;
}

std::string Base64(std::string_view bytes) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t group = static_cast<uint8_t>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) group |= static_cast<uint8_t>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) group |= static_cast<uint8_t>(bytes[i + 2]);
    text += kDigits[group >> 18 & 63];
    text += kDigits[group >> 12 & 63];
    text += i + 1 < bytes.size() ? kDigits[group >> 6 & 63] : '=';
    text += i + 2 < bytes.size() ? kDigits[group & 63] : '=';
  }
  return text;
}

// A header value as mail carries it: printable ASCII as it is, anything else (UTF-8, a line
// break that would start a header of its own) as encoded words of at most 75 characters,
// each holding whole characters.
std::string HeaderText(std::string_view text) {
  bool plain = true;
  for (char c : text) plain = plain && c >= 0x20 && c < 0x7f;
  if (plain) return std::string(text);
  constexpr size_t kWordBytes = 45;  // 60 base64 digits, 72 characters with the markers
  std::string encoded;
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = std::min(begin + kWordBytes, text.size());
    // Never split a character: back up over continuation bytes.
    while (end < text.size() && end > begin + 1 &&
           (static_cast<uint8_t>(text[end]) & 0xC0) == 0x80) {
      --end;
    }
    if (!encoded.empty()) encoded += ' ';
    encoded += "=?UTF-8?B?" + Base64(text.substr(begin, end - begin)) + "?=";
    begin = end;
  }
  return encoded;
}

// The mail's date as mail headers write it, in UTC.
std::string MailDate(std::chrono::system_clock::time_point now) {
  using namespace std::chrono;
  const sys_days day = floor<days>(now);
  const year_month_day date(day);
  const hh_mm_ss<seconds> time(floor<seconds>(now - day));
  static constexpr const char* kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02u %s %d %02d:%02d:%02d +0000",
                kWeekdays[weekday(day).c_encoding()], static_cast<unsigned>(date.day()),
                kMonths[static_cast<unsigned>(date.month()) - 1], static_cast<int>(date.year()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()));
  return text;
}

std::string MessageId(const std::string& from) {
  const size_t at = from.rfind('@');
  std::string domain = at == std::string::npos ? HostName() : from.substr(at + 1);
  while (!domain.empty() && (domain.back() == '>' || domain.back() == ' ')) domain.pop_back();
  if (domain.empty()) domain = "localhost";
  std::random_device random;
  char id[64];
  std::snprintf(id, sizeof id, "%lld.%08x%08x",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::seconds>(
                                           std::chrono::system_clock::now().time_since_epoch())
                                           .count()),
                random(), random());
  return "<" + std::string(id) + ".jobrunner@" + domain + ">";
}

// Text lines end in CR LF in a mail.
std::string MailLines(std::string_view text) {
  std::string lines;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) lines += '\r';
    lines += text[i];
  }
  return lines;
}

// The address alone, for the SMTP envelope.
std::string Envelope(std::string_view address) {
  address = TrimBlanks(address);
  const size_t open = address.rfind('<');
  if (open != std::string_view::npos) {
    const size_t close = address.find('>', open);
    address = address.substr(open + 1, close == std::string_view::npos ? close : close - open - 1);
  }
  return "<" + std::string(TrimBlanks(address)) + ">";
}

std::string FileNameOf(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The URL without user, password, query and fragment, for when ServerOf cannot read it.
std::string WithoutSecrets(const std::string& url) {
  InitCurlOnce();
  if (auto parsed = ParseUrl(url)) {
    for (CURLUPart part : {CURLUPART_USER, CURLUPART_PASSWORD, CURLUPART_OPTIONS, CURLUPART_QUERY,
                           CURLUPART_FRAGMENT}) {
      curl_url_set(parsed.get(), part, nullptr, 0);
    }
    const std::string shown = UrlPart(parsed.get(), CURLUPART_URL);
    if (!shown.empty()) return shown;
  }
  // Not a URL libcurl reads: cut what could be a user part or a query.
  std::string shown = url;
  const size_t query = shown.find_first_of("?#");
  if (query != std::string::npos) shown.erase(query);
  const size_t scheme = shown.find("://");
  const size_t at = shown.rfind('@');
  if (at != std::string::npos) {
    shown.erase(scheme == std::string::npos ? 0 : scheme + 3,
                at + 1 - (scheme == std::string::npos ? 0 : scheme + 3));
  }
  return shown;
}

}  // namespace

MailServerSettings ReadMailServerSettings(RegistryReader& registry) {
  MailServerSettings settings;
  settings.server = TrimBlanks(GetRegistryString(registry, kNotificationKey, "MailServer"));
  if (settings.server.empty()) settings.server = "smtp://localhost:25";
  settings.from = TrimBlanks(GetRegistryString(registry, kNotificationKey, "MailFrom"));
  if (settings.from.empty()) settings.from = "jobrunner@" + HostName();
  settings.user = TrimBlanks(GetRegistryString(registry, kNotificationKey, "MailUser"));
  settings.password = GetRegistryString(registry, kNotificationKey, "MailPassword");
  return settings;
}

Status SendMail(const MailServerSettings& settings, const MailMessage& message,
                const TransferLimits& limits) {
  InitCurlOnce();
  Easy easy(curl_easy_init());
  if (!easy) return Status::Failed(ServerOf(settings.server) + ": libcurl could not start");
  CURL* handle = easy.get();
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
  if (!settings.user.empty()) {
    curl_easy_setopt(handle, CURLOPT_USERNAME, settings.user.c_str());
    curl_easy_setopt(handle, CURLOPT_PASSWORD, settings.password.c_str());
    curl_easy_setopt(handle, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
  }
  const std::string from = Envelope(settings.from);
  curl_easy_setopt(handle, CURLOPT_MAIL_FROM, from.c_str());
  Slist recipients;
  std::string to_header;
  for (const std::string& address : message.to) {
    if (TrimBlanks(address).empty()) continue;
    Append(recipients, Envelope(address));
    to_header += (to_header.empty() ? "" : ", ") + std::string(TrimBlanks(address));
  }
  curl_easy_setopt(handle, CURLOPT_MAIL_RCPT, recipients.get());

  Slist headers;
  Append(headers, "Subject: " + HeaderText(message.subject));
  Append(headers, "From: " + HeaderText(settings.from));
  Append(headers, "To: " + HeaderText(to_header));
  Append(headers, "Date: " + MailDate(std::chrono::system_clock::now()));
  Append(headers, "Message-ID: " + MessageId(from));
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());

  std::unique_ptr<curl_mime, MimeDeleter> mime(curl_mime_init(handle));
  const std::string body = MailLines(message.body);
  curl_mimepart* text = curl_mime_addpart(mime.get());
  curl_mime_data(text, body.c_str(), body.size());
  curl_mime_type(text, "text/plain; charset=UTF-8");
  curl_mime_encoder(text, "quoted-printable");
  if (!message.attachment_path.empty()) {
    curl_mimepart* report = curl_mime_addpart(mime.get());
    if (curl_mime_filedata(report, message.attachment_path.c_str()) != CURLE_OK) {
      return Status::Failed(ServerOf(settings.server) + ": cannot attach \"" +
                            message.attachment_path + "\"");
    }
    curl_mime_type(report, "text/html; charset=UTF-8");
    curl_mime_filename(report, FileNameOf(message.attachment_path).c_str());
    curl_mime_encoder(report, "base64");
  }
  curl_easy_setopt(handle, CURLOPT_MIMEPOST, mime.get());

  std::vector<std::string> secrets = UrlSecrets(settings.server);
  secrets.push_back(settings.user);
  secrets.push_back(settings.password);
  return Transfer(handle, settings.server, limits, secrets, /*http=*/false);
}

Status PostJson(const std::string& url, const std::string& json, const TransferLimits& limits) {
  InitCurlOnce();
  Easy easy(curl_easy_init());
  if (!easy) return Status::Failed(ServerOf(url) + ": libcurl could not start");
  CURL* handle = easy.get();
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(handle, CURLOPT_POSTFIELDS, json.data());
  curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(json.size()));
  Slist headers;
  Append(headers, "Content-Type: application/json");
  // The body goes at once: a server that does not know "100 Continue" would wait for it.
  Append(headers, "Expect:");
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, DiscardAnswer);
  return Transfer(handle, url, limits, UrlSecrets(url), /*http=*/true);
}

std::string ServerOf(const std::string& url) {
  InitCurlOnce();
  if (auto parsed = ParseUrl(url)) {
    const std::string host = UrlPart(parsed.get(), CURLUPART_HOST);
    const std::string port = UrlPart(parsed.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
    if (!host.empty()) return port.empty() ? host : host + ":" + port;
  }
  return WithoutSecrets(url);
}

}  // namespace jr
