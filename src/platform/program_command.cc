#include "platform/program_command.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/config.h"

namespace jr {
namespace {

namespace fs = std::filesystem;

constexpr char kPathListSeparator = kPathSeparator == '/' ? ':' : ';';

bool IsRegularFile(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

// A program text without a folder separator is a name to look for on PATH.
bool IsBareName(const std::string& program) {
  return program.find('/') == std::string::npos &&
         program.find(kPathSeparator) == std::string::npos;
}

std::string ErrorText(std::errc error) { return std::make_error_code(error).message(); }

}  // namespace

std::vector<ArgumentSpan> TokenizeArguments(std::string_view text) {
  std::vector<ArgumentSpan> arguments;
  ArgumentSpan current;
  bool in_argument = false;
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool blank = c == ' ' || c == '\t' || c == '\r' || c == '\n';
    if (!quoted && blank) {
      if (in_argument) {
        current.end = i;
        arguments.push_back(std::move(current));
        current = {};
      }
      in_argument = false;
      continue;
    }
    if (!in_argument) current.begin = i;
    in_argument = true;
    if (c == '"') {
      quoted = !quoted;
    } else {
      current.text += c;
    }
  }
  if (in_argument) {
    current.end = text.size();
    arguments.push_back(std::move(current));
  }
  return arguments;
}

std::vector<std::string> SplitArguments(std::string_view text) {
  std::vector<std::string> words;
  for (ArgumentSpan& argument : TokenizeArguments(text)) words.push_back(std::move(argument.text));
  return words;
}

std::string_view Unquoted(std::string_view program) {
  if (program.size() >= 2 && program.front() == '"' && program.back() == '"') {
    return program.substr(1, program.size() - 2);
  }
  return program;
}

std::string FindOnPath(std::string_view name) {
  const char* path = std::getenv("PATH");
  if (path == nullptr || name.empty()) return {};
  std::string_view folders(path);
  while (true) {
    const size_t end = folders.find(kPathListSeparator);
    const std::string_view folder = folders.substr(0, end);
    const fs::path candidate =
        fs::path(folder.empty() ? "." : std::string(folder)) / std::string(name);
    if (MayExecute(candidate.string())) return candidate.string();
    if (end == std::string_view::npos) return {};
    folders.remove_prefix(end + 1);
  }
}

ProgramCommand ResolveProgramCommand(std::string_view program_text,
                                     const std::vector<std::string>& arguments) {
  const std::string program(Unquoted(program_text));
  ProgramCommand command;
  if (program.empty()) return command;
  command.on_path = IsBareName(program);
  if (command.on_path) {
    if (FindOnPath(program).empty()) return command;
    command.kind = ProgramCommand::Kind::kExecutable;
  } else if (!IsRegularFile(fs::path(program))) {
    return command;
  } else {
    command.kind =
        MayExecute(program) ? ProgramCommand::Kind::kExecutable : ProgramCommand::Kind::kScript;
  }
  if (command.kind == ProgramCommand::Kind::kScript) command.words.push_back("/bin/sh");
  command.words.push_back(program);
  command.words.insert(command.words.end(), arguments.begin(), arguments.end());
  return command;
}

std::string MissingProgramCause(std::string_view program_text) {
  const std::string program(Unquoted(program_text));
  if (program.empty() || IsBareName(program))
    return ErrorText(std::errc::no_such_file_or_directory);
  std::error_code ec;
  const fs::file_status status = fs::status(fs::path(program), ec);
  if (ec) return ec.message();
  if (status.type() == fs::file_type::not_found) {
    return ErrorText(std::errc::no_such_file_or_directory);
  }
  if (fs::is_directory(status)) return ErrorText(std::errc::is_a_directory);
  // What the system answers when asked to run a named pipe, a device, ...
  return ErrorText(std::errc::permission_denied);
}

}  // namespace jr
