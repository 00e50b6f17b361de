#pragma once
// How a program and its arguments become a Windows command line: one text, which the
// started program splits again by its own rules.

#include <string>
#include <string_view>
#include <vector>

namespace jr {

// The arguments, each after one blank, quoted so that the program gets them back as they
// are. For a program that splits its command line as the C run-time does, an argument
// that is empty or holds a blank, tab, line break or double quote is put in double quotes,
// a quote inside escaped by a backslash and the backslashes before a quote doubled. The
// command interpreter running a batch file (`for_batch_file`) knows no escapes: there an
// argument that is empty or holds a blank, tab or one of & | < > ^ is put in double quotes
// as it is (%~1 takes them off again).
std::string CommandLineArguments(const std::vector<std::string>& arguments, bool for_batch_file);

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

// The interpreter's command line that runs a batch file with the rest of the command line
// behind it: the file is quoted, the rest passed on unchanged.
std::wstring BatchFileCommandLine(const std::wstring& interpreter, const NamedProgram& batch);

}  // namespace jr
