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

std::string JobLineCommandLine(std::string_view program, std::string_view arguments) {
  std::string command_line(program);
  if (arguments.find_first_not_of(' ') != std::string_view::npos) {
    command_line += ' ';
    command_line += arguments;
  }
  return command_line;
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
