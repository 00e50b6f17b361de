#pragma once
// Command-line mode: everything the program does before, or instead of, opening a window.

#include <optional>
#include <string>
#include <vector>

namespace jr {

// Exit statuses of a command-line run.
inline constexpr int kExitNoErrors = 0;
inline constexpr int kExitErrors = 1;
inline constexpr int kExitFatal = 2;
inline constexpr int kExitBadJobFile = 3;
inline constexpr int kExitCannotRun = 4;
// Another run of the job goes on and the job refuses a second one.
inline constexpr int kExitAlreadyRunning = 5;
// Wrong use of the options themselves (an option without its file).
inline constexpr int kExitUsage = 64;

std::string UsageText();

// Decides what the arguments ask for and does it, unless they ask for the window: then
// nullopt. `args` are the arguments after the program name.
std::optional<int> RunCommandLine(const std::vector<std::string>& args);

// `jobrunner --edit [JOBFILE]`: the job file the editor is to open, the words after
// "--edit" joined with single blanks ("" for none, so a desktop entry may pass no file);
// nullopt when the arguments do not start with "--edit".
std::optional<std::string> EditorJobFile(const std::vector<std::string>& args);

}  // namespace jr
