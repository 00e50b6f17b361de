#pragma once
// Opens the job editor window, with `job_file` loaded unless it is ""; chosen by the build:
// the editor's own executable opens it, `jobrunner` of the full build becomes that
// executable, and a build without the window prints the usage instead.

#include <string>

namespace jr {

// Called first in main: the editor's executable names jobrunner as the program.
void EnterProgram();

int RunWindow(int argc, char** argv, const std::string& job_file);

}  // namespace jr
