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

}  // namespace

std::vector<std::string> SplitArguments(std::string_view text) {
  std::vector<std::string> words;
  std::string current;
  bool in_word = false;
  bool quoted = false;
  for (char c : text) {
    if (c == '"') {
      quoted = !quoted;
      in_word = true;
    } else if (!quoted && (c == ' ' || c == '\t')) {
      if (in_word) words.push_back(std::move(current));
      current.clear();
      in_word = false;
    } else {
      current += c;
      in_word = true;
    }
  }
  if (in_word) words.push_back(std::move(current));
  return words;
}

std::optional<std::string> JoinArguments(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) {
    if (word.find('"') != std::string::npos) return std::nullopt;
    if (!text.empty()) text += ' ';
    if (word.empty() || word.find_first_of(" \t") != std::string::npos) {
      text += '"' + word + '"';
    } else {
      text += word;
    }
  }
  return text;
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

ProgramCommand ResolveProgramCommand(std::string_view program_text, std::string_view arguments) {
  const std::string program(Unquoted(program_text));
  ProgramCommand command;
  if (program.empty()) return command;
  command.on_path =
      program.find('/') == std::string::npos && program.find(kPathSeparator) == std::string::npos;
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
  for (std::string& word : SplitArguments(arguments)) command.words.push_back(std::move(word));
  return command;
}

}  // namespace jr
