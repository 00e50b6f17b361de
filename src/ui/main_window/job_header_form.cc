#include "ui/main_window/job_header_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTimer>

#include "model/job_rules.h"
#include "ui/controls/blanks.h"
#include "ui/controls/browse_for_folder.h"
#include "ui/controls/file_dialog.h"
#include "ui/controls/message_box.h"
#include "ui/controls/number_edit.h"
#include "ui/main_window/edited_job.h"
#include "ui/main_window/main_window.h"
#include "ui/main_window/window_support.h"

namespace jr {

using namespace window;

namespace {

QString OverlapCaption(OverlapPolicy policy) {
  switch (policy) {
    case OverlapPolicy::kWait:
      return "Wait";
    case OverlapPolicy::kAllow:
      return "Allow";
    case OverlapPolicy::kRefuse:
      break;
  }
  return "Refuse";
}

}  // namespace

JobHeaderForm::JobHeaderForm(EditedJob& job, QWidget* window, QWidget* parent)
    : QWidget(parent), job_(job), window_(window) {
  setObjectName("jobHeader");
  // Label, field, browse button; the fields take the width that is left.
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setColumnStretch(1, 1);
  int row = 0;

  auto add_label = [&](const char* name, const QString& text, QWidget* buddy) {
    auto* label = new QLabel(text, this);
    label->setObjectName(name);
    label->setBuddy(buddy);
    return label;
  };
  // A text field on a row of its own, with a "..." button when it is browsed.
  auto add_field = [&](QLineEdit*& field, const char* name, const QString& label,
                       const QString& tip, QPushButton** browse) {
    field = new QLineEdit(this);
    field->setObjectName(name);
    field->setToolTip(tip);
    grid->addWidget(add_label((QByteArray(name) + "Label").constData(), label, field), row, 0);
    if (browse) {
      *browse = new QPushButton("...", this);
      (*browse)->setObjectName((QByteArray(name) + "Browse").constData());
      // As narrow as its caption needs, not a push button's usual width.
      (*browse)->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
      (*browse)->setMaximumWidth((*browse)->sizeHint().height() + 8);
      grid->addWidget(field, row, 1);
      grid->addWidget(*browse, row, 2);
    } else {
      grid->addWidget(field, row, 1, 1, 2);
    }
    ++row;
  };

  add_field(description_, "description", "&Job Description:", "Description of the Extraction Job",
            nullptr);
  add_field(admin_report_, "adminReport", "Log File (&Administrator):",
            "Specify the name of the html file  that must be generated as a report with "
            "logging information for administrators",
            &admin_report_browse_);
  add_field(user_report_, "userReport", "Log File (End &Users):",
            "Specify the name of the html file  that must be generated as a report with end "
            "user infomation",
            &user_report_browse_);
  add_field(log_folder_, "logFolder", "&Log File Folder:",
            "Specify the name of the log file directory with intermediate log files",
            &log_folder_browse_);

  // The maximum, the event-log switch and the job's time limit share the last row.
  max_parallel_ = new NumberEdit(1, 99, /*allow_empty=*/false, this);
  max_parallel_->setObjectName("maxParallel");
  // Made in the order the Tab key visits them.
  log_to_event_log_ = new QCheckBox("&Log result of job to NT Event Log", this);
  log_to_event_log_->setObjectName("logToEventLog");
  job_time_limit_ = new NumberEdit(kLowestTimeLimit, kHighestTimeLimit, /*allow_empty=*/true, this);
  job_time_limit_->setObjectName("jobTimeLimit");
  job_time_limit_->setToolTip("Longest time the whole job may run; empty for no limit");
  // Wide enough for the largest value with a little room, in the font in use.
  const int digit = fontMetrics().horizontalAdvance(QLatin1Char('0'));
  max_parallel_->setFixedWidth(digit * 4 + 16);
  job_time_limit_->setFixedWidth(digit * 8 + 16);
  auto* settings = new QHBoxLayout;
  settings->addWidget(max_parallel_);
  settings->addSpacing(digit * 2);
  settings->addWidget(log_to_event_log_);
  settings->addStretch(1);
  settings->addWidget(
      add_label("jobTimeLimitLabel", "&Job time limit (seconds):", job_time_limit_));
  settings->addWidget(job_time_limit_);
  overlap_ = new QComboBox(this);
  overlap_->setObjectName("overlap");
  overlap_->setToolTip(
      "What a run of this job does while another run of it goes on: it is refused, it waits "
      "for the other one to end (unattended runs only), or it runs alongside");
  for (OverlapPolicy policy : {OverlapPolicy::kRefuse, OverlapPolicy::kWait, OverlapPolicy::kAllow})
    overlap_->addItem(OverlapCaption(policy), QString(OverlapWord(policy)));
  settings->addSpacing(digit * 2);
  settings->addWidget(add_label("overlapLabel", "Overlapping runs:", overlap_));
  settings->addWidget(overlap_);
  grid->addWidget(
      add_label("maxParallelLabel", "&Maximum Parallel Running Job Lines:", max_parallel_), row, 0);
  grid->addLayout(settings, row, 1, 1, 2);

  // Every header edit is an edit of the job, the folder, the maximum and the event-log switch
  // included; the typing in one text field is one edit until the field is left.
  texts_ = {description_, admin_report_, user_report_, log_folder_, max_parallel_, job_time_limit_};
  for (int field = 0; field < int(texts_.size()); ++field) {
    QLineEdit* text = texts_[field];
    captions_ << findChild<QLabel*>(text->objectName() + "Label")->text().remove('&').remove(':');
    connect(text, &QLineEdit::textChanged, this,
            [this, field] { commit(captions_[field], field); });
    text->installEventFilter(this);
  }
  connect(log_to_event_log_, &QCheckBox::toggled, this,
          [this] { commit(log_to_event_log_->text().remove('&'), -1); });
  connect(overlap_, &QComboBox::currentIndexChanged, this,
          [this] { commit("Overlapping runs", -1); });
  connect(&job_, &EditedJob::headerChanged, this, [this] { load(job_.job()); });
  load(job_.job());
  connect(admin_report_browse_, &QPushButton::clicked, this, [this] {
    browseReportFile(admin_report_, "Log File (Administrators)", admin_report_filter_);
  });
  connect(user_report_browse_, &QPushButton::clicked, this,
          [this] { browseReportFile(user_report_, "Log File (End Users)", user_report_filter_); });
  connect(log_folder_browse_, &QPushButton::clicked, this, &JobHeaderForm::browseLogFolder);
}

void JobHeaderForm::commit(const QString& caption, int field) {
  if (loading_) return;
  JobDocument header = job_.job();
  store(header);
  job_.setHeader(header, "Change " + caption, field);
}

void JobHeaderForm::load(const JobDocument& job) {
  const QScopedValueRollback<bool> loading(loading_, true);
  const std::string* values[] = {&job.Description, &job.LogFile,     &job.UserFile,
                                 &job.TempLogDir,  &job.MaxParallel, &job.JobTimeLimit};
  for (int field = 0; field < int(texts_.size()); ++field) {
    // A field being typed into keeps its cursor.
    const QString value = QString::fromStdString(*values[field]);
    if (texts_[field]->text() != value) texts_[field]->setText(value);
  }
  log_to_event_log_->setChecked(job.LogToEventLog);
  setOverlap(job.Overlap);
  notify_ = {QString::fromStdString(job.NotifyMail), QString::fromStdString(job.NotifyWebhook),
             QString::fromStdString(job.NotifyOn)};
}

void JobHeaderForm::store(JobDocument& job) const {
  job.Description = description_->text().toStdString();
  job.LogFile = admin_report_->text().toStdString();
  job.UserFile = user_report_->text().toStdString();
  job.TempLogDir = log_folder_->text().toStdString();
  job.LogToEventLog = log_to_event_log_->isChecked();
  job.MaxParallel = max_parallel_->text().toStdString();
  job.JobTimeLimit = job_time_limit_->text().toStdString();
  job.Overlap = overlapText().toStdString();
  job.NotifyMail = notify_.mail.toStdString();
  job.NotifyWebhook = notify_.webhook.toStdString();
  job.NotifyOn = notify_.on.toStdString();
}

QString JobHeaderForm::overlapText() const {
  const QString word = overlap_->currentData().toString();
  // The default is what a file without the attribute means; it is written as before.
  return word == OverlapWord(OverlapPolicy::kRefuse) ? QString() : word;
}

void JobHeaderForm::setOverlap(const std::string& word) {
  constexpr int kPolicies = 3;
  while (overlap_->count() > kPolicies) overlap_->removeItem(kPolicies);
  const Result<OverlapPolicy> policy = ParseOverlap(word);
  // A hand-edited value the runner refuses is shown as it is and kept until another is
  // chosen: the run names it.
  if (!policy.ok()) overlap_->addItem(QString::fromStdString(word), QString::fromStdString(word));
  overlap_->setCurrentIndex(policy.ok() ? overlap_->findData(QString(OverlapWord(policy.value)))
                                        : kPolicies);
}

void JobHeaderForm::editNotifications() {
  NotifyDialog dialog(window_);
  dialog.setSettings(notify_);
  if (dialog.exec() != QDialog::Accepted || dialog.settings() == notify_) return;
  notify_ = dialog.settings();
  commit("Notifications", -1);
}

void JobHeaderForm::focusDescription() { description_->setFocus(); }

bool JobHeaderForm::refuse(const QString& text, const QString& title) {
  MessageBox::show(text, title, MessageBox::kOkOnly, MessageBox::Answer::kOk,
                   MessageBox::kExclamation, window_);
  return false;
}

bool JobHeaderForm::checkJobSettings() {
  if (TrimBlanks(description_->text()).isEmpty())
    return refuse("Please enter description", "Job Description");
  if (admin_report_->text().isEmpty())
    return refuse("Please enter Log File (Administrators)", "Log File (Administrators)");
  if (user_report_->text().isEmpty())
    return refuse("Please enter Log File (End Users)", "Log File (Users)");
  if (TrimBlanks(admin_report_->text()).toLower() == TrimBlanks(user_report_->text()).toLower())
    return refuse("Log Files for administrators and for end users must be different files",
                  "Log File");
  if (log_folder_->text().isEmpty())
    return refuse("Please enter Log File Directory", "Log File Directory");
  if (!checkReportFileName(user_report_->text())) return false;
  if (!checkReportFileName(admin_report_->text())) return false;
  if (!FolderExists(TrimBlanks(log_folder_->text())))
    return refuse("Directory " + log_folder_->text() + " does not exist !", "Log file directory");
  return true;
}

bool JobHeaderForm::checkReportFileName(const QString& file_name) {
  const QString trimmed = TrimBlanks(file_name);
  if (trimmed.size() < 5) return refuse("The log-filename is not correct", "Log File");
  if (!trimmed.endsWith("htm", Qt::CaseSensitive))
    return refuse("The extension of the log-file must be 'htm'", "Log File");
  if (!FileExists(trimmed)) {
    // Proves that the report can be written later, and leaves no file behind.
    QFile probe(trimmed);
    const bool created = probe.open(QIODevice::Append | QIODevice::WriteOnly);
    probe.close();
    if (!created || !QFile::remove(trimmed))
      return refuse("Unable to write to file '" + file_name + "'", "Log File");
  }
  return true;
}

void JobHeaderForm::createLogFolder(const QString& folder) {
  std::error_code ec;
  std::filesystem::create_directories(PathOf(TrimBlanks(folder)), ec);
  if (ec) {
    refuse("Unable to create directory " + folder + ": " + QString::fromStdString(ec.message()),
           "Log file directory");
  }
}

void JobHeaderForm::checkLogFolder() {
  const QString text = log_folder_->text();
  const QString trimmed = TrimBlanks(text);
  if (trimmed.isEmpty() || FolderExists(trimmed)) return;
  const MessageBox::Answer answer = MessageBox::show(
      "The directory " + text + " does not exist !\r\nWould you like to create this directory now?",
      "Log file directory", MessageBox::kYesNo, MessageBox::Answer::kYes, MessageBox::kQuestion,
      window_);
  if (answer == MessageBox::Answer::kYes) createLogFolder(text);
}

bool JobHeaderForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut) {
    // After the number boxes wrote their plain form: that is part of the field's edit.
    const int field = int(texts_.indexOf(qobject_cast<QLineEdit*>(watched)));
    QTimer::singleShot(0, this, [this, field] {
      if (field >= 0) commit(captions_[field], field);
      job_.closeEdit();
    });
    // Focus that leaves with the whole window (a message box, another program) is not
    // the user leaving the field; checking then would repeat the message for ever.
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
      if (watched == admin_report_ || watched == user_report_) {
        const QString text = static_cast<QLineEdit*>(watched)->text();
        if (!TrimBlanks(text).isEmpty()) checkReportFileName(text);
      }
      if (watched == log_folder_) checkLogFolder();
    }
  }
  return QWidget::eventFilter(watched, event);
}

void JobHeaderForm::browseReportFile(QLineEdit* field, const QString& title, QString& filter) {
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
  field->setFocus();
}

void JobHeaderForm::browseLogFolder() {
  if (TrimBlanks(log_folder_->text()).isEmpty())
    log_folder_->setText(QDir::cleanPath(ProgramFolder() + "/../log"));
  QString start = log_folder_->text();
  const QString folder = BrowseForFolder(start, "Log file directory", window_);
  if (!TrimBlanks(folder).isEmpty()) log_folder_->setText(folder);
  log_folder_->setFocus();
}

}  // namespace jr
