#pragma once
// How a program text and its arguments become the words a program is started with, on
// systems that start programs from a list of words. The local launcher starts them; the
// cluster launcher hands them to srun, so that a job line fails at its start on the
// cluster exactly when it would here, and its program gets the same arguments.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace jr {

// One argument of an argument text and where it stands in the text.
struct ArgumentSpan {
  std::string text;  // the argument as the program gets it, without quotes
  size_t begin = 0;  // its first character in the text, an opening quote included
  size_t end = 0;    // one past its last character, a closing quote included
};

// Splits an argument text the way job-line options are meant: arguments are separated by
// blanks, tabs, carriage returns and line feeds; a double-quoted stretch belongs to one
// argument and loses its quotes (a quote left open runs to the end of the text);
// backslashes have no special meaning. No argument holds a double quote.
std::vector<ArgumentSpan> TokenizeArguments(std::string_view text);

// The arguments of TokenizeArguments, without their places.
std::vector<std::string> SplitArguments(std::string_view text);

// The program text without the double quotes around it, if any.
std::string_view Unquoted(std::string_view program);

// The full name of `name` on PATH (an empty entry is the current folder); empty when no
// executable file of that name is found.
std::string FindOnPath(std::string_view name);

// True for a regular file that this process may execute. One implementation per
// operating system.
bool MayExecute(const std::string& path);

// True for a file or folder that this process may write to (into, for a folder). One
// implementation per operating system.
bool MayWrite(const std::string& path);

struct ProgramCommand {
  enum class Kind {
    kMissing,     // nothing to start: no such file, not a regular file, not on PATH
    kRefused,     // a file that would not start as meant (see `cause`)
    kExecutable,  // started as it is
    kScript,      // a file that may not be executed: run by its interpreter (see below)
  };
  Kind kind = Kind::kMissing;
  // The words to start, the program first: for kScript the interpreter and the arguments
  // of its "#!" line (or "/bin/sh"), the file, then the arguments. Empty unless startable.
  std::vector<std::string> words;
  // words[0] is a bare name, searched on PATH when started.
  bool on_path = false;
  // Why nothing can be started, as a clause after the program's name: "No such file or
  // directory", "its #! line has Windows line endings (CR LF)". Empty when startable.
  std::string cause;

  bool startable() const { return kind == Kind::kExecutable || kind == Kind::kScript; }
};

// A program text (quotes around it removed) names a file when it holds a folder
// separator: that file must exist, and when it may not be executed (a user's batch file is
// a script here, and people rarely mark them executable) it runs by the interpreter its
// "#!" line names, with that line's arguments, or by /bin/sh without such a line. A bare
// name is searched on PATH. The arguments follow the program's words unchanged. A file
// whose "#!" line ends in a carriage return (saved on Windows) or names an interpreter
// that cannot be executed is refused: the system's own answer would name neither.
ProgramCommand ResolveProgramCommand(std::string_view program,
                                     const std::vector<std::string>& arguments);

// Why ResolveProgramCommand found nothing to start for `program`, in the system's words,
// as starting it would have put it: "No such file or directory" for a file that is not
// there or a name not on PATH, "Is a directory", "Permission denied" for anything else
// that is no regular file.
std::string MissingProgramCause(std::string_view program);

}  // namespace jr
