// The job editor window of the full build.

#include <QApplication>
#include <QIcon>

#include "app/window_entry.h"
#include "ui/main_window/job_executor.h"
#include "ui/main_window/main_window.h"

namespace jr {

int RunWindow(int argc, char** argv, const std::string& job_file) {
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
