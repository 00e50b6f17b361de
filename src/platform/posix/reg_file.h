#pragma once
// The registry where the system has none of its own: a text file in the registry export
// format, read again on every query so that an edit takes effect at once.
//
// Understood: a first line "Windows Registry Editor Version 5.00" or "REGEDIT4" (a file
// without it holds no values); key lines "[HKEY_LOCAL_MACHINE\...]" (other hives are
// read past); "Name"="text" and @="text" string values with \\ and \" escapes;
// "Name"=dword:0000010f numbers; hex:.. and hex(N):.. byte values, continued over lines
// ending in a backslash; "Name"=- removals; ';' comments. UTF-8 with or without byte order
// mark, UTF-16LE with byte order mark, CR LF or LF line ends. A line that cannot be read
// is skipped and named in the problems; it never takes other values with it.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/registry.h"

namespace jr {

// The values of one export text under HKEY_LOCAL_MACHINE.
class RegFileContents {
 public:
  static RegFileContents Parse(std::string_view text);

  // Key paths are relative to HKEY_LOCAL_MACHINE ("SOFTWARE\Vendor"); key paths and names
  // compare without regard to ASCII case. The default value has the empty name.
  std::optional<RegistryValue> Find(std::string_view key, std::string_view name) const;

  // The lines that were skipped or the reason nothing was read, as "line N: ..." texts.
  const std::vector<std::string>& problems() const { return problems_; }
  size_t value_count() const { return values_.size(); }

 private:
  std::map<std::pair<std::string, std::string>, RegistryValue> values_;
  std::vector<std::string> problems_;
};

// A registry file is a few kilobytes; anything near this is no registry file, and reading
// it whole would only exhaust memory.
inline constexpr size_t kMaxRegistryFileBytes = size_t{1} << 20;

class RegFileRegistry final : public RegistryReader {
 public:
  explicit RegFileRegistry(std::string path) : path_(std::move(path)) {}

  // Reads the file afresh. A missing or unreadable file, one that is not a regular file
  // and one larger than kMaxRegistryFileBytes are a registry without values.
  std::optional<RegistryValue> Query(std::string_view key, std::string_view name) override;

  // The file exists but is refused (not a regular file, too large) or cannot be read.
  std::string ReadFailure() override;

  const std::string& path() const { return path_; }
  // What the last query found wrong with the file (see RegFileContents::problems), with
  // the file name in front.
  const std::vector<std::string>& LastProblems() const { return last_problems_; }

 private:
  std::string path_;
  std::vector<std::string> last_problems_;
};

}  // namespace jr
