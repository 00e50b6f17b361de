// The main window's Run History command: one history window per main window, showing
// the job file of the moment and read again whenever a run started from the window ends.

#include "platform/sqlite_metadata_log.h"
#include "ui/controls/message_box.h"
#include "ui/history/run_history_window.h"
#include "ui/main_window/batch_definition_frm.h"

namespace jr {

void BatchDefinitionFrm::RunHistory_Click() {
  if (CurrentJobFile().isEmpty()) {
    MessageBox::show("The job has not been saved yet: its run history belongs to its job file.",
                     "Run History", MessageBox::kOkOnly, MessageBox::kOk, MessageBox::kInformation,
                     this);
    return;
  }
  if (history_window_ == nullptr) {
    history_window_ = new RunHistoryWindow(this);
    connect(this, &BatchDefinitionFrm::runEnded, history_window_, &RunHistoryWindow::Refresh);
  }
  history_window_->ShowJob(CurrentJobFile(), QString::fromStdString(SystemMetadataDatabasePath()));
  history_window_->show();
  history_window_->raise();
  history_window_->activateWindow();
}

}  // namespace jr
