// The program, and the editor's executable: command-line mode is decided before anything
// touches a display.

#include <clocale>
#include <string>
#include <vector>

#include "app/cli.h"
#include "app/window_entry.h"

int main(int argc, char** argv) {
  // Time texts carry the month names of the user's locale.
  std::setlocale(LC_TIME, "");
  jr::EnterProgram();
  std::vector<std::string> args(argv + 1, argv + argc);
  if (std::optional<int> status = jr::RunCommandLine(args)) return *status;
  return jr::RunWindow(argc, argv, jr::EditorJobFile(args).value_or(""));
}
