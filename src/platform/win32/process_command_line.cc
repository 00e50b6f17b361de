#include "platform/win32/process_command_line.h"

#include <windows.h>

#include <cwctype>

namespace jr {
namespace {

bool FileExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool HasExtension(const std::wstring& path) {
  const size_t dot = path.find_last_of(L'.');
  const size_t separator = path.find_last_of(L"\\/");
  return dot != std::wstring::npos && (separator == std::wstring::npos || dot > separator);
}

bool EndsWithNoCase(std::wstring_view text, std::wstring_view end) {
  if (text.size() < end.size()) return false;
  for (size_t i = 0; i < end.size(); ++i) {
    if (std::towlower(text[text.size() - end.size() + i]) != std::towlower(end[i])) return false;
  }
  return true;
}

}  // namespace

std::string CommandLineArguments(const std::vector<std::string>& arguments, bool for_batch_file) {
  std::string text;
  for (const std::string& argument : arguments) {
    text += ' ';
    const std::string_view special = for_batch_file ? " \t&|<>^" : " \t\n\v\"";
    if (!argument.empty() && argument.find_first_of(special) == std::string::npos) {
      text += argument;
      continue;
    }
    text += '"';
    if (for_batch_file) {
      text += argument;
    } else {
      size_t backslashes = 0;
      for (char c : argument) {
        if (c == '\\') {
          ++backslashes;
          continue;
        }
        // Backslashes count as such only before a quote: there each is doubled, and one
        // more escapes the quote itself.
        text.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        text += c;
      }
      // The closing quote follows: backslashes before it are doubled too.
      text.append(2 * backslashes, '\\');
    }
    text += '"';
  }
  return text;
}

NamedProgram FindNamedProgram(const std::wstring& command_line) {
  if (!command_line.empty() && command_line.front() == L'"') {
    const size_t close = command_line.find(L'"', 1);
    if (close == std::wstring::npos) return {command_line.substr(1), {}};
    return {command_line.substr(1, close - 1), command_line.substr(close + 1)};
  }
  size_t end = 0;
  do {
    end = command_line.find_first_of(L" \t", end + 1);
    const std::wstring candidate = command_line.substr(0, end);
    const std::wstring rest = end == std::wstring::npos ? L"" : command_line.substr(end);
    if (FileExists(candidate)) return {candidate, rest};
    if (!HasExtension(candidate) && FileExists(candidate + L".exe")) {
      return {candidate + L".exe", rest};
    }
  } while (end != std::wstring::npos);
  return {};
}

bool IsBatchFile(std::wstring_view path) {
  return EndsWithNoCase(path, L".bat") || EndsWithNoCase(path, L".cmd");
}

std::wstring BatchFileCommandLine(const std::wstring& interpreter, const NamedProgram& batch) {
  // /s takes the outer quotes off the rest and runs it as written; /d keeps commands that
  // the machine's configuration attaches to every interpreter start out of a job's run.
  return L"\"" + interpreter + L"\" /d /s /c \"\"" + batch.file + L"\"" + batch.rest + L"\"";
}

}  // namespace jr
