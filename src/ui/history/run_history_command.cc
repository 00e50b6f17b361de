// The main window's Run History command: one history window per main window, showing
// the job file of the moment and read again whenever a run started from the window ends;
// and the history window's Run Failed Lines Again, which the main window runs.

#include "platform/metadata_location.h"
#include "ui/controls/message_box.h"
#include "ui/history/run_history_window.h"
#include "ui/main_window/main_window.h"

namespace jr {

void MainWindow::showRunHistory() {
  if (currentJobFile().isEmpty()) {
    MessageBox::show("The job has not been saved yet: its run history belongs to its job file.",
                     "Run History", MessageBox::kOkOnly, MessageBox::Answer::kOk,
                     MessageBox::kInformation, this);
    return;
  }
  if (history_window_ == nullptr) {
    history_window_ = new RunHistoryWindow(this);
    connect(this, &MainWindow::runEnded, history_window_, &RunHistoryWindow::refresh);
    connect(this, &MainWindow::runningChanged, history_window_, &RunHistoryWindow::setRunning);
    connect(history_window_, &RunHistoryWindow::rerunRequested, this,
            &MainWindow::rerunFailedLines);
  }
  history_window_->setRunning(isRunning());
  history_window_->showJob(currentJobFile(), QString::fromStdString(SystemMetadataDatabasePath()));
  history_window_->show();
  history_window_->raise();
  history_window_->activateWindow();
}

void MainWindow::rerunFailedLines(const QString& job_file, const QString& run_id) {
  static constexpr const char* kTitle = "Run Failed Lines Again";
  auto tell = [this](const QString& text) {
    MessageBox::show(text, kTitle, MessageBox::kOkOnly, MessageBox::Answer::kOk,
                     MessageBox::kExclamation, this);
  };
  if (job_file != currentJobFile()) {
    return tell("The run history shows the runs of " + job_file + ", which is not the job open " +
                "now. Open it to run its failed lines again.");
  }
  if (!prepareWindowRun(/*rerun=*/true)) return;
  const std::string file = currentJobFile().toStdString();
  Result<RerunBasis> basis =
      ReadRerunBasis(SystemMetadataDatabasePath(), file, run_id.toStdString());
  if (!basis.ok()) return tell(QString::fromStdString(basis.message()));
  // The question an unattended rerun does not ask: it refuses unless told --force.
  QString changed = QString::fromStdString(JobChangedText(file, basis.value.run_id));
  changed[0] = changed[0].toUpper();
  const QString question =
      basis.value.job_changed
          ? changed +
                ". An unattended rerun refuses it without --force.\n\nRun the failed "
                "lines again anyway?"
          : "Run the failed lines of run " + run_id + " again ?";
  if (MessageBox::show(question, kTitle, MessageBox::kYesNo,
                       basis.value.job_changed ? MessageBox::Answer::kNo : MessageBox::Answer::kYes,
                       basis.value.job_changed ? MessageBox::kExclamation : MessageBox::kQuestion,
                       this) != MessageBox::Answer::kYes) {
    return;
  }
  runInWindow(std::move(basis.value));
}

}  // namespace jr
