#include "html_text.h"

#include <unistd.h>

#include <cstdint>

namespace pagegen {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Length of the well-formed UTF-8 sequence at the start of `s`, or 0.
size_t SequenceLength(std::string_view s) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(s[i]); };
  const auto continuation = [&](size_t i) { return i < s.size() && (byte(i) & 0xC0) == 0x80; };
  uint8_t b0 = byte(0);
  if (b0 < 0x80) return 1;
  if (b0 >= 0xC2 && b0 <= 0xDF) return continuation(1) ? 2 : 0;
  if (b0 >= 0xE0 && b0 <= 0xEF) {
    if (!continuation(1) || !continuation(2)) return 0;
    if (b0 == 0xE0 && byte(1) < 0xA0) return 0;   // overlong
    if (b0 == 0xED && byte(1) >= 0xA0) return 0;  // surrogate
    return 3;
  }
  if (b0 >= 0xF0 && b0 <= 0xF4) {
    if (!continuation(1) || !continuation(2) || !continuation(3)) return 0;
    if (b0 == 0xF0 && byte(1) < 0x90) return 0;   // overlong
    if (b0 == 0xF4 && byte(1) >= 0x90) return 0;  // above U+10FFFF
    return 4;
  }
  return 0;
}

}  // namespace

std::string CleanText(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size();) {
    size_t length = SequenceLength(bytes.substr(i));
    if (length == 0) {
      out += kReplacement;
      ++i;
      continue;
    }
    const uint8_t b0 = static_cast<uint8_t>(bytes[i]);
    if (b0 == '\r') {
      out += '\n';
      i += (i + 1 < bytes.size() && bytes[i + 1] == '\n') ? 2 : 1;
      continue;
    }
    // Control characters (C0 but tab and LF, DEL, C1) have no business in a page: NUL in
    // particular ends text in some viewers.
    const bool c1 = b0 == 0xC2 && static_cast<uint8_t>(bytes[i + 1]) < 0xA0;
    if ((b0 < 0x20 && b0 != '\t' && b0 != '\n') || b0 == 0x7F || c1) {
      out += kReplacement;
    } else {
      out.append(bytes.substr(i, length));
    }
    i += length;
  }
  return out;
}

std::string Escape(std::string_view bytes) {
  std::string clean = CleanText(bytes);
  std::string out;
  out.reserve(clean.size() + clean.size() / 8);
  for (char c : clean) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string Shorten(std::string_view text, size_t max_chars) {
  std::string clean = CleanText(text);
  size_t chars = 0;
  for (size_t i = 0; i < clean.size(); ++i) {
    if ((static_cast<uint8_t>(clean[i]) & 0xC0) == 0x80) continue;
    if (chars == max_chars) return clean.substr(0, i) + "\xE2\x80\xA6";
    ++chars;
  }
  return clean;
}

std::string FileUrl(std::string_view file_name) {
  std::string path(file_name);
  if (path.empty() || path.front() != '/') {
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd) != nullptr) path = std::string(cwd) + "/" + path;
  }
  static const char kHex[] = "0123456789ABCDEF";
  std::string url = "file://";
  for (char c : path) {
    const uint8_t b = static_cast<uint8_t>(c);
    if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-' ||
        b == '.' || b == '_' || b == '~' || b == '/') {
      url += c;
    } else {
      url += '%';
      url += kHex[b >> 4];
      url += kHex[b & 15];
    }
  }
  return url;
}

}  // namespace pagegen
