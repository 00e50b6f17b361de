#include "ui/schedule_dialog/schedule_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QThreadPool>
#include <QTimer>
#include <QVBoxLayout>
#include <memory>

#include "jobfile/job_file.h"
#include "model/time_text.h"
#include "run/job_schedule.h"
#include "ui/controls/blanks.h"
#include "ui/controls/file_dialog.h"
#include "ui/controls/message_box.h"
#include "ui/main_window/main_window.h"

namespace jr {
namespace {

constexpr int kShownRuns = 5;
// Days off shown at most among them: a long holiday would bury the runs.
constexpr int kShownLines = 12;

struct Preset {
  const char* caption;
  const char* expression;
};
constexpr Preset kPresets[] = {{"every night at 02:30", "*-*-* 02:30:00"},
                               {"weekdays at 02:30", "Mon..Fri *-*-* 02:30:00"},
                               {"hourly", "hourly"}};

// The command an administrator types for the system's own timers.
QString SystemCommand(const QString& job_file) {
  const QString file = job_file.contains(' ') ? "'" + job_file + "'" : job_file;
  return "sudo jobrunner --schedule " + file;
}

}  // namespace

ScheduleDialog::ScheduleDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("scheduleDialog");
  setWindowTitle("Schedule");
  setModal(true);
  presets_ = new QComboBox(this);
  presets_->setObjectName("schedulePresets");
  presets_->addItem("Presets ...");
  for (const Preset& preset : kPresets) presets_->addItem(preset.caption, preset.expression);
  expression_ = new QLineEdit(this);
  expression_->setObjectName("scheduleExpression");
  expression_->setPlaceholderText("Mon..Fri *-*-* 02:30:00");
  expression_->setToolTip(
      "A systemd calendar expression, optionally with a time zone; empty for a job without "
      "a schedule");
  expression_->setMinimumWidth(expression_->fontMetrics().averageCharWidth() * 40);
  catch_up_ = new QCheckBox("Catch &up a run missed while the machine was off", this);
  catch_up_->setObjectName("scheduleCatchUp");
  delay_ = new QSpinBox(this);
  delay_->setObjectName("scheduleRandomDelay");
  delay_->setRange(0, kHighestRandomDelay);
  delay_->setSuffix(" s");
  delay_->setToolTip("Each run starts up to this many seconds later, at random");
  calendar_ = new QLineEdit(this);
  calendar_->setObjectName("scheduleCalendar");
  calendar_->setToolTip(
      "A file of days off: one date YYYY-MM-DD or range YYYY-MM-DD..YYYY-MM-DD a line; "
      "on those days an unattended run starts nothing");
  auto* browse = new QPushButton("&Browse ...", this);
  browse->setObjectName("scheduleBrowseCalendar");
  auto* calendar_row = new QHBoxLayout;
  calendar_row->addWidget(calendar_);
  calendar_row->addWidget(browse);
  next_runs_ = new QListWidget(this);
  next_runs_->setObjectName("scheduleNextRuns");
  next_runs_->setMinimumHeight(next_runs_->fontMetrics().height() * (kShownRuns + 3));
  verdict_ = new QLabel(this);
  verdict_->setObjectName("scheduleVerdict");
  verdict_->setWordWrap(true);

  auto* expression_row = new QHBoxLayout;
  expression_row->addWidget(expression_, 1);
  expression_row->addWidget(presets_);
  // A row of a layout gets no buddy of its own: its label is made with the field it names.
  auto label = [this](const char* text, QWidget* buddy) {
    auto* made = new QLabel(text, this);
    made->setBuddy(buddy);
    return made;
  };
  auto* form = new QFormLayout;
  form->addRow(label("&Schedule:", expression_), expression_row);
  form->addRow("", catch_up_);
  form->addRow("&Random delay:", delay_);
  form->addRow(label("&Days off:", calendar_), calendar_row);
  form->addRow("Next runs:", next_runs_);
  form->addRow("", verdict_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  ok_->setObjectName("okButton");
  buttons->button(QDialogButtonBox::Cancel)->setObjectName("cancelButton");
  install_ = buttons->addButton("&Install", QDialogButtonBox::ActionRole);
  install_->setObjectName("scheduleInstall");
  install_->setToolTip("Installs the saved job's schedule as a timer of your own");
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);

  pause_ = new QTimer(this);
  pause_->setSingleShot(true);
  pause_->setInterval(300);
  connect(pause_, &QTimer::timeout, this, &ScheduleDialog::startPreview);
  connect(expression_, &QLineEdit::textChanged, this, &ScheduleDialog::schedulePreview);
  connect(calendar_, &QLineEdit::textChanged, this, &ScheduleDialog::schedulePreview);
  connect(presets_, &QComboBox::activated, this, [this](int index) {
    if (index > 0) expression_->setText(presets_->itemData(index).toString());
    presets_->setCurrentIndex(0);
  });
  connect(browse, &QPushButton::clicked, this, &ScheduleDialog::browseCalendar);
  connect(install_, &QPushButton::clicked, this, &ScheduleDialog::install);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  setSchedule({});
}

void ScheduleDialog::setJobFile(const QString& file) {
  job_file_ = file;
  schedulePreview();
}

void ScheduleDialog::setSchedule(const ScheduleAttributes& schedule) {
  expression_->setText(QString::fromStdString(schedule.Schedule));
  catch_up_->setChecked(ParseCatchUp(schedule.CatchUp).value || schedule.CatchUp.empty());
  delay_->setValue(ParseRandomDelay(schedule.RandomDelay).value);
  calendar_->setText(QString::fromStdString(schedule.Calendar));
  schedulePreview();
}

ScheduleAttributes ScheduleDialog::schedule() const {
  return {TrimBlanks(expression_->text()).toStdString(),
          catch_up_->isChecked() ? std::string() : std::string("false"),
          delay_->value() ? std::to_string(delay_->value()) : std::string(),
          TrimBlanks(calendar_->text()).toStdString()};
}

void ScheduleDialog::schedulePreview() {
  verdict_->setText("Asking systemd ...");
  pause_->start();
}

void ScheduleDialog::startPreview() {
  JobDocument job;
  job.schedule = schedule();
  job.FileName = job_file_.toStdString();
  const int request = ++request_;
  if (job.schedule.Schedule.empty()) {
    showPreview(request, {});
    return;
  }
  // The dialog may be gone when systemd answers; the answer is then dropped.
  auto guard = std::make_shared<QPointer<ScheduleDialog>>(this);
  QThreadPool::globalInstance()->start([guard, request, job = std::move(job)] {
    ScheduleLook look = LookAhead(job, kShownRuns);
    QMetaObject::invokeMethod(
        qApp,
        [guard, request, look = std::move(look)] {
          if (*guard) (*guard)->showPreview(request, look);
        },
        Qt::QueuedConnection);
  });
}

void ScheduleDialog::showPreview(int request, const ScheduleLook& look) {
  if (request != request_) return;
  next_runs_->clear();
  for (const PlannedRun& run : look.runs) {
    if (next_runs_->count() == kShownLines) break;
    QString text =
        QString::fromStdString(FormatTimeText(std::chrono::system_clock::from_time_t(run.time)));
    auto* item = new QListWidgetItem(run.day_off ? text + "   day off: nothing runs" : text);
    if (run.day_off) item->setForeground(palette().color(QPalette::Disabled, QPalette::Text));
    next_runs_->addItem(item);
  }
  const std::string expression = TrimBlanks(expression_->text()).toStdString();
  std::string verdict;
  if (expression.empty()) {
    verdict = "No schedule: the job runs only when started.";
  } else if (look.reading.kind == CalendarReading::Kind::kNoTool) {
    verdict = "systemd-analyze is not there to read the schedule; installing it needs systemd.";
  } else if (std::string problem = ScheduleProblem(expression, look.reading); !problem.empty()) {
    verdict = problem;
  } else {
    verdict = "systemd reads it as: " + look.reading.normalized;
  }
  if (!look.calendar_failure.empty()) verdict += "\n" + look.calendar_failure;
  verdict_->setText(QString::fromStdString(verdict));
  // What systemd refuses or never runs is not taken into the job.
  ok_->setEnabled(expression.empty() || ScheduleProblem(expression, look.reading).empty());
  emit previewShown();
}

void ScheduleDialog::browseCalendar() {
  FileDialogRequest request;
  request.title = "Days off";
  request.filters = QStringList{"Calendar files (*.txt *.days)", "All files (*)"};
  request.file_name = calendar_->text();
  if (!job_file_.isEmpty()) request.directory = QFileInfo(job_file_).absolutePath();
  const QString chosen = FileDialog::getFileName(this, request);
  if (!chosen.isEmpty()) calendar_->setText(chosen);
}

void ScheduleDialog::install() {
  auto tell = [this](const QString& text, MessageBox::Icon icon) {
    MessageBox::show(text, windowTitle(), MessageBox::kOkOnly, MessageBox::Answer::kOk, icon, this);
  };
  const QString system = "For the system's timers: " + SystemCommand(job_file_);
  JobDocument saved;
  const bool read = !job_file_.isEmpty() &&
                    ReadJobFile(job_file_.toStdString(), saved).status == ReadStatus::kLoaded;
  if (!read || saved.schedule != schedule()) {
    return tell("A timer runs the saved job file: press OK and save the job first, then install.",
                MessageBox::kExclamation);
  }
  if (!UnitFolderFor({}).user) return tell(system, MessageBox::kInformation);
  const Result<ScheduleInstall> done =
      InstallSchedule(std::move(saved), job_file_.toStdString(), {}, false);
  if (!done.ok()) {
    return tell(QString::fromStdString(done.message()) + "\n\n" + system, MessageBox::kExclamation);
  }
  tell(QString::fromStdString(
           "Installed " + done.value.place.folder + "/" + done.value.units.back().name +
           "; next run: " + (done.value.next_run.empty() ? "none" : done.value.next_run)) +
           "\n\n" + system,
       MessageBox::kInformation);
}

}  // namespace jr
