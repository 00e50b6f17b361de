#pragma once
// Who is told about a job's runs, as the job header names them: NotifyMail (mail addresses
// separated by commas), NotifyWebhook (an http:// or https:// URL) and NotifyOn ("failure",
// also when empty, or "always"). The editor, --check and a run refuse the same values with
// the same words, and show a URL only as DisplayUrl gives it: a URL may carry a password
// or a token, which must never reach a terminal, a log or a mail.

#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace jr {

// The addresses of NotifyMail in their order, blanks around each taken off; an empty
// entry (a comma too many) is passed over, so an empty or blank value names no one. Fails
// naming the first entry that cannot be a mail address: NotifyMail: "ops@" is not a mail
// address.
Result<std::vector<std::string>> ParseNotifyMail(std::string_view text);

// NotifyWebhook: empty (no webhook), or an http:// or https:// URL (the scheme in any
// letter case) with a host and neither blanks nor control characters. The refusal shows
// the URL as DisplayUrl does.
Status CheckNotifyWebhook(std::string_view url);

enum class NotifyWhen { kFailure, kAlways };

// NotifyOn: empty or "failure" (a run that does not finish without errors is told), or
// "always", in any letter case (the window shows them capitalised); nothing else.
Result<NotifyWhen> ParseNotifyOn(std::string_view text);
const char* NotifyOnWord(NotifyWhen when);

// `url` as it may be shown: without the user part (user name and password before the host)
// and without the query and fragment, where tokens are passed. "https://u:pw@host/a?t=1"
// shows as "https://host/a".
std::string DisplayUrl(std::string_view url);

}  // namespace jr
