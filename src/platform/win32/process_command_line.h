#pragma once
// How a job line's program and arguments become a Windows command line.

#include <string>
#include <string_view>

namespace jr {

// The program text, then, when the arguments are not blank, one blank and the arguments
// exactly as given. Nothing is quoted: a program path with blanks is found by the
// system's rules for an unquoted command line.
std::string JobLineCommandLine(std::string_view program, std::string_view arguments);

struct NamedProgram {
  // The program file the command line names; empty when no existing file is named
  // (a program found on the search path, or none at all).
  std::wstring file;
  // The text behind the program's token, starting at the blank that ends it.
  std::wstring rest;
};

// Finds the program file as the system does: a quoted first token is the name;
// unquoted, the text up to each blank in turn is tried, as it is and, without an
// extension, with ".exe"; the first existing file wins.
NamedProgram FindNamedProgram(const std::wstring& command_line);

// ".bat" or ".cmd", in any case.
bool IsBatchFile(std::wstring_view path);

// The interpreter's command line that runs a batch file with the rest of the job line's
// command line: the file is quoted, the rest passed on unchanged.
std::wstring BatchFileCommandLine(const std::wstring& interpreter, const NamedProgram& batch);

}  // namespace jr
