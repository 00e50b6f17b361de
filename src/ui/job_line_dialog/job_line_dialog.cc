#include "ui/job_line_dialog/job_line_dialog.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
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
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

#include "model/catalogue.h"
#include "model/job_line_table.h"
#include "platform/credentials.h"
#include "platform/helper_program.h"
#include "platform/installation.h"
#include "platform/program_command.h"
#include "platform/shell_exec_task.h"
#include "ui/controls/blanks.h"
#include "ui/controls/file_dialog.h"
#include "ui/controls/message_box.h"
#include "ui/controls/number_edit.h"
#include "ui/controls/off_thread.h"
#include "ui/controls/text_input.h"

namespace jr {
namespace {

const QString kUserBatchfileName = QString::fromUtf8(kUserBatchfile.data(), kUserBatchfile.size());

// Leading and trailing spaces removed; other white space is part of the text, as the
// fields mean it.
bool FileExists(const QString& file_name) {
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

JobLineDialog::JobLineDialog(RegistryReader& registry, ProcessLauncher& launcher, QWidget* parent)
    : QDialog(parent), registry_(registry), launcher_(launcher) {
  setObjectName(QStringLiteral("jobLineDialog"));
  setWindowTitle(QStringLiteral("Job Line Details"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setModal(true);
  buildControls();
  fillTypeList();
}

JobLineDialog::~JobLineDialog() {
  // A dialog that goes while the Options program runs ends that program first.
  configuration_stop_requested_ = true;
  if (configuration_) configuration_->wait();
}

void JobLineDialog::buildControls() {
  number_ = MakeLineEdit("number", "Specify a number, e.g. : 20. ", this);
  number_->setMaximumWidth(number_->fontMetrics().horizontalAdvance(u'0') * 12);
  active_ = new QCheckBox(QStringLiteral("&Active"), this);
  active_->setObjectName(QStringLiteral("active"));
  active_->setToolTip(
      QStringLiteral("If off then this job line will not run when the job is executed; if on, "
                     "then this job line will run when the job is executed"));
  description_ = MakeLineEdit("description", "Description of the job line ", this);
  type_ = new QComboBox(this);
  type_->setObjectName(QStringLiteral("type"));
  type_->setToolTip(QStringLiteral("Specify the right job line type"));
  type_->setEditable(false);
  type_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  options_ = new QPlainTextEdit(this);
  options_->setObjectName(QStringLiteral("options"));
  options_->setToolTip(QStringLiteral("Specify the right options for this job line"));
  options_->setTabChangesFocus(true);
  options_->setMinimumHeight(options_->fontMetrics().lineSpacing() * 7);
  configure_button_ = new QPushButton(QStringLiteral("&Options ..."), this);
  configure_button_->setObjectName(QStringLiteral("configureButton"));
  time_limit_ = new NumberEdit(kLowestTimeLimit, kHighestTimeLimit, /*allow_empty=*/true, this);
  time_limit_->setObjectName(QStringLiteral("timeLimit"));
  time_limit_->setToolTip(QStringLiteral("Longest time this job line may run; empty for no limit"));
  time_limit_->setMaximumWidth(time_limit_->fontMetrics().horizontalAdvance(u'0') * 12);
  repeat_delay_ =
      new NumberEdit(kLowestRepeatDelay, kHighestRepeatDelay, /*allow_empty=*/true, this);
  repeat_delay_->setObjectName(QStringLiteral("repeatDelay"));
  repeat_delay_->setToolTip(QStringLiteral(
      "Seconds a repeat copy of this job line waits before it starts; empty for none"));
  repeat_delay_->setMaximumWidth(time_limit_->maximumWidth());
  repeat_limit_ =
      new NumberEdit(kLowestRepeatLimit, kHighestRepeatLimit, /*allow_empty=*/true, this);
  repeat_limit_->setObjectName(QStringLiteral("repeatLimit"));
  repeat_limit_->setToolTip(
      QStringLiteral("Most repeat copies of this job line in one run; empty for %1")
          .arg(kDefaultRepeatLimit));
  repeat_limit_->setMaximumWidth(time_limit_->maximumWidth());
  configure_button_->setToolTip(
      QStringLiteral("Press this button, to specify the options for this job line"));
  configure_button_->setAutoDefault(false);
  store_credential_button_ =
      new QPushButton(QStringLiteral("Store Password as Credential..."), this);
  store_credential_button_->setObjectName(QStringLiteral("storeCredentialButton"));
  store_credential_button_->setToolTip(QStringLiteral(
      "Keeps the password after -password in the credential folder and puts its name in its "
      "place, so that the job file holds no password"));
  store_credential_button_->setAutoDefault(false);
  wait_for_ = MakeLineEdit("waitFor",
                           "Specify the job lines (comma separated)  that must run before this "
                           "one; e.g.  10,20,30  ",
                           this);
  stop_on_error_ = new QCheckBox(QStringLiteral("Stop on &error"), this);
  stop_on_error_->setObjectName(QStringLiteral("stopOnError"));
  stop_on_error_->setToolTip(
      QStringLiteral("If on, then the job will stop when this job line fails. If off, then the "
                     "job will continue when this job line fails"));
  skip_on_error_ = MakeLineEdit("skipOnError",
                                "Specify the job lines (comma separated)  that must be skipped "
                                "when this step fails; e.g.  60,70  ",
                                this);
  skip_on_success_ = MakeLineEdit("skipOnSuccess",
                                  "Specify the job lines (comma separated)  that must be skipped "
                                  "when this step succeeds; e.g.  60,70  ",
                                  this);
  repeat_on_error_ = MakeLineEdit("repeatOnError",
                                  "Specify the job lines (comma separated)  that must be "
                                  "repeated when this step fails; e.g.  10,20",
                                  this);
  repeat_on_success_ = MakeLineEdit("repeatOnSuccess",
                                    "Specify the job lines (comma separated)  that must be "
                                    "repeated when this step succeeds; e.g.  10,20",
                                    this);
  batch_file_ = MakeLineEdit("batchFile", "Specify an executable or batch file", this);
  batch_file_browse_ = MakeBrowseButton("batchFileBrowse", this);
  log_file_ = MakeLineEdit("logFile", "If applicable, then specify the name of the log file", this);
  log_file_browse_ = MakeBrowseButton("logFileBrowse", this);
  status_file_ =
      MakeLineEdit("statusFile", "If applicable, then specify the name of the status file", this);
  status_file_browse_ = MakeBrowseButton("statusFileBrowse", this);
  ok_button_ = new QPushButton(QStringLiteral("OK"), this);
  ok_button_->setObjectName(QStringLiteral("okButton"));
  ok_button_->setDefault(true);
  cancel_button_ = new QPushButton(QStringLiteral("Cancel"), this);
  cancel_button_->setObjectName(QStringLiteral("cancelButton"));
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

  number_label_ = MakeLabel("numberLabel", "&Job line:", number_, this);
  auto* grid = new QGridLayout;
  int row = 0;
  auto add_row = [&](QLabel* label, QWidget* field, QWidget* browse = nullptr) {
    if (label) grid->addWidget(label, row, 0);
    grid->addWidget(field, row, 1, 1, browse ? 1 : 2);
    if (browse) grid->addWidget(browse, row, 2);
    ++row;
  };
  auto* number_row = new QHBoxLayout;
  number_row->addWidget(number_);
  number_row->addSpacing(24);
  number_row->addWidget(active_);
  number_row->addStretch();
  grid->addWidget(number_label_, row, 0);
  grid->addLayout(number_row, row, 1, 1, 2);
  ++row;
  add_row(MakeLabel("descriptionLabel", "&Description:", description_, this), description_);
  auto* type_row = new QHBoxLayout;
  type_row->addWidget(type_);
  type_row->addStretch();
  grid->addWidget(MakeLabel("typeLabel", "Job line &type:", type_, this), row, 0);
  grid->addLayout(type_row, row, 1, 1, 2);
  ++row;
  const int options_row = row;
  grid->addWidget(MakeLabel("optionsLabel", "O&ptions:", options_, this), row, 0,
                  Qt::AlignTop | Qt::AlignLeft);
  add_row(nullptr, options_);
  auto* limit_row = new QHBoxLayout;
  limit_row->addWidget(time_limit_);
  limit_row->addSpacing(24);
  limit_row->addWidget(MakeLabel("repeatDelayLabel", "Repeat delay (s):", repeat_delay_, this));
  limit_row->addWidget(repeat_delay_);
  limit_row->addSpacing(24);
  limit_row->addWidget(MakeLabel("repeatLimitLabel", "Repeat limit:", repeat_limit_, this));
  limit_row->addWidget(repeat_limit_);
  limit_row->addStretch();
  grid->addWidget(MakeLabel("timeLimitLabel", "Time &limit (seconds):", time_limit_, this), row, 0);
  grid->addLayout(limit_row, row, 1, 1, 2);
  ++row;
  add_row(MakeLabel("waitForLabel", "&Wait for Job line(s):", wait_for_, this), wait_for_);
  grid->addWidget(stop_on_error_, row, 1, 1, 2);
  ++row;
  add_row(MakeLabel("skipOnErrorLabel", "Skip Job line(s) on error:", skip_on_error_, this),
          skip_on_error_);
  add_row(MakeLabel("skipOnSuccessLabel", "Skip Job line(s) on success:", skip_on_success_, this),
          skip_on_success_);
  add_row(MakeLabel("repeatOnErrorLabel", "Repeat Job line(s) on error:", repeat_on_error_, this),
          repeat_on_error_);
  add_row(
      MakeLabel("repeatOnSuccessLabel", "Repeat Job line(s) on success:", repeat_on_success_, this),
      repeat_on_success_);
  add_row(MakeLabel("batchFileLabel", "&User-defined batch file:", batch_file_, this), batch_file_,
          batch_file_browse_);
  add_row(MakeLabel("logFileLabel", "&Log file:", log_file_, this), log_file_, log_file_browse_);
  add_row(MakeLabel("statusFileLabel", "&Status file:", status_file_, this), status_file_,
          status_file_browse_);
  grid->setColumnMinimumWidth(1, fontMetrics().horizontalAdvance(u'x') * 55);

  // The right column: OK and Cancel at the top, the Options button beside the options.
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(ok_button_);
  buttons->addWidget(cancel_button_);
  buttons->addStretch();
  grid->addLayout(buttons, 0, 3, options_row, 1);
  auto* options_column = new QVBoxLayout;
  options_column->addWidget(configure_button_);
  options_column->addWidget(store_credential_button_);
  options_column->addStretch();
  grid->addLayout(options_column, options_row, 3);
  grid->setColumnStretch(1, 1);

  setLayout(grid);
  layout()->setSizeConstraint(QLayout::SetFixedSize);

  const QWidget* order[] = {number_,
                            active_,
                            description_,
                            type_,
                            options_,
                            configure_button_,
                            time_limit_,
                            repeat_delay_,
                            repeat_limit_,
                            wait_for_,
                            stop_on_error_,
                            skip_on_error_,
                            skip_on_success_,
                            repeat_on_error_,
                            repeat_on_success_,
                            batch_file_,
                            batch_file_browse_,
                            log_file_,
                            log_file_browse_,
                            status_file_,
                            status_file_browse_,
                            ok_button_,
                            cancel_button_};
  for (size_t i = 0; i + 1 < std::size(order); ++i) {
    setTabOrder(const_cast<QWidget*>(order[i]), const_cast<QWidget*>(order[i + 1]));
  }

  for (QWidget* watched : {static_cast<QWidget*>(number_), static_cast<QWidget*>(type_),
                           static_cast<QWidget*>(options_), static_cast<QWidget*>(batch_file_),
                           static_cast<QWidget*>(log_file_), static_cast<QWidget*>(status_file_)}) {
    watched->installEventFilter(this);
  }
  for (QLineEdit* field : list_fields_) field->installEventFilter(this);
  // The drop-down list searches as the user types, too.
  type_->view()->installEventFilter(this);

  connect(type_, &QComboBox::currentIndexChanged, this, [this] { typeChanged(); });
  connect(ok_button_, &QPushButton::clicked, this, [this] { acceptIfValid(); });
  connect(cancel_button_, &QPushButton::clicked, this, &JobLineDialog::reject);
  connect(configure_button_, &QPushButton::clicked, this, [this] { configureProgram(); });
  connect(store_credential_button_, &QPushButton::clicked, this, [this] { storeCredential(); });
  connect(batch_file_browse_, &QPushButton::clicked, this, [this] { browseBatchFile(); });
  connect(log_file_browse_, &QPushButton::clicked, this, [this] {
    browseResultFile(log_file_, QStringLiteral("Save Intermediate Log File"),
                     QStringLiteral("Orvex Log files (*.txt)"), log_file_filters_);
  });
  connect(status_file_browse_, &QPushButton::clicked, this, [this] {
    // Only the status file's name is trimmed before browsing.
    status_file_->setText(TrimBlanks(status_file_->text()));
    browseResultFile(status_file_, QStringLiteral("Save Intermediate Error File"),
                     QStringLiteral("Orvex Error files (*.txt)"), status_file_filters_);
  });
}

void JobLineDialog::fillTypeList() {
  const std::string mirn = GetMirnUtilsPath(registry_);
  const QSignalBlocker block(type_);
  for (std::string_view name : AvailableTypeNames(mirn)) {
    type_->addItem(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
  }
  type_->setCurrentIndex(-1);
  remembered_type_position_ = 0;
}

// ---------------------------------------------------------------------------------------
// Values

void JobLineDialog::setJobLine(const JobLineTable::Row& row) {
  auto cell = [&](int column) { return CellText(row[column]); };
  number_->setText(cell(kColNumber));
  description_->setText(cell(kColDescription));
  // The type goes first: a change of type empties the options.
  selectType(cell(kColType));
  setOptions(cell(kColOptions));
  wait_for_->setText(cell(kColWait));
  stop_on_error_->setChecked(cell(kColStopOnError) == u"true");
  active_->setChecked(cell(kColActive) == u"true");
  skip_on_error_->setText(cell(kColSkipOnError));
  skip_on_success_->setText(cell(kColSkipOnSuccess));
  repeat_on_error_->setText(cell(kColRepeatOnError));
  repeat_on_success_->setText(cell(kColRepeatOnSuccess));
  time_limit_->setText(cell(kColTimeLimit));
  repeat_delay_->setText(cell(kColRepeatDelay));
  repeat_limit_->setText(cell(kColRepeatLimit));
  if (!cell(kColBatchFile).isEmpty()) {
    batch_file_->setText(cell(kColBatchFile));
    log_file_->setText(cell(kColLogFile));
    status_file_->setText(cell(kColStatusFile));
  }
}

JobLineTable::Row JobLineDialog::jobLine() const {
  auto flag = [](const QCheckBox* box) { return std::string(box->isChecked() ? "true" : "false"); };
  JobLineTable::Row row;
  row[kColNumber] = Utf8(number_->text());
  row[kColDescription] = Utf8(description_->text());
  row[kColType] = Utf8(type_->currentText());
  row[kColOptions] = Utf8(stored_options_);
  row[kColWait] = Utf8(wait_for_->text());
  row[kColStopOnError] = flag(stop_on_error_);
  row[kColActive] = flag(active_);
  row[kColBatchFile] = Utf8(batch_file_->text());
  row[kColLogFile] = Utf8(log_file_->text());
  row[kColStatusFile] = Utf8(status_file_->text());
  row[kColSkipOnError] = Utf8(skip_on_error_->text());
  row[kColSkipOnSuccess] = Utf8(skip_on_success_->text());
  row[kColRepeatOnError] = Utf8(repeat_on_error_->text());
  row[kColRepeatOnSuccess] = Utf8(repeat_on_success_->text());
  // An empty box is no value, so that the file carries no attribute for it.
  const std::pair<int, const NumberEdit*> settings[] = {{kColTimeLimit, time_limit_},
                                                        {kColRepeatDelay, repeat_delay_},
                                                        {kColRepeatLimit, repeat_limit_}};
  for (const auto& [column, box] : settings) {
    if (!box->text().isEmpty()) row[column] = Utf8(box->text());
  }
  return row;
}

// ---------------------------------------------------------------------------------------
// Options and their masking

void JobLineDialog::setOptions(const QString& options) {
  stored_options_ = options;
  shown_options_ = QString::fromStdString(MaskedOptions(options.toStdString()));
  options_->setPlainText(shown_options_);
}

void JobLineDialog::storeOptions() {
  if (type_->currentText() != kUserBatchfileName) return;
  // Only an edit replaces the stored options: leaving the field untouched must not store
  // the masked text in place of a password.
  if (options_->toPlainText() == shown_options_) return;
  setOptions(QString::fromStdString(
      UnmaskedOptions(options_->toPlainText().toStdString(), stored_options_.toStdString())));
}

void JobLineDialog::storeCredential() {
  const QString title = QStringLiteral("Store Password as Credential");
  storeOptions();
  if (!ReplaceClearPassword(stored_options_.toStdString(), "")) {
    return warn(QStringLiteral("There is no password in clear text after -password in the "
                               "options."),
                title);
  }
  // Proposed from the job and the line: "nightly-30" for line 30 of nightly.xml.
  const QString job = job_file_source_ ? QFileInfo(job_file_source_()).completeBaseName() : "";
  QString proposed;
  for (const QChar c : job) {
    proposed += IsCredentialName(QString(c).toStdString()) || c == '.' ? c : QChar('-');
  }
  while (proposed.startsWith('.')) proposed.remove(0, 1);
  proposed = (proposed.isEmpty() ? QStringLiteral("job") : proposed.left(48)) + '-' +
             number_->text().trimmed().left(15);
  const std::optional<QString> name =
      TextInput::ask(QStringLiteral("Name of the credential:"), title, proposed, this);
  if (!name) return;
  if (!IsCredentialName(name->toStdString())) {
    return warn(QStringLiteral("A credential's name is 1 to 64 of A-Z a-z 0-9 . _ - and does "
                               "not start with a dot."),
                title);
  }
  const std::optional<ClearPassword> replaced = ReplaceClearPassword(
      stored_options_.toStdString(), std::string(kCredentialPrefix) + name->toStdString());
  const Status written =
      WriteCredential(CredentialFolder(registry_), name->toStdString(), replaced->value);
  if (!written.ok()) return stop(QString::fromStdString(written.message), title);
  setOptions(QString::fromStdString(replaced->options));
}

void JobLineDialog::applyFieldBackground(QWidget* widget, bool editable_look) {
  const QPalette& scheme = QApplication::palette();
  QPalette palette = widget->palette();
  const QColor colour = scheme.color(editable_look ? QPalette::Base : QPalette::Button);
  palette.setColor(qobject_cast<QPushButton*>(widget) ? QPalette::Button : QPalette::Base, colour);
  widget->setPalette(palette);
}

void JobLineDialog::updateTypeDependentFields() {
  const bool user = type_->currentText() == kUserBatchfileName;
  for (QLineEdit* field : {batch_file_, log_file_, status_file_}) {
    field->setEnabled(user);
    if (!user) field->clear();
    applyFieldBackground(field, user);
  }
  for (QPushButton* button : {batch_file_browse_, log_file_browse_, status_file_browse_}) {
    button->setEnabled(user);
  }
  options_->setReadOnly(!user);
  applyFieldBackground(options_, user);
  configure_button_->setEnabled(!user);
  applyFieldBackground(configure_button_, !user);
}

// ---------------------------------------------------------------------------------------
// Type list

void JobLineDialog::removeExtraType() {
  if (extra_type_index_ < 0) return;
  const QSignalBlocker block(type_);
  type_->removeItem(extra_type_index_);
  extra_type_index_ = -1;
}

void JobLineDialog::selectType(const QString& type_name) {
  {
    const QSignalBlocker block(type_);
    removeExtraType();
    int index = type_->findText(type_name, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0 && !type_name.isEmpty()) {
      type_->addItem(type_name);
      extra_type_index_ = type_->count() - 1;
      index = extra_type_index_;
    }
    type_->setCurrentIndex(index);
  }
  typeChanged();
}

void JobLineDialog::typeChanged() {
  const QString text = type_->currentText();
  if (text == remembered_type_text_) return;
  updateTypeDependentFields();
  setOptions(QString());
  remembered_type_text_ = text;
}

void JobLineDialog::checkType() {
  if (!showResult(CheckJobLineTypeField(Utf8(type_->currentText()))))
    type_->setFocus(Qt::OtherFocusReason);
}

bool JobLineDialog::showResult(const RuleResult& result) {
  if (result.ok()) return true;
  warn(QString::fromStdString(result.message), QString::fromStdString(result.title));
  return false;
}

// ---------------------------------------------------------------------------------------
// Showing

void JobLineDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) prepareShowing();
}

void JobLineDialog::prepareShowing() {
  updateTypeDependentFields();
  if (type_->currentText().isEmpty()) {
    removeExtraType();
    // A position taken from an entry that is gone again starts the list from its top.
    int position = remembered_type_position_;
    if (position < 0 || position >= type_->count()) position = 0;
    {
      const QSignalBlocker block(type_);
      type_->setCurrentIndex(position);
    }
    typeChanged();
    starting_number_ = -1;
    starting_number_text_.clear();
    proposeNumber();
  } else {
    const JobLineNrResult number = ParseJobLineNr(Utf8(number_->text()));
    starting_number_ =
        number.status == NumberStatus::kBlank || number.status == NumberStatus::kNotNumber
            ? -1
            : number.value;
    starting_number_text_ = number_->text();
  }
  number_->setFocus(Qt::ActiveWindowFocusReason);
}

void JobLineDialog::proposeNumber() {
  const std::optional<int64_t> proposal = ProposedJobLineNr(table_);
  number_->setText(proposal ? QString::number(*proposal) : QString());
}

// ---------------------------------------------------------------------------------------
// Number and list checks

bool JobLineDialog::checkNumber() {
  const RuleResult result = CheckJobLineNrField(Utf8(number_->text()), starting_number_, table_);
  if (showResult(result)) return true;
  // A refused number gives way to the one the line had; an empty field stays empty.
  if (result.status == RuleStatus::kRefused) number_->setText(starting_number_text_);
  return false;
}

void JobLineDialog::checkNumberField() {
  const QString trimmed = TrimBlanks(number_->text());
  if (trimmed.isEmpty()) return;
  number_->setText(trimmed);
  if (checkNumber()) {
    number_->setText(QString::number(ParseJobLineNr(Utf8(trimmed)).value));
  } else {
    number_->setFocus(Qt::OtherFocusReason);
  }
}

bool JobLineDialog::checkList(QLineEdit* field) {
  return showResult(
      CheckJobLineListField(listOf(field), Utf8(number_->text()), Utf8(field->text()), table_));
}

JobLineList JobLineDialog::listOf(const QLineEdit* field) const {
  const JobLineList lists[] = {JobLineList::kWait, JobLineList::kSkipOnError,
                               JobLineList::kSkipOnSuccess, JobLineList::kRepeatOnError,
                               JobLineList::kRepeatOnSuccess};
  for (int i = 0; i < 5; ++i) {
    if (list_fields_[i] == field) return lists[i];
  }
  return JobLineList::kRepeatOnSuccess;
}

void JobLineDialog::rememberListText(QLineEdit* field) {
  for (int i = 0; i < 5; ++i) {
    if (list_fields_[i] == field) remembered_list_texts_[i] = field->text();
  }
}

void JobLineDialog::checkListField(QLineEdit* field) {
  if (checkList(field)) return;
  for (int i = 0; i < 5; ++i) {
    if (list_fields_[i] == field) field->setText(remembered_list_texts_[i]);
  }
  field->setFocus(Qt::OtherFocusReason);
}

// ---------------------------------------------------------------------------------------
// OK and Cancel

void JobLineDialog::acceptIfValid() {
  remembered_type_position_ = type_->currentIndex();
  if (!checkNumber()) return;
  // Every check runs, so that each failing one shows its message.
  bool ok = true;
  for (QLineEdit* field : list_fields_) ok &= checkList(field);
  ok &= showResult(CheckUserBatchFileField(Utf8(type_->currentText()), Utf8(batch_file_->text()),
                                           FileExists(batch_file_->text())));
  ok &= showResult(CheckPassableFileNames(Utf8(batch_file_->text()), Utf8(log_file_->text()),
                                          Utf8(status_file_->text())));
  if (!ok) return;
  // Enter confirms without leaving the number field; the number is kept the way leaving
  // it would have written it.
  number_->setText(QString::number(ParseJobLineNr(Utf8(number_->text())).value));
  accept();
}

void JobLineDialog::reject() {
  // The dialog is disabled while a configuration program runs; it cannot be left then.
  if (configuration_) return;
  QDialog::reject();
}

void JobLineDialog::closeEvent(QCloseEvent* event) {
  if (configuration_) {
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

void JobLineDialog::checkBatchFile() {
  const QString text = batch_file_->text();
  if (TrimBlanks(text).isEmpty()) return;
  showResult(CheckUserBatchFileField(kUserBatchfile, Utf8(text), FileExists(text)));
}

bool JobLineDialog::checkFileWritable(const QString& file_name, const QString& field_name) {
  const QString trimmed = TrimBlanks(file_name);
  if (FileExists(trimmed)) return true;
  if (trimmed.isEmpty()) return true;
  QFile probe(trimmed);
  if (probe.open(QIODevice::Append)) {
    probe.close();
    if (probe.remove()) return true;
  }
  warn(QStringLiteral("Unable to write to file '") + file_name + QStringLiteral("'"), field_name);
  return false;
}

void JobLineDialog::checkResultFile(QLineEdit* field, const QString& field_name) {
  if (TrimBlanks(field->text()).isEmpty()) return;
  if (checkFileWritable(field->text(), field_name)) return;
  field->clear();
  field->setFocus(Qt::OtherFocusReason);
}

void JobLineDialog::browseBatchFile() {
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

void JobLineDialog::browseResultFile(QLineEdit* field, const QString& title, const QString& filter,
                                     QStringList& kept_filters) {
  FileDialogRequest request;
  request.mode = FileDialogRequest::Mode::kSave;
  request.title = title;
  if (TrimBlanks(field->text()).isEmpty()) {
    kept_filters = {filter, QStringLiteral("All files (*)")};
    request.directory = logFolder();
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

void JobLineDialog::configureProgram() {
  const JobLineType* type = FindJobLineType(type_->currentText().toStdString());
  if (type == nullptr || !type->has_config_mode) return;
  const std::string folder = type->folder == ProgramFolder::kMirn ? GetMirnUtilsPath(registry_)
                                                                  : GetKeldUtilsPath(registry_);
  const QString program = QString::fromStdString(folder + std::string(type->executable));
  if (!FileExists(program)) {
    stop(QStringLiteral("Executable ") + program + QStringLiteral(" not found !"),
         QStringLiteral("Options"));
    return;
  }
  QTemporaryFile reply_file(QDir::tempPath() + QStringLiteral("/jobrunner_options_XXXXXX.txt"));
  reply_file.setAutoRemove(false);
  if (!reply_file.open()) {
    stop(QStringLiteral("Unable to create temporary file "), QStringLiteral("Options"));
    return;
  }
  const QString reply_name = reply_file.fileName();
  reply_file.close();

  // The same split as a job line's own options get when the line runs.
  std::vector<std::string> arguments =
      SplitArguments((QStringLiteral("-config ") + reply_name +
                      QString::fromUtf8(type->config_switch.data(),
                                        static_cast<qsizetype>(type->config_switch.size())) +
                      QStringLiteral(" ") + stored_options_)
                         .toStdString());
  // The program is waited for on a thread of its own; the dialog, disabled meanwhile, keeps
  // handling its events and hears of the end through a queued call.
  setEnabled(false);
  configuration_stop_requested_ = false;
  HelperWait wait;
  wait.pause = [](std::chrono::milliseconds longest) { std::this_thread::sleep_for(longest); };
  wait.limit = HelperTimeLimit(registry_);
  wait.stop_requested = [this] { return configuration_stop_requested_.load(); };
  const std::string command = (QStringLiteral("\"") + program + QStringLiteral("\"")).toStdString();
  configuration_ = StartOffThread<HelperEnd>(
      this, [=, this] { return RunHelper(launcher_, command, arguments, wait); },
      [=, this](HelperEnd end) { configurationEnded(end, program, reply_name, wait.limit); });
}

void JobLineDialog::configurationEnded(HelperEnd end, const QString& program,
                                       const QString& reply_name, std::chrono::milliseconds limit) {
  configuration_->wait();
  configuration_.reset();
  setEnabled(true);
  activateWindow();
  configure_button_->setFocus(Qt::ActiveWindowFocusReason);
  if (end == HelperEnd::kTimeLimit) {
    stop(QStringLiteral("The program ") + program +
             QStringLiteral(" did not end within %1 s and was ended.")
                 .arg(std::chrono::duration_cast<std::chrono::seconds>(limit).count()),
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
  // The reply file never outlives the command, whatever its outcome.
  QFile::remove(reply_name);
  if (!line.isEmpty() && TrimBlanks(line).toLower() != QStringLiteral("canceled")) {
    setOptions(line);
  }
}

// ---------------------------------------------------------------------------------------
// Keys and focus

bool JobLineDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const auto& key = static_cast<const QKeyEvent&>(*event);
    if (IsTypedCharacter(key)) {
      const QChar c = key.text()[0];
      const bool digit = c >= u'0' && c <= u'9';
      if (watched == number_ && !digit) return true;
      if (std::find(std::begin(list_fields_), std::end(list_fields_), watched) !=
              std::end(list_fields_) &&
          !(digit || c == u',' || c == u' ')) {
        return true;
      }
      if (watched == type_ || watched == type_->view()) return true;
    }
    return QDialog::eventFilter(watched, event);
  }
  if (event->type() != QEvent::FocusIn && event->type() != QEvent::FocusOut) {
    return QDialog::eventFilter(watched, event);
  }
  const auto& focus = static_cast<const QFocusEvent&>(*event);
  if (!IsUserFocusReason(focus.reason())) return QDialog::eventFilter(watched, event);

  if (event->type() == QEvent::FocusIn) {
    if (watched == type_) remembered_type_text_ = type_->currentText();
    if (auto* field = qobject_cast<QLineEdit*>(watched)) rememberListText(field);
    return QDialog::eventFilter(watched, event);
  }

  // Leaving a field: its check runs once the focus has settled on the next control, so
  // that a message box never opens in the middle of a focus change.
  queueLeaveCheck(QPointer<QObject>(watched));
  return QDialog::eventFilter(watched, event);
}

void JobLineDialog::queueLeaveCheck(QPointer<QObject> target) {
  QTimer::singleShot(0, this, [this, target] {
    if (!target || !isVisible()) return;
    if (configuration_) {
      // The dialog is disabled meanwhile; the field is checked once it is usable again.
      QTimer::singleShot(100, this, [this, target] { queueLeaveCheck(target); });
      return;
    }
    QObject* w = target.data();
    if (w == number_) {
      checkNumberField();
    } else if (w == type_) {
      checkType();
    } else if (w == options_) {
      storeOptions();
    } else if (w == batch_file_) {
      checkBatchFile();
    } else if (w == log_file_) {
      checkResultFile(log_file_, QStringLiteral("Log file"));
    } else if (w == status_file_) {
      checkResultFile(status_file_, QStringLiteral("Status file"));
    } else if (auto* field = qobject_cast<QLineEdit*>(w)) {
      checkListField(field);
    }
  });
}

// ---------------------------------------------------------------------------------------
// Messages

void JobLineDialog::warn(const QString& text, const QString& title) {
  MessageBox::show(text, title, MessageBox::kOkOnly, MessageBox::Answer::kOk,
                   MessageBox::kExclamation, this);
}

void JobLineDialog::stop(const QString& text, const QString& title) {
  MessageBox::show(text, title, MessageBox::kOkOnly, MessageBox::Answer::kOk, MessageBox::kCritical,
                   this);
}

}  // namespace jr
