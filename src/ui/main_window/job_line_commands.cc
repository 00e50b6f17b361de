// The job line commands of the main window: they move one job line between the job-line
// table and the job line dialog, and keep the table sorted and the grid's current row on
// the line the user worked on.

#include "model/job_rules.h"
#include "platform/process_launcher.h"
#include "platform/registry.h"
#include "ui/controls/message_box.h"
#include "ui/job_line_dialog/batch_line_dialog.h"
#include "ui/main_window/batch_definition_frm.h"
#include "ui/main_window/job_header_form.h"

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

void BatchDefinitionFrm::setJobLineDialogServices(RegistryReader& registry,
                                                  ProcessLauncher& launcher) {
  dialog_registry_ = &registry;
  dialog_launcher_ = &launcher;
}

BatchLineDialog& BatchDefinitionFrm::JobLineDialog() {
  if (batch_line_dialog_ == nullptr) {
    if (dialog_registry_ == nullptr) {
      own_registry_ = MakeSystemRegistryReader();
      dialog_registry_ = own_registry_.get();
    }
    if (dialog_launcher_ == nullptr) {
      own_launcher_ = MakeSystemProcessLauncher();
      dialog_launcher_ = own_launcher_.get();
    }
    batch_line_dialog_ = new BatchLineDialog(*dialog_registry_, *dialog_launcher_, this);
    batch_line_dialog_->setJobLineTable(&table_);
    batch_line_dialog_->setLogFileDirSource([this] { return header_->LogFileDirText(); });
  }
  return *batch_line_dialog_;
}

void BatchDefinitionFrm::AddBline_Click() {
  if (!CheckJobSettings()) return;
  // Even a cancelled insert counts as a change of the job.
  changed_ = true;
  BatchLineDialog& d = JobLineDialog();
  JobLineTable::Row fresh;
  fresh.fill(std::string());
  fresh[kColStopOnError] = "false";
  fresh[kColActive] = "true";
  d.setJobLine(fresh);
  if (d.exec() != QDialog::Accepted) return;

  const JobLineTable::Row line = d.jobLine();
  const int count = table_.Get_BatchLine_Count() + 1;
  if (count > table_.RowCapacity()) table_.AppendTableRow();
  table_.SetJobLineCount(count);
  WriteRow(table_, count - 1, line);
  table_.SortJobLineTable();
  RefreshGrid();
  ShowTableRow(RowOfNumber(table_, line));
}

void BatchDefinitionFrm::ChangeBline_Click() {
  if (!CheckJobSettings()) return;
  if (table_.Get_BatchLine_Count() < 1) return;
  changed_ = true;
  const int index = CurrentJobLineRow();
  if (index < 0 || index >= table_.Get_BatchLine_Count()) {
    RefreshGrid();
    return;
  }
  BatchLineDialog& d = JobLineDialog();
  const std::string old_number = table_.Text(kColNumber, index);
  d.setJobLine(table_.RowAt(index));
  if (d.exec() != QDialog::Accepted) {
    // A cancelled dialog leaves the user on the line they had chosen, whatever number was
    // typed before cancelling.
    RefreshGrid();
    ShowTableRow(index);
    return;
  }
  const JobLineTable::Row line = d.jobLine();
  WriteRow(table_, index, line);
  // A job in the order of its file stays so until a number changes.
  if (line[kColNumber] != old_number) table_.SortJobLineTable();
  RefreshGrid();
  ShowTableRow(RowOfNumber(table_, line));
}

void BatchDefinitionFrm::DeleteBline_Click() {
  // Even a declined delete counts as a change of the job.
  changed_ = true;
  if (table_.Get_BatchLine_Count() == 0) return;
  const int answer = MessageBox::show("Delete Job Line ?", "Delete", MessageBox::kOkCancel,
                                      MessageBox::kCancel, MessageBox::kQuestion, this);
  if (answer != MessageBox::kOk) return;
  const int old_count = table_.Get_BatchLine_Count();
  const int index = CurrentJobLineRow();
  table_.DeleteTableRow(index);
  const int count = table_.Get_BatchLine_Count();
  if (count == old_count) return;
  RefreshGrid();
  if (count > 0) ShowTableRow(index < count ? index : count - 1);
}

}  // namespace jr
