#pragma once
// How a program text and an argument text become the words a program is started with, on
// systems that start programs from a list of words. The local launcher starts them; the
// cluster launcher hands them to srun, so that a job line fails at its start on the
// cluster exactly when it would here, and its program gets the same arguments.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace jr {

// Splits an argument text the way job-line command lines are meant: arguments are
// separated by blanks and tabs; a double-quoted stretch belongs to one argument and loses
// its quotes; backslashes have no special meaning. No word of the result holds a double
// quote.
std::vector<std::string> SplitArguments(std::string_view text);

// The text that SplitArguments splits into `words` (words with blanks quoted); nothing
// when a word holds a double quote, which the text cannot carry.
std::optional<std::string> JoinArguments(const std::vector<std::string>& words);

// The program text without the double quotes around it, if any.
std::string_view Unquoted(std::string_view program);

// The full name of `name` on PATH (an empty entry is the current folder); empty when no
// executable file of that name is found.
std::string FindOnPath(std::string_view name);

// True for a regular file that this process may execute. One implementation per
// operating system.
bool MayExecute(const std::string& path);

struct ProgramCommand {
  enum class Kind {
    kMissing,     // nothing to start: no such file, not a regular file, not on PATH
    kExecutable,  // started as it is
    kScript,      // a file that may not be executed: a script for /bin/sh
  };
  Kind kind = Kind::kMissing;
  // The words to start, the program first: for kScript "/bin/sh", the file, then the
  // arguments. Empty for kMissing.
  std::vector<std::string> words;
  // words[0] is a bare name, searched on PATH when started.
  bool on_path = false;
};

// A program text (quotes around it removed) names a file when it holds a folder
// separator: that file must exist, and runs by /bin/sh when it may not be executed (a
// user's batch file is a shell script here, and people rarely mark them executable). A
// bare name is searched on PATH.
ProgramCommand ResolveProgramCommand(std::string_view program, std::string_view arguments);

}  // namespace jr
