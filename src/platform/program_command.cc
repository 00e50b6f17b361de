#include "platform/program_command.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
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

// The file's "#!" line without the "#!" and the line feed; none when it has no such line
// or cannot be read. The system reads no more of it than this either.
std::optional<std::string> InterpreterLine(const std::string& path) {
  constexpr size_t kLongest = 256;
  // Read at every start, so without a stream's buffer and locale: one read of the bytes
  // that count.
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                       &std::fclose);
  if (!file) return std::nullopt;
  std::setvbuf(file.get(), nullptr, _IONBF, 0);
  char text[kLongest];
  const std::string_view read(text, std::fread(text, 1, kLongest, file.get()));
  if (!read.starts_with("#!")) return std::nullopt;
  return std::string(read.substr(2, read.find('\n') - 2));
}

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
  std::string program(Unquoted(program_text));
  ProgramCommand command;
  command.on_path = IsBareName(program);
  const std::string file = command.on_path ? FindOnPath(program) : program;
  // Asked at every start: a file that may be executed is a regular one, and is not looked
  // at twice.
  const bool executable = !file.empty() && MayExecute(file);
  if (program.empty() || file.empty() || (!executable && !IsRegularFile(fs::path(file)))) {
    command.cause = MissingProgramCause(program);
    return command;
  }
  command.kind = executable ? ProgramCommand::Kind::kExecutable : ProgramCommand::Kind::kScript;
  const std::optional<std::string> interpreter_line = InterpreterLine(file);
  std::vector<std::string> interpreter;
  if (interpreter_line) {
    if (interpreter_line->ends_with('\r')) {
      command.cause = "its #! line has Windows line endings (CR LF)";
    } else if (interpreter = SplitArguments(*interpreter_line);
               !interpreter.empty() && !MayExecute(interpreter[0])) {
      command.cause =
          "its #! interpreter " + interpreter[0] + ": " + MissingProgramCause(interpreter[0]);
    }
  }
  if (!command.cause.empty()) {
    command.kind = ProgramCommand::Kind::kRefused;
    return command;
  }
  if (command.kind == ProgramCommand::Kind::kScript) {
    if (interpreter.empty()) interpreter.push_back("/bin/sh");
    command.words = std::move(interpreter);
  }
  command.words.push_back(std::move(program));
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
