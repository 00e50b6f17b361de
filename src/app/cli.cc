#include "app/cli.h"

#include <cstdio>

#include "app/cli_check.h"
#include "app/cli_run.h"
#include "platform/config.h"

namespace jr {

std::string UsageText() {
  return "Usage: jobrunner [JOBFILE]\n"
         "       jobrunner --edit [JOBFILE]\n"
         "       jobrunner --check JOBFILE\n"
         "       jobrunner --help | --version\n"
         "\n"
         "Without arguments the job editor window opens. With a job file the job runs\n"
         "unattended, writes its reports and ends; the words after the program name are\n"
         "joined with single blanks into the job file name. --edit opens the editor with\n"
         "the job file loaded instead.\n";
}

std::optional<int> RunCommandLine(const std::vector<std::string>& args) {
  if (args.empty()) return std::nullopt;
  const std::string& first = args.front();
  if (first == "--help") {
    std::fputs(UsageText().c_str(), stdout);
    return kExitNoErrors;
  }
  if (first == "--version") {
    std::printf("jobrunner %s\n", kVersion);
    return kExitNoErrors;
  }
  if (first == "--check") return RunCheck({args.begin() + 1, args.end()});
  if (first == "--edit") return std::nullopt;
  std::string joined;
  for (size_t i = 0; i < args.size(); ++i) {
    if (i) joined += ' ';
    joined += args[i];
  }
  // A command line of blanks only opens the window, as an empty one does.
  if (joined.find_first_not_of(' ') == std::string::npos) return std::nullopt;
  return RunFromCommandLine(joined);
}

std::optional<std::string> EditorJobFile(const std::vector<std::string>& args) {
  if (args.empty() || args.front() != "--edit") return std::nullopt;
  std::string joined;
  for (size_t i = 1; i < args.size(); ++i) {
    if (i > 1) joined += ' ';
    joined += args[i];
  }
  return joined.find_first_not_of(' ') == std::string::npos ? std::string() : joined;
}

}  // namespace jr
