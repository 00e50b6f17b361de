// The job editor window: the executable that `jobrunner` of the full build becomes when
// the command line asks for a window.

#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>

#include "app/cli.h"
#include "app/window_entry.h"
#include "platform/environment.h"
#include "ui/main_window/job_executor.h"
#include "ui/main_window/main_window.h"

namespace jr {
namespace {

bool EnvSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

// Whether one of the platforms Qt would try can start. Qt aborts the whole program when none
// can, so this is decided before QApplication exists. Without QT_QPA_PLATFORM Qt tries
// Wayland and X11; a platform that needs no display server (offscreen, minimal, eglfs,
// vnc, ...) always starts.
bool DisplayAvailable() {
  const char* chosen = std::getenv("QT_QPA_PLATFORM");
  std::string_view platforms = chosen != nullptr && *chosen != '\0' ? chosen : "wayland;xcb";
  while (!platforms.empty()) {
    const size_t end = platforms.find(';');
    std::string_view name = platforms.substr(0, end);
    name = name.substr(0, name.find(':'));  // "offscreen:fontengine=..." carries options
    if (name == "xcb") {
      if (EnvSet("DISPLAY")) return true;
    } else if (name.starts_with("wayland")) {
      if (EnvSet("WAYLAND_DISPLAY")) return true;
    } else if (!name.empty()) {
      return true;
    }
    platforms = end == std::string_view::npos ? "" : platforms.substr(end + 1);
  }
  return false;
}

}  // namespace

void EnterProgram() {
  // jobrunner lies where the build and the install put it, seen from this executable.
  const std::filesystem::path self = ProgramFilePath();
  if (self.empty()) return;
  SetProgramFilePath((self.parent_path() / JOBRUNNER_PROGRAM_FROM_EDITOR).lexically_normal());
}

int RunWindow(int argc, char** argv, const std::string& job_file) {
  if (!DisplayAvailable()) {
    std::fputs("jobrunner: no display: the editor needs one; run a job with jobrunner JOBFILE\n",
               stderr);
    return kExitUsage;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName("Extraction Job Runner");
  QApplication::setDesktopFileName("jobrunner");
  QApplication::setWindowIcon(QIcon::fromTheme("jobrunner"));
  MainWindow window(MakeDriverJobExecutor());
  window.show();
  window.warnAboutRegistry();
  // A file that cannot be loaded shows Open's message and leaves an empty job.
  if (!job_file.empty()) window.openJobFile(QString::fromStdString(job_file), true);
  return app.exec();
}

}  // namespace jr
