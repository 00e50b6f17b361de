#include "platform/posix/reg_file.h"

#include <algorithm>

#include "platform/regular_file.h"
#include "platform/utf8.h"

namespace jr {
namespace {

constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kLocalMachine = "HKEY_LOCAL_MACHINE";
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;

std::string Folded(std::string_view text) {
  std::string folded(text);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimLeft(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  return text;
}

std::string_view TrimRight(std::string_view text) {
  while (!text.empty() && (IsBlank(text.back()) || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

// What may follow a complete value: blanks, optionally a comment.
bool OnlyTrailer(std::string_view rest) {
  rest = TrimLeft(rest);
  return rest.empty() || rest.front() == ';';
}

bool StartsWithFolded(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && Folded(text.substr(0, prefix.size())) == prefix;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// UTF-16LE bytes as UTF-8; a broken surrogate becomes U+FFFD, an odd last byte is dropped.
std::string Utf16LeToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() / 2);
  auto unit = [&](size_t i) {
    return static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
  };
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    uint32_t code = unit(i);
    if (code >= 0xD800 && code < 0xDC00 && i + 3 < bytes.size()) {
      uint32_t low = unit(i + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      } else {
        code = 0xFFFD;
      }
    } else if (code >= 0xD800 && code < 0xE000) {
      code = 0xFFFD;
    }
    AppendUtf8(out, code);
  }
  return out;
}

// Reads a double-quoted text at the start of `text` (which begins with the quote), undoing
// the \\ and \" escapes. Returns the rest behind the closing quote, or nullopt when the
// quote is never closed.
std::optional<std::string_view> ReadQuoted(std::string_view text, std::string* out) {
  out->clear();
  for (size_t i = 1; i < text.size(); ++i) {
    char c = text[i];
    if (c == '"') return text.substr(i + 1);
    if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '"')) {
      *out += text[++i];
    } else {
      *out += c;
    }
  }
  return std::nullopt;
}

// "0a,ff,00" (blanks allowed around the bytes; an empty list is no bytes).
std::optional<std::vector<uint8_t>> ReadHexBytes(std::string_view text) {
  std::vector<uint8_t> bytes;
  text = TrimLeft(TrimRight(text));
  if (text.empty()) return bytes;
  while (true) {
    text = TrimLeft(text);
    if (text.size() < 2) return std::nullopt;
    int high = HexDigit(text[0]);
    int low = HexDigit(text[1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<uint8_t>(high * 16 + low));
    text = TrimLeft(text.substr(2));
    if (text.empty()) return bytes;
    if (text.front() != ',') return std::nullopt;
    text.remove_prefix(1);
  }
}

}  // namespace

RegFileContents RegFileContents::Parse(std::string_view raw) {
  RegFileContents contents;
  std::string decoded;
  if (raw.size() >= 2 && static_cast<unsigned char>(raw[0]) == 0xFF &&
      static_cast<unsigned char>(raw[1]) == 0xFE) {
    decoded = Utf16LeToUtf8(raw.substr(2));
    raw = decoded;
  } else if (raw.size() >= 3 && raw.substr(0, 3) == "\xEF\xBB\xBF") {
    raw.remove_prefix(3);
  }

  std::vector<std::string_view> lines;
  for (size_t start = 0; start <= raw.size();) {
    size_t end = raw.find('\n', start);
    if (end == std::string_view::npos) end = raw.size();
    lines.push_back(TrimRight(raw.substr(start, end - start)));
    start = end + 1;
  }

  auto problem = [&contents](size_t line_index, const std::string& text) {
    contents.problems_.push_back("line " + std::to_string(line_index + 1) + ": " + text);
  };

  const std::string_view header = lines.empty() ? std::string_view() : lines[0];
  if (header != kHeader5 && header != kHeader4) {
    problem(0, "not a registry export file (the first line is neither \"" + std::string(kHeader5) +
                   "\" nor \"" + std::string(kHeader4) + "\"); no values read");
    return contents;
  }
  // Byte values of string kind hold UTF-16 in the newer format, single bytes in the older.
  const bool wide_strings = header == kHeader5;

  enum class Section { kNone, kLocalMachine, kOtherHive, kUnreadable };
  Section section = Section::kNone;
  std::string key;

  for (size_t i = 1; i < lines.size(); ++i) {
    const size_t first_line = i;
    std::string_view line = TrimLeft(lines[i]);
    if (line.empty() || line.front() == ';') continue;

    if (line.front() == '[') {
      // The key runs to the bracket that ends the line: key names may hold brackets.
      const size_t close = line.size() - 1;
      if (line.size() < 2 || line[close] != ']') {
        problem(i, "key line without closing bracket; its values are skipped");
        section = Section::kUnreadable;
        continue;
      }
      std::string_view path = line.substr(1, close - 1);
      if (!path.empty() && path.front() == '-') {
        // A key removal: nothing to read, and the values up to the next key belong to
        // no key.
        section = Section::kOtherHive;
        continue;
      }
      size_t separator = path.find('\\');
      std::string_view hive = path.substr(0, separator);
      if (Folded(hive) != Folded(kLocalMachine)) {
        section = Section::kOtherHive;
        continue;
      }
      section = Section::kLocalMachine;
      key = Folded(separator == std::string_view::npos ? std::string_view()
                                                       : path.substr(separator + 1));
      continue;
    }

    if (line.front() != '"' && line.front() != '@') {
      problem(i, "neither a key nor a value line; skipped");
      continue;
    }

    std::string name;
    std::string_view rest;
    if (line.front() == '@') {
      rest = line.substr(1);
    } else {
      std::optional<std::string_view> after = ReadQuoted(line, &name);
      if (!after) {
        problem(i, "value name without closing quote; skipped");
        continue;
      }
      rest = *after;
    }
    rest = TrimLeft(rest);
    if (rest.empty() || rest.front() != '=') {
      problem(i, "value line without '='; skipped");
      continue;
    }
    rest = TrimLeft(rest.substr(1));

    // Byte lists run on over lines that end in a backslash.
    std::string joined;
    if (StartsWithFolded(rest, "hex") && !rest.empty() && rest.back() == '\\') {
      joined.assign(rest.substr(0, rest.size() - 1));
      while (i + 1 < lines.size()) {
        std::string_view next = TrimLeft(lines[++i]);
        if (!next.empty() && next.back() == '\\') {
          joined.append(next.substr(0, next.size() - 1));
        } else {
          joined.append(next);
          break;
        }
      }
      rest = joined;
    }

    if (section != Section::kLocalMachine) {
      if (section == Section::kNone) problem(first_line, "value before any key line; skipped");
      continue;
    }

    std::optional<RegistryValue> value;
    bool remove = false;
    if (rest.empty()) {
      // Nothing behind the '=': reported as unreadable below.
    } else if (rest.front() == '"') {
      std::string text;
      std::optional<std::string_view> after = ReadQuoted(rest, &text);
      if (after && OnlyTrailer(*after)) {
        value = RegistryValue{kRegSz, std::vector<uint8_t>(text.begin(), text.end())};
        // The registry stores a string with its terminating zero byte.
        value->data.push_back(0);
      }
    } else if (StartsWithFolded(rest, "dword:")) {
      std::string_view digits = rest.substr(6);
      size_t count = 0;
      uint32_t number = 0;
      while (count < digits.size() && HexDigit(digits[count]) >= 0) {
        number = number << 4 | static_cast<uint32_t>(HexDigit(digits[count]));
        ++count;
      }
      if (count >= 1 && count <= 8 && OnlyTrailer(digits.substr(count))) {
        value = RegistryValue{kRegDword, {}};
        for (int shift = 0; shift < 32; shift += 8) {
          value->data.push_back(static_cast<uint8_t>(number >> shift));
        }
      }
    } else if (StartsWithFolded(rest, "hex")) {
      std::string_view form = rest.substr(3);
      uint32_t type = kRegBinary;
      bool readable = true;
      if (!form.empty() && form.front() == '(') {
        size_t close = form.find(')');
        std::string_view digits = form.substr(1, close == std::string_view::npos ? 0 : close - 1);
        readable = close != std::string_view::npos && !digits.empty() && digits.size() <= 8;
        type = 0;
        for (char c : digits) {
          if (HexDigit(c) < 0) readable = false;
          type = type << 4 | static_cast<uint32_t>(std::max(HexDigit(c), 0));
        }
        if (readable) form = form.substr(close + 1);
      }
      if (readable && !form.empty() && form.front() == ':') {
        if (auto bytes = ReadHexBytes(form.substr(1))) {
          value = RegistryValue{type, std::move(*bytes)};
          if (wide_strings && (type == kRegSz || type == kRegExpandSz)) {
            std::string text = Utf16LeToUtf8(std::string_view(
                reinterpret_cast<const char*>(value->data.data()), value->data.size()));
            value->data.assign(text.begin(), text.end());
          }
        }
      }
    } else if (rest.front() == '-' && OnlyTrailer(rest.substr(1))) {
      remove = true;
    }

    if (remove) {
      contents.values_.erase({key, Folded(name)});
      continue;
    }
    if (!value) {
      problem(first_line, "value \"" + name + "\" cannot be read; skipped");
      continue;
    }
    contents.values_[{key, Folded(name)}] = std::move(*value);
  }
  return contents;
}

std::optional<RegistryValue> RegFileContents::Find(std::string_view key,
                                                   std::string_view name) const {
  auto found = values_.find({Folded(key), Folded(name)});
  if (found == values_.end()) return std::nullopt;
  return found->second;
}

std::optional<RegistryValue> RegFileRegistry::Query(std::string_view key, std::string_view name) {
  last_problems_.clear();
  const FileReadResult file = ReadRegularFile(path_, kMaxRegistryFileBytes);
  if (!file.ok()) {
    last_problems_.push_back(path_ + ": cannot be read (" + file.cause + ")");
    return std::nullopt;
  }
  RegFileContents contents = RegFileContents::Parse(file.text);
  for (const std::string& problem : contents.problems()) {
    last_problems_.push_back(path_ + ": " + problem);
  }
  return contents.Find(key, name);
}

std::string RegFileRegistry::ReadFailure() {
  const FileReadResult file = ReadRegularFile(path_, kMaxRegistryFileBytes);
  if (file.ok() || file.status == FileReadStatus::kMissing) return {};
  return "the registry file \"" + path_ + "\" cannot be read: " + file.cause +
         "; no registry values are used";
}

}  // namespace jr
