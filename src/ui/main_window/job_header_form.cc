#include "ui/main_window/job_header_form.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "model/job_rules.h"
#include "ui/controls/browse_for_folder.h"
#include "ui/controls/file_dialog.h"
#include "ui/controls/message_box.h"
#include "ui/controls/u_text_box.h"
#include "ui/main_window/batch_definition_frm.h"
#include "ui/main_window/window_support.h"

namespace jr {

using namespace window;

JobHeaderForm::JobHeaderForm(QWidget* central, QWidget* window) : QObject(window), window_(window) {
  setObjectName("JobHeaderForm");
  const int field_width = kDesignWidth - kFieldLeft - kLabelLeft;
  const int browsed_width = field_width - kButtonWidth - 4;
  const int button_left = kFieldLeft + browsed_width + 4;
  int y = 10;

  auto add_label = [&](const char* name, const QString& text, QWidget* buddy) {
    auto* label = new QLabel(text, central);
    label->setObjectName(name);
    label->setBuddy(buddy);
    label->setGeometry(kLabelLeft, y, kLabelWidth, kFieldHeight);
  };
  auto add_field = [&](QLineEdit*& field, const char* name, const QString& label,
                       const QString& tip, bool browsed) {
    field = new QLineEdit(central);
    field->setObjectName(name);
    field->setToolTip(tip);
    field->setGeometry(kFieldLeft, y, browsed ? browsed_width : field_width, kFieldHeight);
    field->setProperty("Tag", "RLT");
    add_label((QByteArray("lbl") + name).constData(), label, field);
  };
  auto add_button = [&](QPushButton*& button, const char* name) {
    button = new QPushButton("...", central);
    button->setObjectName(name);
    button->setGeometry(button_left, y, kButtonWidth, kFieldHeight);
    button->setProperty("Tag", "RT");
  };

  add_field(BatchDescription, "BatchDescription",
            "&Job Description:", "Description of the Extraction Job", false);
  y += kRowStep;
  add_field(LogFile, "LogFile", "Log File (&Administrator):",
            "Specify the name of the html file  that must be generated as a report with "
            "logging information for administrators",
            true);
  add_button(LogFileBut, "LogFileBut");
  y += kRowStep;
  add_field(UserFile, "UserFile", "Log File (End &Users):",
            "Specify the name of the html file  that must be generated as a report with end "
            "user infomation",
            true);
  add_button(UserFileBut, "UserFileBut");
  y += kRowStep;
  add_field(LogFileDir, "LogFileDir", "&Log File Folder:",
            "Specify the name of the log file directory with intermediate log files", true);
  add_button(LogDirBut, "LogDirBut");
  y += kRowStep;

  txtMaxParallel = new uTextBox(central);
  txtMaxParallel->setObjectName("txtMaxParallel");
  txtMaxParallel->setDataType(uTextBox::kWholeNumber);
  txtMaxParallel->setMin(1);
  txtMaxParallel->setMax(99);
  txtMaxParallel->setGeometry(kFieldLeft, y, 50, kFieldHeight);
  add_label("lblMaxParallel", "&Maximum Parallel Running Job Lines:", txtMaxParallel);
  chkLogToEventLog = new QCheckBox("&Log result of job to NT Event Log", central);
  chkLogToEventLog->setObjectName("chkLogToEventLog");
  chkLogToEventLog->setGeometry(kFieldLeft + 80, y, 300, kFieldHeight);
  // Beside the maximum, right of the event-log switch; its label sits in front of it.
  constexpr int kLimitLabelLeft = kFieldLeft + 370;
  constexpr int kLimitLabelWidth = 185;
  txtJobTimeLimit = new uTextBox(central);
  txtJobTimeLimit->setObjectName("txtJobTimeLimit");
  txtJobTimeLimit->setDataType(uTextBox::kWholeNumber);
  txtJobTimeLimit->setMin(kLowestTimeLimit);
  txtJobTimeLimit->setMax(kHighestTimeLimit);
  txtJobTimeLimit->setAllowEmpty(true);
  txtJobTimeLimit->setToolTipText("Longest time the whole job may run; empty for no limit");
  txtJobTimeLimit->setGeometry(kLimitLabelLeft + kLimitLabelWidth, y, 70, kFieldHeight);
  auto* limit_label = new QLabel("&Job time limit (seconds):", central);
  limit_label->setObjectName("lblJobTimeLimit");
  limit_label->setBuddy(txtJobTimeLimit);
  limit_label->setGeometry(kLimitLabelLeft, y, kLimitLabelWidth, kFieldHeight);

  // Every header edit counts as a change, the folder, the maximum and the event-log switch
  // included: otherwise closing the window would drop such an edit without a question.
  for (QLineEdit* field : {BatchDescription, LogFile, UserFile, LogFileDir}) {
    connect(field, &QLineEdit::textChanged, this, &JobHeaderForm::edited);
  }
  connect(txtMaxParallel, &uTextBox::Change, this, &JobHeaderForm::edited);
  connect(txtJobTimeLimit, &uTextBox::Change, this, &JobHeaderForm::edited);
  connect(chkLogToEventLog, &QCheckBox::toggled, this, &JobHeaderForm::edited);
  for (QLineEdit* field : {LogFile, UserFile, LogFileDir}) field->installEventFilter(this);
  connect(LogFileBut, &QPushButton::clicked, this,
          [this] { BrowseReportFile(LogFile, "Log File (Administrators)", log_file_filter_); });
  connect(UserFileBut, &QPushButton::clicked, this,
          [this] { BrowseReportFile(UserFile, "Log File (End Users)", user_file_filter_); });
  connect(LogDirBut, &QPushButton::clicked, this, &JobHeaderForm::LogDirBut_Click);
}

void JobHeaderForm::Load(const JobDocument& job) {
  BatchDescription->setText(QString::fromStdString(job.Description));
  LogFile->setText(QString::fromStdString(job.LogFile));
  UserFile->setText(QString::fromStdString(job.UserFile));
  LogFileDir->setText(QString::fromStdString(job.TempLogDir));
  txtMaxParallel->setText(QString::fromStdString(job.MaxParallel));
  txtJobTimeLimit->setText(QString::fromStdString(job.JobTimeLimit));
  chkLogToEventLog->setChecked(job.LogToEventLog);
}

void JobHeaderForm::Store(JobDocument& job) const {
  job.Description = BatchDescription->text().toStdString();
  job.LogFile = LogFile->text().toStdString();
  job.UserFile = UserFile->text().toStdString();
  job.TempLogDir = LogFileDir->text().toStdString();
  job.LogToEventLog = chkLogToEventLog->isChecked();
  job.MaxParallel = txtMaxParallel->Text().toStdString();
  job.JobTimeLimit = txtJobTimeLimit->Text().toStdString();
}

void JobHeaderForm::ClearTexts() {
  BatchDescription->clear();
  LogFile->clear();
  UserFile->clear();
  LogFileDir->clear();
  txtJobTimeLimit->setText({});
}

void JobHeaderForm::FocusDescription() { BatchDescription->setFocus(); }
QString JobHeaderForm::LogFileDirText() const { return LogFileDir->text(); }
QString JobHeaderForm::MaxParallelText() const { return txtMaxParallel->Text(); }
void JobHeaderForm::SetMaxParallelText(const QString& text) { txtMaxParallel->setText(text); }
QString JobHeaderForm::JobTimeLimitText() const { return txtJobTimeLimit->Text(); }

bool JobHeaderForm::Refuse(const QString& text, const QString& title) {
  MessageBox::show(text, title, MessageBox::kOkOnly, MessageBox::kOk, MessageBox::kExclamation,
                   window_);
  return false;
}

bool JobHeaderForm::CheckJobSettings() {
  if (TrimBlanks(BatchDescription->text()).isEmpty())
    return Refuse("Please enter description", "Job Description");
  if (LogFile->text().isEmpty())
    return Refuse("Please enter Log File (Administrators)", "Log File (Administrators)");
  if (UserFile->text().isEmpty())
    return Refuse("Please enter Log File (End Users)", "Log File (Users)");
  if (TrimBlanks(LogFile->text()).toLower() == TrimBlanks(UserFile->text()).toLower())
    return Refuse("Log Files for administrators and for end users must be different files",
                  "Log File");
  if (LogFileDir->text().isEmpty())
    return Refuse("Please enter Log File Directory", "Log File Directory");
  if (!CheckLogFileName(UserFile->text())) return false;
  if (!CheckLogFileName(LogFile->text())) return false;
  if (!FolderExists(TrimBlanks(LogFileDir->text())))
    return Refuse("Directory " + LogFileDir->text() + " does not exist !", "Log file directory");
  return true;
}

bool JobHeaderForm::CheckLogFileName(const QString& file_name) {
  const QString trimmed = TrimBlanks(file_name);
  if (trimmed.size() < 5) return Refuse("The log-filename is not correct", "Log File");
  if (!trimmed.endsWith("htm", Qt::CaseSensitive))
    return Refuse("The extension of the log-file must be 'htm'", "Log File");
  if (!FileExists(trimmed)) {
    // Proves that the report can be written later, and leaves no file behind.
    QFile probe(trimmed);
    const bool created = probe.open(QIODevice::Append | QIODevice::WriteOnly);
    probe.close();
    if (!created || !QFile::remove(trimmed))
      return Refuse("Unable to write to file '" + file_name + "'", "Log File");
  }
  return true;
}

void JobHeaderForm::CreateLogFolder(const QString& folder) {
  std::error_code ec;
  std::filesystem::create_directories(PathOf(TrimBlanks(folder)), ec);
  if (ec) {
    Refuse("Unable to create directory " + folder + ": " + QString::fromStdString(ec.message()),
           "Log file directory");
  }
}

void JobHeaderForm::LogFileDir_LostFocus() {
  const QString text = LogFileDir->text();
  const QString trimmed = TrimBlanks(text);
  if (trimmed.isEmpty() || FolderExists(trimmed)) return;
  const int answer = MessageBox::show(
      "The directory " + text + " does not exist !\r\nWould you like to create this directory now?",
      "Log file directory", MessageBox::kYesNo, MessageBox::kYes, MessageBox::kQuestion, window_);
  if (answer == MessageBox::kYes) CreateLogFolder(text);
}

bool JobHeaderForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut) {
    // Focus that leaves with the whole window (a message box, another program) is not
    // the user leaving the field; checking then would repeat the message for ever.
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
      if (watched == LogFile || watched == UserFile) {
        const QString text = static_cast<QLineEdit*>(watched)->text();
        if (!TrimBlanks(text).isEmpty()) CheckLogFileName(text);
      }
      if (watched == LogFileDir) LogFileDir_LostFocus();
    }
  }
  return QObject::eventFilter(watched, event);
}

void JobHeaderForm::BrowseReportFile(QLineEdit* field, const QString& title, QString& filter) {
  FileDialogRequest request;
  request.mode = FileDialogRequest::Mode::kOpenAny;
  request.title = title;
  request.default_suffix = "htm";
  if (!field->text().isEmpty()) {
    request.file_name = field->text();
  } else {
    filter = "Orvex Report Files (*.htm)";
    request.directory = QDir::cleanPath(ProgramFolder() + "/../log");
  }
  if (!filter.isEmpty()) request.filters = {filter};
  const QString chosen = FileDialog::getFileName(window_, request);
  if (!chosen.isEmpty()) field->setText(chosen);
  emit edited();
  field->setFocus();
}

void JobHeaderForm::LogDirBut_Click() {
  if (TrimBlanks(LogFileDir->text()).isEmpty())
    LogFileDir->setText(QDir::cleanPath(ProgramFolder() + "/../log"));
  QString start = LogFileDir->text();
  const QString folder = BrowseForFolder(start, "Log file directory", window_);
  if (!TrimBlanks(folder).isEmpty()) LogFileDir->setText(folder);
  emit edited();
  LogFileDir->setFocus();
}

}  // namespace jr
