// `jobrunner` of the full build: the editor is an executable of its own, which this program
// becomes (exec) when the command line asks for a window. A command-line run, every night
// from cron, thus never loads the window's libraries: Qt and the forty libraries it brings
// cost every start about 30 ms, as long as a `--history` takes to answer.

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "app/cli.h"
#include "app/window_entry.h"
#include "platform/environment.h"

namespace jr {

void EnterProgram() {}

int RunWindow(int, char** argv, const std::string&) {
  // The editor reads the same command line again, and finds the job file in it.
  const std::string editor =
      (std::filesystem::path(ProgramFilePath()).parent_path() / JOBRUNNER_EDITOR_FROM_PROGRAM)
          .lexically_normal()
          .string();
  execv(editor.c_str(), argv);
  std::fprintf(stderr, "jobrunner: the editor \"%s\" cannot be started: %s\n", editor.c_str(),
               std::strerror(errno));
  return kExitUsage;
}

}  // namespace jr
