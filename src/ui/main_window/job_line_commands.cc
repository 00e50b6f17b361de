// The job line commands of the main window: they move one job line between the job-line
// table and the job line dialog, and keep the table sorted and the grid's current row on
// the line the user worked on.

#include "model/job_rules.h"
#include "platform/process_launcher.h"
#include "platform/registry.h"
#include "ui/controls/message_box.h"
#include "ui/job_line_dialog/job_line_dialog.h"
#include "ui/main_window/job_header_form.h"
#include "ui/main_window/main_window.h"

namespace jr {
namespace {

// The row of the job line whose number `line` holds.
int RowOfNumber(const JobLineTable& table, const JobLineTable::Row& line) {
  return table.FindJobLineRow(
      static_cast<int32_t>(ParseJobLineNr(line[kColNumber].value_or("")).value));
}

void WriteRow(JobLineTable& table, int row, const JobLineTable::Row& line) {
  for (int column = 0; column < JobLineTable::kColumnCount; ++column) {
    table.Set(column, row, line[column]);
  }
}

}  // namespace

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
    job_line_dialog_->setJobLineTable(&table_);
    job_line_dialog_->setLogFolderSource([this] { return header_->logFolderText(); });
    job_line_dialog_->setJobFileSource([this] { return current_job_file_; });
  }
  return *job_line_dialog_;
}

void MainWindow::insertJobLine() {
  if (!checkJobSettings()) return;
  // Even a cancelled insert counts as a change of the job.
  changed_ = true;
  JobLineDialog& d = jobLineDialog();
  JobLineTable::Row fresh;
  fresh.fill(std::string());
  fresh[kColStopOnError] = "false";
  fresh[kColActive] = "true";
  d.setJobLine(fresh);
  if (d.exec() != QDialog::Accepted) return;

  const JobLineTable::Row line = d.jobLine();
  WriteRow(table_, table_.LineCount(), line);
  table_.SortJobLineTable();
  refreshGrid();
  showTableRow(RowOfNumber(table_, line));
}

void MainWindow::editJobLine() {
  if (!checkJobSettings()) return;
  if (table_.LineCount() < 1) return;
  changed_ = true;
  const int index = currentJobLineRow();
  if (index < 0 || index >= table_.LineCount()) {
    refreshGrid();
    return;
  }
  JobLineDialog& d = jobLineDialog();
  const std::string old_number = table_.Text(kColNumber, index);
  d.setJobLine(table_.RowAt(index));
  if (d.exec() != QDialog::Accepted) {
    // A cancelled dialog leaves the user on the line they had chosen, whatever number was
    // typed before cancelling.
    refreshGrid();
    showTableRow(index);
    return;
  }
  const JobLineTable::Row line = d.jobLine();
  WriteRow(table_, index, line);
  // A job in the order of its file stays so until a number changes.
  if (line[kColNumber] != old_number) table_.SortJobLineTable();
  refreshGrid();
  showTableRow(RowOfNumber(table_, line));
}

void MainWindow::deleteJobLine() {
  // Even a declined delete counts as a change of the job.
  changed_ = true;
  if (table_.LineCount() == 0) return;
  const MessageBox::Answer answer =
      MessageBox::show("Delete Job Line ?", "Delete", MessageBox::kOkCancel,
                       MessageBox::Answer::kCancel, MessageBox::kQuestion, this);
  if (answer != MessageBox::Answer::kOk) return;
  const int old_count = table_.LineCount();
  const int index = currentJobLineRow();
  table_.DeleteTableRow(index);
  const int count = table_.LineCount();
  if (count == old_count) return;
  refreshGrid();
  if (count > 0) showTableRow(index < count ? index : count - 1);
}

}  // namespace jr
