#include "model/notify_rules.h"

#include <cstdint>

#include "platform/blanks.h"
#include "platform/letter_case.h"

namespace jr {
namespace {

bool IsControlOrBlank(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte <= 0x20 || byte == 0x7f;
}

bool IsAsciiAlnum(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Letters, digits and hyphens in dot-separated labels, none empty and none starting or
// ending with a hyphen: what a mail server can be asked to deliver to.
bool IsHostName(std::string_view name) {
  if (name.empty()) return false;
  size_t begin = 0;
  while (begin <= name.size()) {
    size_t end = name.find('.', begin);
    if (end == std::string_view::npos) end = name.size();
    const std::string_view label = name.substr(begin, end - begin);
    if (label.empty() || label.front() == '-' || label.back() == '-') return false;
    for (char c : label) {
      if (!IsAsciiAlnum(c) && c != '-') return false;
    }
    begin = end + 1;
  }
  return true;
}

// An address as a mail server takes it without quoting: one "@", a local part of dot-
// separated words without the characters that delimit addresses and headers, and a host.
bool IsMailAddress(std::string_view address) {
  const size_t at = address.find('@');
  if (at == std::string_view::npos || address.find('@', at + 1) != std::string_view::npos)
    return false;
  const std::string_view local = address.substr(0, at);
  if (local.empty() || local.front() == '.' || local.back() == '.' ||
      local.find("..") != std::string_view::npos)
    return false;
  for (char c : local) {
    if (IsControlOrBlank(c) || std::string_view("\"(),:;<>[\\]").find(c) != std::string_view::npos)
      return false;
  }
  return IsHostName(address.substr(at + 1));
}

// Where the host (with its user part and port) of a URL begins and ends: after the
// scheme's "://" (or at the start without one), up to the path, query or fragment.
std::pair<size_t, size_t> AuthorityOf(std::string_view url) {
  const size_t scheme_end = url.find("://");
  const size_t begin = scheme_end == std::string_view::npos ? 0 : scheme_end + 3;
  const size_t end = url.find_first_of("/?#", begin);
  return {begin, end == std::string_view::npos ? url.size() : end};
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

// A URL's host and optional port: a host name (international ones included), or an IPv6
// address in brackets; a port of digits from 1 to 65535.
bool IsHostAndPort(std::string_view host_port) {
  std::string_view host = host_port;
  std::string_view port;
  bool has_port = false;
  if (host.starts_with('[')) {
    const size_t close = host.find(']');
    if (close == std::string_view::npos || close == 1) return false;
    for (char c : host.substr(1, close - 1)) {
      if (!IsAsciiAlnum(c) && c != ':' && c != '.') return false;
    }
    const std::string_view rest = host.substr(close + 1);
    if (!rest.empty() && rest.front() != ':') return false;
    has_port = !rest.empty();
    if (has_port) port = rest.substr(1);
  } else {
    const size_t colon = host.find(':');
    has_port = colon != std::string_view::npos;
    if (has_port) port = host.substr(colon + 1), host = host.substr(0, colon);
    if (host.empty()) return false;
    for (char c : host) {
      if (!IsAsciiAlnum(c) && c != '.' && c != '-' && c != '_' &&
          static_cast<unsigned char>(c) < 0x80)
        return false;
    }
  }
  if (!has_port) return true;
  if (port.empty() || port.size() > 5) return false;
  int32_t value = 0;
  for (char c : port) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return value >= 1 && value <= 65535;
}

}  // namespace

Result<std::vector<std::string>> ParseNotifyMail(std::string_view text) {
  std::vector<std::string> addresses;
  size_t begin = 0;
  while (begin <= text.size()) {
    size_t end = text.find(',', begin);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view entry = TrimBlanks(text.substr(begin, end - begin));
    if (!entry.empty()) {
      if (!IsMailAddress(entry))
        return Status::Failed("NotifyMail: \"" + std::string(entry) + "\" is not a mail address");
      addresses.emplace_back(entry);
    }
    begin = end + 1;
  }
  return addresses;
}

Status CheckNotifyWebhook(std::string_view url) {
  if (url.empty()) return Status::Ok();
  bool usable = StartsWithNoCase(url, "http://") || StartsWithNoCase(url, "https://");
  for (char c : url) usable = usable && !IsControlOrBlank(c);
  if (usable) {
    const auto [begin, end] = AuthorityOf(url);
    const std::string_view authority = url.substr(begin, end - begin);
    const size_t at = authority.rfind('@');
    usable = IsHostAndPort(at == std::string_view::npos ? authority : authority.substr(at + 1));
  }
  if (usable) return Status::Ok();
  return Status::Failed("NotifyWebhook: \"" + DisplayUrl(url) +
                        "\" is not an http:// or https:// URL");
}

Result<NotifyWhen> ParseNotifyOn(std::string_view text) {
  if (text.empty() || EqualsIgnoringCase(text, NotifyOnWord(NotifyWhen::kFailure))) {
    return NotifyWhen::kFailure;
  }
  if (EqualsIgnoringCase(text, NotifyOnWord(NotifyWhen::kAlways))) return NotifyWhen::kAlways;
  return Status::Failed("NotifyOn: \"" + std::string(text) + "\" is not failure or always");
}

const char* NotifyOnWord(NotifyWhen when) {
  return when == NotifyWhen::kAlways ? "always" : "failure";
}

std::string DisplayUrl(std::string_view url) {
  const auto [begin, end] = AuthorityOf(url);
  const size_t at = url.substr(begin, end - begin).rfind('@');
  std::string shown(url.substr(0, begin));
  shown += url.substr(at == std::string_view::npos ? begin : begin + at + 1);
  return shown.substr(0, shown.find_first_of("?#"));
}

}  // namespace jr
