// The job line commands of the main window: they move one job line between the job-line
// table and the job line dialog, and keep the table sorted and the grid's current row on
// the line the user worked on.

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include "model/number_text.h"
#include "platform/process_launcher.h"
#include "platform/registry.h"
#include "ui/controls/message_box.h"
#include "ui/job_line_dialog/batch_line_dialog.h"
#include "ui/main_window/batch_definition_frm.h"

namespace jr {
namespace {

std::string Utf8(const QString& text) { return text.toStdString(); }

// The row of the job line whose number the dialog now holds.
int RowOfDialogNumber(const JobLineTable& table, const BatchLineDialog& dialog) {
  const std::optional<int64_t> number = LeadingWholeNumber(Utf8(dialog.BatchLine_Value()));
  return table.FindJobLineRow(static_cast<int32_t>(number.value_or(0)));
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
    batch_line_dialog_->setLogFileDirSource([this] { return LogFileDir->text(); });
  }
  return *batch_line_dialog_;
}

void BatchDefinitionFrm::WriteRowFromDialog(int row) {
  const BatchLineDialog& d = *batch_line_dialog_;
  const QString cells[JobLineTable::kColumnCount] = {d.BatchLine_Value(),
                                                     d.BatchDescription_Value(),
                                                     d.BatchLineType_Value(),
                                                     d.options_value(),
                                                     d.Wait_Value(),
                                                     d.StopOnError_Value(),
                                                     d.Active_Value(),
                                                     d.Batchfile_Value(),
                                                     d.IntLogFile()->text(),
                                                     d.IntErrFile()->text(),
                                                     d.SkipOnError()->text(),
                                                     d.SkipOnSuccess()->text(),
                                                     d.RepeatOnError()->text(),
                                                     d.RepeatOnSuccess()->text()};
  for (int column = 0; column < JobLineTable::kColumnCount; ++column) {
    table_.Set(column, row, Utf8(cells[column]));
  }
}

void BatchDefinitionFrm::AddBline_Click() {
  if (!CheckJobSettings()) return;
  AddJobLine();
}

void BatchDefinitionFrm::AddJobLine() {
  if (!CheckJobSettings()) return;
  // Even a cancelled insert counts as a change of the job.
  changed_ = true;
  BatchLineDialog& d = JobLineDialog();
  d.BatchLine()->clear();
  d.Description()->clear();
  d.ClearTypeSelection();
  d.setoptions_value(QString());
  d.WaitFor()->clear();
  d.StopOnError()->setChecked(false);
  d.ChActive()->setChecked(true);
  for (QLineEdit* field : {d.SkipOnError(), d.SkipOnSuccess(), d.RepeatOnError(),
                           d.RepeatOnSuccess(), d.Batchfile(), d.IntLogFile(), d.IntErrFile()}) {
    field->clear();
  }
  d.exec();
  if (!d.BatchLineChanged()) return;

  const int count = table_.Get_BatchLine_Count() + 1;
  if (count > table_.RowCapacity()) table_.AppendTableRow();
  table_.SetJobLineCount(count);
  WriteRowFromDialog(count - 1);
  table_.SortJobLineTable();
  RefreshGrid();
  ShowTableRow(RowOfDialogNumber(table_, d));
}

void BatchDefinitionFrm::ChangeBline_Click() {
  if (!CheckJobSettings()) return;
  if (table_.Get_BatchLine_Count() < 1) return;
  const int index = CurrentJobLineRow();
  if (index < 0 || index >= table_.Get_BatchLine_Count()) {
    EditJobLine(index);
    RefreshGrid();
    return;
  }
  if (EditJobLine(index)) table_.SortJobLineTable();
  RefreshGrid();
  const BatchLineDialog& d = JobLineDialog();
  if (!d.BatchLineChanged()) {
    // A cancelled dialog leaves the user on the line they had chosen, whatever number was
    // typed before cancelling.
    ShowTableRow(index);
  } else if (!TrimBlanks(d.BatchLine_Value()).isEmpty()) {
    ShowTableRow(RowOfDialogNumber(table_, d));
  }
}

bool BatchDefinitionFrm::EditJobLine(int row) {
  changed_ = true;
  if (row < 0 || row >= table_.Get_BatchLine_Count()) return false;
  BatchLineDialog& d = JobLineDialog();
  auto cell = [&](int column) { return QString::fromStdString(table_.Text(column, row)); };
  d.BatchLine()->setText(cell(kColNumber));
  d.Description()->setText(cell(kColDescription));
  // The type goes first: a change of type empties the options.
  d.SelectType(cell(kColType));
  d.setoptions_value(cell(kColOptions));
  d.WaitFor()->setText(cell(kColWait));
  d.StopOnError()->setChecked(cell(kColStopOnError) == "true");
  d.ChActive()->setChecked(cell(kColActive) == "true");
  d.SkipOnError()->setText(cell(kColSkipOnError));
  d.SkipOnSuccess()->setText(cell(kColSkipOnSuccess));
  d.RepeatOnError()->setText(cell(kColRepeatOnError));
  d.RepeatOnSuccess()->setText(cell(kColRepeatOnSuccess));
  if (!cell(kColBatchFile).isEmpty()) {
    d.Batchfile()->setText(cell(kColBatchFile));
    d.IntLogFile()->setText(cell(kColBatchLogFile));
    d.IntErrFile()->setText(cell(kColBatchStatusFile));
  }
  const QString shown_number = d.BatchLine()->text();
  d.exec();
  if (!d.BatchLineChanged()) return false;
  WriteRowFromDialog(row);
  return cell(kColNumber) != shown_number;
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
