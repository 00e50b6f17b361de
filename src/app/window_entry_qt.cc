// The job editor window of the full build.

#include <QApplication>

#include "app/window_entry.h"
#include "ui/main_window/batch_definition_frm.h"
#include "ui/main_window/job_executor.h"

namespace jr {

int RunWindow(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Extraction Job Runner");
  BatchDefinitionFrm window(MakeDriverJobExecutor());
  window.show();
  return app.exec();
}

}  // namespace jr
