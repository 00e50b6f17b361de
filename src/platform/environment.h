#pragma once
// The process's environment variables, as UTF-8 text on every system.

#include <map>
#include <string>
#include <string_view>

namespace jr {

// The value of the environment variable `name`; empty when it is not set.
std::string EnvironmentValue(const char* name);

// The environment variables whose names start with `prefix` (as written, letter case
// included), by name.
std::map<std::string, std::string> EnvironmentStartingWith(std::string_view prefix);

#ifndef _WIN32
// `$VARIABLE/LEAF` when the XDG base folder variable holds an absolute path (a relative one is
// invalid and is ignored, as its definition asks), else `$HOME/HOME_FOLDER/LEAF` (the
// variable's default); empty when neither can be had.
std::string UserBaseFolderPath(const char* variable, const char* home_folder,
                               const std::string& leaf);
#endif

// The full name of this program's executable file; empty when it cannot be had.
std::string ProgramFilePath();

#ifndef _WIN32
// Has ProgramFilePath() name `path` from now on; called before any thread starts. The
// editor's executable is one that `jobrunner` becomes, and what it writes (batch files,
// schedule units) or finds beside the program (help pages, Jobs, log) is jobrunner's.
void SetProgramFilePath(std::string path);
#endif

}  // namespace jr
