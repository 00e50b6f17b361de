#pragma once
// Opens the job editor window, with `job_file` loaded unless it is ""; chosen by the build
// (a build without the window prints the usage instead).

#include <string>

namespace jr {

int RunWindow(int argc, char** argv, const std::string& job_file);

}  // namespace jr
