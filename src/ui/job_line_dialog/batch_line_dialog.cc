#include "ui/job_line_dialog/batch_line_dialog.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryFile>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>

#include "model/catalogue.h"
#include "model/job_line_table.h"
#include "platform/helper_program.h"
#include "platform/installation.h"
#include "platform/shell_exec_task.h"
#include "ui/controls/file_dialog.h"
#include "ui/controls/message_box.h"
#include "ui/controls/u_text_box.h"

namespace jr {
namespace {

const QString kUserBatchfileName = QString::fromUtf8(kUserBatchfile.data(), kUserBatchfile.size());

// Leading and trailing spaces removed; other white space is part of the text, as the
// fields mean it.
QString TrimBlanks(const QString& text) {
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && text[begin] == u' ') ++begin;
  while (end > begin && text[end - 1] == u' ') --end;
  return text.mid(begin, end - begin);
}

bool File_exists(const QString& file_name) {
  if (file_name.isEmpty()) return false;
  return QFileInfo(file_name).isFile();
}

std::string Utf8(const QString& text) { return text.toStdString(); }
QString CellText(const Cell& cell) { return QString::fromStdString(cell.value_or(std::string())); }

// Characters a typed key would insert; control keys, shortcuts and editing keys pass.
bool IsTypedCharacter(const QKeyEvent& key) {
  if (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
  const QString text = key.text();
  return !text.isEmpty() && text[0].isPrint();
}

bool IsUserFocusReason(Qt::FocusReason reason) {
  // Focus that moves because a message box or another window took over is no entering or
  // leaving of a field, and neither is focus put back by the dialog after a rejected value:
  // the field that had it for a moment must not run its own check in turn.
  return reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
         reason == Qt::MouseFocusReason || reason == Qt::ShortcutFocusReason;
}

QLineEdit* MakeLineEdit(const char* name, const char* tip, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromLatin1(name));
  edit->setToolTip(QString::fromUtf8(tip));
  return edit;
}

QLabel* MakeLabel(const char* name, const char* caption, QWidget* buddy, QWidget* parent) {
  auto* label = new QLabel(QString::fromUtf8(caption), parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setBuddy(buddy);
  return label;
}

QPushButton* MakeBrowseButton(const char* name, QWidget* parent) {
  auto* button = new QPushButton(QStringLiteral("..."), parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setAutoDefault(false);
  button->setFixedWidth(button->sizeHint().height());
  return button;
}

}  // namespace

BatchLineDialog::BatchLineDialog(RegistryReader& registry, ProcessLauncher& launcher,
                                 QWidget* parent)
    : QDialog(parent), registry_(registry), launcher_(launcher) {
  setObjectName(QStringLiteral("BatchLineDialog"));
  setWindowTitle(QStringLiteral("Job Line Details"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setModal(true);
  BuildControls();
  FillTypeList();
}

BatchLineDialog::~BatchLineDialog() = default;

void BatchLineDialog::BuildControls() {
  batch_line_ = MakeLineEdit("BatchLine", "Specify a number, e.g. : 20. ", this);
  batch_line_->setMaximumWidth(batch_line_->fontMetrics().horizontalAdvance(u'0') * 12);
  active_ = new QCheckBox(QStringLiteral("&Active"), this);
  active_->setObjectName(QStringLiteral("ChActive"));
  active_->setToolTip(
      QStringLiteral("If off then this job line will not run when the job is executed; if on, "
                     "then this job line will run when the job is executed"));
  description_ = MakeLineEdit("Description", "Description of the job line ", this);
  type_combo_ = new QComboBox(this);
  type_combo_->setObjectName(QStringLiteral("BatchLineCombo"));
  type_combo_->setToolTip(QStringLiteral("Specify the right job line type"));
  type_combo_->setEditable(false);
  type_combo_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  options_ = new QPlainTextEdit(this);
  options_->setObjectName(QStringLiteral("Options"));
  options_->setToolTip(QStringLiteral("Specify the right options for this job line"));
  options_->setTabChangesFocus(true);
  options_->setMinimumHeight(options_->fontMetrics().lineSpacing() * 7);
  options_but_ = new QPushButton(QStringLiteral("&Options ..."), this);
  options_but_->setObjectName(QStringLiteral("OptionsBut"));
  time_limit_ = new uTextBox(this);
  time_limit_->setObjectName(QStringLiteral("TimeLimit"));
  time_limit_->setDataType(uTextBox::kWholeNumber);
  time_limit_->setMin(kLowestTimeLimit);
  time_limit_->setMax(kHighestTimeLimit);
  time_limit_->setAllowEmpty(true);
  time_limit_->setToolTipText(
      QStringLiteral("Longest time this job line may run; empty for no limit"));
  time_limit_->setMaximumWidth(time_limit_->fontMetrics().horizontalAdvance(u'0') * 12);
  options_but_->setToolTip(
      QStringLiteral("Press this button, to specify the options for this job line"));
  options_but_->setAutoDefault(false);
  wait_for_ = MakeLineEdit("WaitFor",
                           "Specify the job lines (comma separated)  that must run before this "
                           "one; e.g.  10,20,30  ",
                           this);
  stop_on_error_ = new QCheckBox(QStringLiteral("Stop on &error"), this);
  stop_on_error_->setObjectName(QStringLiteral("StopOnError"));
  stop_on_error_->setToolTip(
      QStringLiteral("If on, then the job will stop when this job line fails. If off, then the "
                     "job will continue when this job line fails"));
  skip_on_error_ = MakeLineEdit("SkipOnError",
                                "Specify the job lines (comma separated)  that must be skipped "
                                "when this step fails; e.g.  60,70  ",
                                this);
  skip_on_success_ = MakeLineEdit("SkipOnSuccess",
                                  "Specify the job lines (comma separated)  that must be skipped "
                                  "when this step succeeds; e.g.  60,70  ",
                                  this);
  repeat_on_error_ = MakeLineEdit("RepeatOnError",
                                  "Specify the job lines (comma separated)  that must be "
                                  "repeated when this step fails; e.g.  10,20",
                                  this);
  repeat_on_success_ = MakeLineEdit("RepeatOnSuccess",
                                    "Specify the job lines (comma separated)  that must be "
                                    "repeated when this step succeeds; e.g.  10,20",
                                    this);
  batch_file_ = MakeLineEdit("Batchfile", "Specify an executable or batch file", this);
  batch_file_but_ = MakeBrowseButton("BatchFileBut", this);
  int_log_file_ =
      MakeLineEdit("IntLogFile", "If applicable, then specify the name of the log file", this);
  int_log_file_but_ = MakeBrowseButton("IntLogFileBut", this);
  int_err_file_ =
      MakeLineEdit("IntErrFile", "If applicable, then specify the name of the status file", this);
  int_err_file_but_ = MakeBrowseButton("IntErrFileBut", this);
  ok_button_ = new QPushButton(QStringLiteral("OK"), this);
  ok_button_->setObjectName(QStringLiteral("OKButton"));
  ok_button_->setDefault(true);
  cancel_button_ = new QPushButton(QStringLiteral("Cancel"), this);
  cancel_button_->setObjectName(QStringLiteral("CancelButton"));
  cancel_button_->setAutoDefault(false);
  // OK and Cancel run their own checks (or none); a click on them must not first run the
  // leave-field check of the field that had the focus, so they take the focus by Tab only.
  ok_button_->setFocusPolicy(Qt::TabFocus);
  cancel_button_->setFocusPolicy(Qt::TabFocus);

  list_fields_[0] = wait_for_;
  list_fields_[1] = skip_on_error_;
  list_fields_[2] = skip_on_success_;
  list_fields_[3] = repeat_on_error_;
  list_fields_[4] = repeat_on_success_;

  batch_line_lb_ = MakeLabel("BatchLineLb", "&Job line:", batch_line_, this);
  auto* grid = new QGridLayout;
  int row = 0;
  auto add_row = [&](QLabel* label, QWidget* field, QWidget* browse = nullptr) {
    if (label) grid->addWidget(label, row, 0);
    grid->addWidget(field, row, 1, 1, browse ? 1 : 2);
    if (browse) grid->addWidget(browse, row, 2);
    ++row;
  };
  auto* number_row = new QHBoxLayout;
  number_row->addWidget(batch_line_);
  number_row->addSpacing(24);
  number_row->addWidget(active_);
  number_row->addStretch();
  grid->addWidget(batch_line_lb_, row, 0);
  grid->addLayout(number_row, row, 1, 1, 2);
  ++row;
  add_row(MakeLabel("DescriptionLb", "&Description:", description_, this), description_);
  auto* type_row = new QHBoxLayout;
  type_row->addWidget(type_combo_);
  type_row->addStretch();
  grid->addWidget(MakeLabel("TypeLb", "Job line &type:", type_combo_, this), row, 0);
  grid->addLayout(type_row, row, 1, 1, 2);
  ++row;
  const int options_row = row;
  grid->addWidget(MakeLabel("OptionsLb", "O&ptions:", options_, this), row, 0,
                  Qt::AlignTop | Qt::AlignLeft);
  add_row(nullptr, options_);
  auto* limit_row = new QHBoxLayout;
  limit_row->addWidget(time_limit_);
  limit_row->addStretch();
  grid->addWidget(MakeLabel("TimeLimitLb", "Time &limit (seconds):", time_limit_->inner(), this),
                  row, 0);
  grid->addLayout(limit_row, row, 1, 1, 2);
  ++row;
  add_row(MakeLabel("WaitLb", "&Wait for Job line(s):", wait_for_, this), wait_for_);
  grid->addWidget(stop_on_error_, row, 1, 1, 2);
  ++row;
  add_row(MakeLabel("LbSkipOnError", "Skip Job line(s) on error:", skip_on_error_, this),
          skip_on_error_);
  add_row(MakeLabel("LbSkipOnSuccess", "Skip Job line(s) on success:", skip_on_success_, this),
          skip_on_success_);
  add_row(MakeLabel("LbRepeatOnError", "Repeat Job line(s) on error:", repeat_on_error_, this),
          repeat_on_error_);
  add_row(
      MakeLabel("LbRepeatOnSuccess", "Repeat Job line(s) on success:", repeat_on_success_, this),
      repeat_on_success_);
  add_row(MakeLabel("BatchFileLb", "&User-defined batch file:", batch_file_, this), batch_file_,
          batch_file_but_);
  add_row(MakeLabel("IntLogFileLb", "&Log file:", int_log_file_, this), int_log_file_,
          int_log_file_but_);
  add_row(MakeLabel("IntErrFileLb", "&Status file:", int_err_file_, this), int_err_file_,
          int_err_file_but_);
  grid->setColumnMinimumWidth(1, fontMetrics().horizontalAdvance(u'x') * 55);

  // The right column: OK and Cancel at the top, the Options button beside the options.
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(ok_button_);
  buttons->addWidget(cancel_button_);
  buttons->addStretch();
  grid->addLayout(buttons, 0, 3, options_row, 1);
  auto* options_column = new QVBoxLayout;
  options_column->addWidget(options_but_);
  options_column->addStretch();
  grid->addLayout(options_column, options_row, 3);
  grid->setColumnStretch(1, 1);

  setLayout(grid);
  layout()->setSizeConstraint(QLayout::SetFixedSize);

  const QWidget* order[] = {batch_line_,          active_,           description_,
                            type_combo_,          options_,          options_but_,
                            time_limit_->inner(), wait_for_,         stop_on_error_,
                            skip_on_error_,       skip_on_success_,  repeat_on_error_,
                            repeat_on_success_,   batch_file_,       batch_file_but_,
                            int_log_file_,        int_log_file_but_, int_err_file_,
                            int_err_file_but_,    ok_button_,        cancel_button_};
  for (size_t i = 0; i + 1 < std::size(order); ++i) {
    setTabOrder(const_cast<QWidget*>(order[i]), const_cast<QWidget*>(order[i + 1]));
  }

  for (QWidget* watched :
       {static_cast<QWidget*>(batch_line_), static_cast<QWidget*>(type_combo_),
        static_cast<QWidget*>(options_), static_cast<QWidget*>(batch_file_),
        static_cast<QWidget*>(int_log_file_), static_cast<QWidget*>(int_err_file_)}) {
    watched->installEventFilter(this);
  }
  for (QLineEdit* field : list_fields_) field->installEventFilter(this);
  // The drop-down list searches as the user types, too.
  type_combo_->view()->installEventFilter(this);

  connect(type_combo_, &QComboBox::currentIndexChanged, this, [this] { BatchLineCombo_Changed(); });
  connect(ok_button_, &QPushButton::clicked, this, [this] { OKButton_Click(); });
  connect(cancel_button_, &QPushButton::clicked, this, &BatchLineDialog::reject);
  connect(options_but_, &QPushButton::clicked, this, [this] { OptionsBut_Click(); });
  connect(batch_file_but_, &QPushButton::clicked, this, [this] { BatchFileBut_Click(); });
  connect(int_log_file_but_, &QPushButton::clicked, this, [this] {
    BrowseResultFile(int_log_file_, QStringLiteral("Save Intermediate Log File"),
                     QStringLiteral("Orvex Log files (*.txt)"), log_file_filters_);
  });
  connect(int_err_file_but_, &QPushButton::clicked, this, [this] {
    // Only the status file's name is trimmed before browsing.
    int_err_file_->setText(TrimBlanks(int_err_file_->text()));
    BrowseResultFile(int_err_file_, QStringLiteral("Save Intermediate Error File"),
                     QStringLiteral("Orvex Error files (*.txt)"), err_file_filters_);
  });
}

void BatchLineDialog::FillTypeList() {
  const std::string mirn = GetMirnUtilsPath(registry_);
  const QSignalBlocker block(type_combo_);
  for (std::string_view name : AvailableTypeNames(mirn)) {
    type_combo_->addItem(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
  }
  type_combo_->setCurrentIndex(-1);
  remembered_type_position_ = 0;
}

// ---------------------------------------------------------------------------------------
// Values

void BatchLineDialog::setJobLine(const JobLineTable::Row& row) {
  auto cell = [&](int column) { return CellText(row[column]); };
  batch_line_->setText(cell(kColNumber));
  description_->setText(cell(kColDescription));
  // The type goes first: a change of type empties the options.
  SelectType(cell(kColType));
  SetOptions(cell(kColOptions));
  wait_for_->setText(cell(kColWait));
  stop_on_error_->setChecked(cell(kColStopOnError) == u"true");
  active_->setChecked(cell(kColActive) == u"true");
  skip_on_error_->setText(cell(kColSkipOnError));
  skip_on_success_->setText(cell(kColSkipOnSuccess));
  repeat_on_error_->setText(cell(kColRepeatOnError));
  repeat_on_success_->setText(cell(kColRepeatOnSuccess));
  time_limit_->setText(cell(kColTimeLimit));
  if (!cell(kColBatchFile).isEmpty()) {
    batch_file_->setText(cell(kColBatchFile));
    int_log_file_->setText(cell(kColBatchLogFile));
    int_err_file_->setText(cell(kColBatchStatusFile));
  }
}

JobLineTable::Row BatchLineDialog::jobLine() const {
  auto flag = [](const QCheckBox* box) { return std::string(box->isChecked() ? "true" : "false"); };
  JobLineTable::Row row;
  row[kColNumber] = Utf8(batch_line_->text());
  row[kColDescription] = Utf8(description_->text());
  row[kColType] = Utf8(type_combo_->currentText());
  row[kColOptions] = Utf8(stored_options_);
  row[kColWait] = Utf8(wait_for_->text());
  row[kColStopOnError] = flag(stop_on_error_);
  row[kColActive] = flag(active_);
  row[kColBatchFile] = Utf8(batch_file_->text());
  row[kColBatchLogFile] = Utf8(int_log_file_->text());
  row[kColBatchStatusFile] = Utf8(int_err_file_->text());
  row[kColSkipOnError] = Utf8(skip_on_error_->text());
  row[kColSkipOnSuccess] = Utf8(skip_on_success_->text());
  row[kColRepeatOnError] = Utf8(repeat_on_error_->text());
  row[kColRepeatOnSuccess] = Utf8(repeat_on_success_->text());
  // No limit is no value, so that the file carries no time_limit attribute for it.
  if (!time_limit_->Text().isEmpty()) row[kColTimeLimit] = Utf8(time_limit_->Text());
  return row;
}

// ---------------------------------------------------------------------------------------
// Options and their masking

void BatchLineDialog::SetOptions(const QString& options) {
  stored_options_ = options;
  shown_options_ = QString::fromStdString(MaskedOptions(options.toStdString()));
  options_->setPlainText(shown_options_);
}

void BatchLineDialog::Options_LostFocus() {
  if (type_combo_->currentText() != kUserBatchfileName) return;
  // Only an edit replaces the stored options: leaving the field untouched must not store
  // the masked text in place of a password.
  if (options_->toPlainText() == shown_options_) return;
  SetOptions(options_->toPlainText());
}

void BatchLineDialog::ApplyFieldBackground(QWidget* widget, bool editable_look) {
  const QPalette& scheme = QApplication::palette();
  QPalette palette = widget->palette();
  const QColor colour = scheme.color(editable_look ? QPalette::Base : QPalette::Button);
  palette.setColor(qobject_cast<QPushButton*>(widget) ? QPalette::Button : QPalette::Base, colour);
  widget->setPalette(palette);
}

void BatchLineDialog::SetTypeDependentFields() {
  const bool user = type_combo_->currentText() == kUserBatchfileName;
  for (QLineEdit* field : {batch_file_, int_log_file_, int_err_file_}) {
    field->setEnabled(user);
    if (!user) field->clear();
    ApplyFieldBackground(field, user);
  }
  for (QPushButton* button : {batch_file_but_, int_log_file_but_, int_err_file_but_}) {
    button->setEnabled(user);
  }
  options_->setReadOnly(!user);
  ApplyFieldBackground(options_, user);
  options_but_->setEnabled(!user);
  ApplyFieldBackground(options_but_, !user);
}

// ---------------------------------------------------------------------------------------
// Type list

void BatchLineDialog::RemoveExtraType() {
  if (extra_type_index_ < 0) return;
  const QSignalBlocker block(type_combo_);
  type_combo_->removeItem(extra_type_index_);
  extra_type_index_ = -1;
}

void BatchLineDialog::SelectType(const QString& type_name) {
  {
    const QSignalBlocker block(type_combo_);
    RemoveExtraType();
    int index = type_combo_->findText(type_name, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0 && !type_name.isEmpty()) {
      type_combo_->addItem(type_name);
      extra_type_index_ = type_combo_->count() - 1;
      index = extra_type_index_;
    }
    type_combo_->setCurrentIndex(index);
  }
  BatchLineCombo_Changed();
}

void BatchLineDialog::BatchLineCombo_Changed() {
  const QString text = type_combo_->currentText();
  if (text == remembered_type_text_) return;
  SetTypeDependentFields();
  SetOptions(QString());
  remembered_type_text_ = text;
}

void BatchLineDialog::BatchLineCombo_LostFocus() {
  if (!Show(CheckJobLineTypeField(Utf8(type_combo_->currentText()))))
    type_combo_->setFocus(Qt::OtherFocusReason);
}

bool BatchLineDialog::Show(const RuleResult& result) {
  if (result.ok()) return true;
  Warn(QString::fromStdString(result.message), QString::fromStdString(result.title));
  return false;
}

// ---------------------------------------------------------------------------------------
// Showing

void BatchLineDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) Form_Activate();
}

void BatchLineDialog::Form_Activate() {
  SetTypeDependentFields();
  if (type_combo_->currentText().isEmpty()) {
    RemoveExtraType();
    // A position taken from an entry that is gone again starts the list from its top.
    int position = remembered_type_position_;
    if (position < 0 || position >= type_combo_->count()) position = 0;
    {
      const QSignalBlocker block(type_combo_);
      type_combo_->setCurrentIndex(position);
    }
    BatchLineCombo_Changed();
    starting_number_ = -1;
    starting_number_text_.clear();
    ProposeNumber();
  } else {
    const JobLineNrResult number = ParseJobLineNr(Utf8(batch_line_->text()));
    starting_number_ =
        number.status == NumberStatus::kBlank || number.status == NumberStatus::kNotNumber
            ? -1
            : number.value;
    starting_number_text_ = batch_line_->text();
  }
  batch_line_->setFocus(Qt::ActiveWindowFocusReason);
}

void BatchLineDialog::ProposeNumber() {
  const std::optional<int64_t> proposal = ProposedJobLineNr(table_);
  batch_line_->setText(proposal ? QString::number(*proposal) : QString());
}

// ---------------------------------------------------------------------------------------
// Number and list checks

bool BatchLineDialog::CheckJobLineNr() {
  const RuleResult result =
      CheckJobLineNrField(Utf8(batch_line_->text()), starting_number_, table_);
  if (Show(result)) return true;
  // A refused number gives way to the one the line had; an empty field stays empty.
  if (result.status == RuleStatus::kRefused) batch_line_->setText(starting_number_text_);
  return false;
}

void BatchLineDialog::BatchLine_LostFocus() {
  const QString trimmed = TrimBlanks(batch_line_->text());
  if (trimmed.isEmpty()) return;
  batch_line_->setText(trimmed);
  if (CheckJobLineNr()) {
    batch_line_->setText(QString::number(ParseJobLineNr(Utf8(trimmed)).value));
  } else {
    batch_line_->setFocus(Qt::OtherFocusReason);
  }
}

bool BatchLineDialog::CheckList(QLineEdit* field) {
  return Show(
      CheckJobLineListField(ListOf(field), Utf8(batch_line_->text()), Utf8(field->text()), table_));
}

JobLineList BatchLineDialog::ListOf(const QLineEdit* field) const {
  const JobLineList lists[] = {JobLineList::kWait, JobLineList::kSkipOnError,
                               JobLineList::kSkipOnSuccess, JobLineList::kRepeatOnError,
                               JobLineList::kRepeatOnSuccess};
  for (int i = 0; i < 5; ++i) {
    if (list_fields_[i] == field) return lists[i];
  }
  return JobLineList::kRepeatOnSuccess;
}

void BatchLineDialog::RememberListText(QLineEdit* field) {
  for (int i = 0; i < 5; ++i) {
    if (list_fields_[i] == field) remembered_list_texts_[i] = field->text();
  }
}

void BatchLineDialog::ListField_LostFocus(QLineEdit* field) {
  if (CheckList(field)) return;
  for (int i = 0; i < 5; ++i) {
    if (list_fields_[i] == field) field->setText(remembered_list_texts_[i]);
  }
  field->setFocus(Qt::OtherFocusReason);
}

// ---------------------------------------------------------------------------------------
// OK and Cancel

void BatchLineDialog::OKButton_Click() {
  remembered_type_position_ = type_combo_->currentIndex();
  if (!CheckJobLineNr()) return;
  // Every check runs, so that each failing one shows its message.
  bool ok = true;
  for (QLineEdit* field : list_fields_) ok &= CheckList(field);
  ok &= Show(CheckUserBatchFileField(Utf8(type_combo_->currentText()), Utf8(batch_file_->text()),
                                     File_exists(batch_file_->text())));
  if (!ok) return;
  // Enter confirms without leaving the number field; the number is kept the way leaving
  // it would have written it.
  batch_line_->setText(QString::number(ParseJobLineNr(Utf8(batch_line_->text())).value));
  accept();
}

void BatchLineDialog::reject() {
  // The dialog is disabled while a configuration program runs; it cannot be left then.
  if (configuration_running_) return;
  QDialog::reject();
}

void BatchLineDialog::closeEvent(QCloseEvent* event) {
  if (configuration_running_) {
    // The dialog stays; the program it waits for is ended.
    configuration_stop_requested_ = true;
    event->ignore();
    return;
  }
  // Closing by the frame is Cancel.
  QDialog::closeEvent(event);
}

// ---------------------------------------------------------------------------------------
// Batch file, log file and status file

void BatchLineDialog::Batchfile_LostFocus() {
  const QString text = batch_file_->text();
  if (TrimBlanks(text).isEmpty()) return;
  Show(CheckUserBatchFileField(kUserBatchfile, Utf8(text), File_exists(text)));
}

bool BatchLineDialog::CheckFileWritable(const QString& file_name, const QString& field_name) {
  const QString trimmed = TrimBlanks(file_name);
  if (File_exists(trimmed)) return true;
  if (trimmed.isEmpty()) return true;
  QFile probe(trimmed);
  if (probe.open(QIODevice::Append)) {
    probe.close();
    if (probe.remove()) return true;
  }
  Warn(QStringLiteral("Unable to write to file '") + file_name + QStringLiteral("'"), field_name);
  return false;
}

void BatchLineDialog::ResultFile_LostFocus(QLineEdit* field, const QString& field_name) {
  if (TrimBlanks(field->text()).isEmpty()) return;
  if (CheckFileWritable(field->text(), field_name)) return;
  field->clear();
  field->setFocus(Qt::OtherFocusReason);
}

void BatchLineDialog::BatchFileBut_Click() {
  FileDialogRequest request;
  request.mode = FileDialogRequest::Mode::kOpenExisting;
  request.title = QStringLiteral("Open Batch File");
  if (TrimBlanks(batch_file_->text()).isEmpty()) {
    batch_file_filters_ = {QStringLiteral("Batch Program(*.bat)"),
                           QStringLiteral("Executables (*.exe *.com)"),
                           QStringLiteral("Shell scripts (*.sh)"), QStringLiteral("All files (*)")};
  } else {
    request.file_name = batch_file_->text();
  }
  request.filters = batch_file_filters_;
  const QString chosen = FileDialog::getFileName(this, request);
  if (!chosen.isEmpty()) batch_file_->setText(chosen);
  batch_file_->setFocus(Qt::OtherFocusReason);
}

void BatchLineDialog::BrowseResultFile(QLineEdit* field, const QString& title,
                                       const QString& filter, QStringList& kept_filters) {
  FileDialogRequest request;
  request.mode = FileDialogRequest::Mode::kSave;
  request.title = title;
  if (TrimBlanks(field->text()).isEmpty()) {
    kept_filters = {filter, QStringLiteral("All files (*)")};
    request.directory = LogFileDir();
  } else {
    request.file_name = field->text();
  }
  request.filters = kept_filters;
  const QString chosen = FileDialog::getFileName(this, request);
  if (!chosen.isEmpty()) field->setText(chosen);
  field->setFocus(Qt::OtherFocusReason);
}

// ---------------------------------------------------------------------------------------
// The Options command: the type's own program, in its configuration mode, edits the options
// and writes them back as the first line of a temporary file.

void BatchLineDialog::OptionsBut_Click() {
  QTemporaryFile reply_file(QDir::tempPath() + QStringLiteral("/jobrunner_options_XXXXXX.txt"));
  reply_file.setAutoRemove(false);
  if (!reply_file.open()) {
    Stop(QStringLiteral("Unable to create temporary file "), QStringLiteral("Options"));
    return;
  }
  const QString reply_name = reply_file.fileName();
  reply_file.close();
  // The reply file never outlives the command, whatever its outcome.
  struct RemoveReply {
    QString name;
    ~RemoveReply() {
      if (QFileInfo::exists(name)) QFile::remove(name);
    }
  } remove_reply{reply_name};

  const JobLineType* type = FindJobLineType(type_combo_->currentText().toStdString());
  if (type == nullptr || !type->has_config_mode) return;
  const std::string folder = type->folder == ProgramFolder::kMirn ? GetMirnUtilsPath(registry_)
                                                                  : GetKeldUtilsPath(registry_);
  const QString program = QString::fromStdString(folder + std::string(type->executable));
  if (!File_exists(program)) {
    Stop(QStringLiteral("Executable ") + program + QStringLiteral(" not found !"),
         QStringLiteral("Options"));
    return;
  }

  const QString arguments = QStringLiteral("-config ") + reply_name +
                            QString::fromUtf8(type->config_switch.data(),
                                              static_cast<qsizetype>(type->config_switch.size())) +
                            QStringLiteral(" ") + stored_options_;
  setEnabled(false);
  configuration_running_ = true;
  // The window keeps handling its events while the program runs.
  const PauseFn pause = [](std::chrono::milliseconds longest) {
    QEventLoop loop;
    QTimer::singleShot(longest, &loop, &QEventLoop::quit);
    loop.exec();
  };
  HelperWait wait;
  wait.pause = pause;
  wait.limit = HelperTimeLimit(registry_);
  wait.stop_requested = [this] { return configuration_stop_requested_; };
  configuration_stop_requested_ = false;
  const HelperEnd end =
      RunHelper(launcher_, (QStringLiteral("\"") + program + QStringLiteral("\"")).toStdString(),
                arguments.toStdString(), wait);
  configuration_running_ = false;
  setEnabled(true);
  activateWindow();
  options_but_->setFocus(Qt::ActiveWindowFocusReason);
  if (end == HelperEnd::kTimeLimit) {
    Stop(QStringLiteral("The program ") + program +
             QStringLiteral(" did not end within %1 s and was ended.")
                 .arg(std::chrono::duration_cast<std::chrono::seconds>(wait.limit).count()),
         QStringLiteral("Options"));
  }

  QString line;
  QFile reply(reply_name);
  if (reply.open(QIODevice::ReadOnly)) {
    QByteArray first = reply.readLine();
    while (first.endsWith('\n') || first.endsWith('\r')) first.chop(1);
    line = QString::fromUtf8(first);
    reply.close();
  }
  if (!line.isEmpty() && TrimBlanks(line).toLower() != QStringLiteral("canceled")) {
    SetOptions(line);
  }
}

// ---------------------------------------------------------------------------------------
// Keys and focus

bool BatchLineDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const auto& key = static_cast<const QKeyEvent&>(*event);
    if (IsTypedCharacter(key)) {
      const QChar c = key.text()[0];
      const bool digit = c >= u'0' && c <= u'9';
      if (watched == batch_line_ && !digit) return true;
      if (std::find(std::begin(list_fields_), std::end(list_fields_), watched) !=
              std::end(list_fields_) &&
          !(digit || c == u',' || c == u' ')) {
        return true;
      }
      if (watched == type_combo_ || watched == type_combo_->view()) return true;
    }
    return QDialog::eventFilter(watched, event);
  }
  if (event->type() != QEvent::FocusIn && event->type() != QEvent::FocusOut) {
    return QDialog::eventFilter(watched, event);
  }
  const auto& focus = static_cast<const QFocusEvent&>(*event);
  if (!IsUserFocusReason(focus.reason())) return QDialog::eventFilter(watched, event);

  if (event->type() == QEvent::FocusIn) {
    if (watched == type_combo_) remembered_type_text_ = type_combo_->currentText();
    if (auto* field = qobject_cast<QLineEdit*>(watched)) RememberListText(field);
    return QDialog::eventFilter(watched, event);
  }

  // Leaving a field: its check runs once the focus has settled on the next control, so
  // that a message box never opens in the middle of a focus change.
  QueueLeaveCheck(QPointer<QObject>(watched));
  return QDialog::eventFilter(watched, event);
}

void BatchLineDialog::QueueLeaveCheck(QPointer<QObject> target) {
  QTimer::singleShot(0, this, [this, target] {
    if (!target || !isVisible()) return;
    if (configuration_running_) {
      // The dialog is disabled meanwhile; the field is checked once it is usable again.
      QTimer::singleShot(100, this, [this, target] { QueueLeaveCheck(target); });
      return;
    }
    QObject* w = target.data();
    if (w == batch_line_) {
      BatchLine_LostFocus();
    } else if (w == type_combo_) {
      BatchLineCombo_LostFocus();
    } else if (w == options_) {
      Options_LostFocus();
    } else if (w == batch_file_) {
      Batchfile_LostFocus();
    } else if (w == int_log_file_) {
      ResultFile_LostFocus(int_log_file_, QStringLiteral("Log file"));
    } else if (w == int_err_file_) {
      ResultFile_LostFocus(int_err_file_, QStringLiteral("Status file"));
    } else if (auto* field = qobject_cast<QLineEdit*>(w)) {
      ListField_LostFocus(field);
    }
  });
}

// ---------------------------------------------------------------------------------------
// Messages

void BatchLineDialog::Warn(const QString& text, const QString& title) {
  MessageBox::show(text, title, MessageBox::kOkOnly, MessageBox::kOk, MessageBox::kExclamation,
                   this);
}

void BatchLineDialog::Stop(const QString& text, const QString& title) {
  MessageBox::show(text, title, MessageBox::kOkOnly, MessageBox::kOk, MessageBox::kCritical, this);
}

}  // namespace jr
