// The job line commands of the main window: they move one job line between the job-line
// table and the job line dialog, and keep the table sorted and the grid's current row on
// the line the user worked on.

#include "model/job_rules.h"
#include "platform/process_launcher.h"
#include "platform/registry.h"
#include "ui/controls/message_box.h"
#include "ui/job_line_dialog/job_line_dialog.h"
#include "ui/main_window/edited_job.h"
#include "ui/main_window/main_window.h"

namespace jr {

void MainWindow::setJobLineDialogServices(RegistryReader& registry, ProcessLauncher& launcher) {
  dialog_registry_ = &registry;
  dialog_launcher_ = &launcher;
}

void MainWindow::warnAboutRegistry() {
  const std::string failure = MakeSystemRegistryReader()->ReadFailure();
  if (failure.empty()) return;
  MessageBox::show(QString::fromStdString(failure), "Extraction Job Runner", MessageBox::kOkOnly,
                   MessageBox::Answer::kOk, MessageBox::kExclamation, this);
}

JobLineDialog& MainWindow::jobLineDialog() {
  if (job_line_dialog_ == nullptr) {
    if (dialog_registry_ == nullptr) {
      own_registry_ = MakeSystemRegistryReader();
      dialog_registry_ = own_registry_.get();
    }
    if (dialog_launcher_ == nullptr) {
      own_launcher_ = MakeSystemProcessLauncher();
      dialog_launcher_ = own_launcher_.get();
    }
    job_line_dialog_ = new JobLineDialog(*dialog_registry_, *dialog_launcher_, this);
    job_line_dialog_->setJobLineTable(&table());
    job_line_dialog_->setLogFolderSource(
        [this] { return QString::fromStdString(job_->job().TempLogDir); });
    job_line_dialog_->setJobFileSource([this] { return current_job_file_; });
  }
  return *job_line_dialog_;
}

void MainWindow::insertJobLine() {
  if (!checkJobSettings()) return;
  JobLineDialog& d = jobLineDialog();
  JobLineTable::Row fresh;
  fresh.fill(std::string());
  fresh[kColStopOnError] = "false";
  fresh[kColActive] = "true";
  d.setJobLine(fresh);
  if (d.exec() != QDialog::Accepted) return;

  showTableRow(job_->insertLine(d.jobLine()));
}

void MainWindow::editJobLine() {
  if (!checkJobSettings()) return;
  const int index = currentJobLineRow();
  if (index < 0 || index >= table().LineCount()) return;
  JobLineDialog& d = jobLineDialog();
  d.setJobLine(table().RowAt(index));
  if (d.exec() != QDialog::Accepted) {
    // A cancelled dialog leaves the user on the line they had chosen, whatever number was
    // typed before cancelling.
    showTableRow(index);
    return;
  }
  // A job in the order of its file stays so until a number changes.
  showTableRow(job_->changeLine(index, d.jobLine()));
}

void MainWindow::deleteJobLine() {
  if (table().LineCount() == 0) return;
  const MessageBox::Answer answer =
      MessageBox::show("Delete Job Line ?", "Delete", MessageBox::kOkCancel,
                       MessageBox::Answer::kCancel, MessageBox::kQuestion, this);
  if (answer != MessageBox::Answer::kOk) return;
  const int index = currentJobLineRow();
  if (index < 0 || index >= table().LineCount()) return;
  job_->removeLine(index);
  const int count = table().LineCount();
  if (count > 0) showTableRow(index < count ? index : count - 1);
}

}  // namespace jr
