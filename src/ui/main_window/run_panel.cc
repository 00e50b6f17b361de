#include "ui/main_window/run_panel.h"

#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

#include "run/rerun_plan.h"
#include "run/run_job.h"

namespace jr {

RunPanel::RunPanel(QMainWindow* window) : QObject(window), status_bar_(window->statusBar()) {
  setObjectName("runPanel");
  progress_ = new QLabel(window);
  progress_->setObjectName("runProgress");
  stop_button_ = new QPushButton("&Stop", window);
  stop_button_->setObjectName("stopRun");
  stop_button_->setToolTip("Stop the running job");
  stop_button_->hide();
  status_bar_->addPermanentWidget(progress_, 1);
  status_bar_->addPermanentWidget(stop_button_);
  connect(stop_button_, &QPushButton::clicked, this, &RunPanel::requestStop);
}

JobRunOutcome RunPanel::run(JobExecutor& executor, const JobDocument& job, int32_t max_parallel,
                            const RerunBasis* rerun) {
  stop_requested_ = false;
  rerun_note_.clear();
  lines_running_ = lines_done_ = lines_failed_ = lines_skipped_ = 0;
  current_lines_.clear();
  setRunning(true);
  showProgress();
  QApplication::setOverrideCursor(Qt::BusyCursor);
  const JobRunOutcome outcome = executor.execute(job, max_parallel, *this, rerun);
  QApplication::restoreOverrideCursor();
  setRunning(false);
  if (!outcome.ran) {
    progress_->clear();
  } else {
    progress_->setText(rerun_note_ + "Last run: " + QString::fromStdString(outcome.message) +
                       QString(" %1 done, %2 failed, %3 skipped.")
                           .arg(lines_done_)
                           .arg(lines_failed_)
                           .arg(lines_skipped_));
  }
  return outcome;
}

void RunPanel::requestStop() {
  if (!running_) return;
  stop_requested_ = true;
  stop_button_->setEnabled(false);
  progress_->setText("Stopping the job ...");
  emit stopRequested();
}

void RunPanel::setRunning(bool running) {
  running_ = running;
  stop_button_->setVisible(running_);
  stop_button_->setEnabled(running_);
  emit runningChanged(running_);
}

void RunPanel::Pause(std::chrono::milliseconds longest) {
  if (stop_requested_) return;
  QEventLoop loop;
  QTimer::singleShot(longest, &loop, &QEventLoop::quit);
  connect(this, &RunPanel::stopRequested, &loop, &QEventLoop::quit);
  loop.exec();
}

void RunPanel::LineStarted(const RunLine& line) {
  ++lines_running_;
  current_lines_.append(line.JobLineNr());
  showProgress();
}

void RunPanel::LineFinished(const RunLine& line) {
  lineEnded(line);
  ++(line.ErrorOccurred() ? lines_failed_ : lines_done_);
  showProgress();
}

void RunPanel::LineSkipped(const RunLine&) {
  ++lines_skipped_;
  showProgress();
}

void RunPanel::LineCannotStart(const RunLine& line, std::string_view reason) {
  lineEnded(line);
  ++lines_failed_;
  showProgress();
  Warning(reason);
}

void RunPanel::LineTimeLimitReached(const RunLine& line) { Warning(LineTimeLimitText(line)); }

void RunPanel::LinesOver(std::string_view rerun_of, const std::vector<int32_t>& over) {
  rerun_note_ =
      QString("Rerun of %1, job lines over, not run again: %2.  ")
          .arg(QString::fromUtf8(rerun_of.data(), static_cast<qsizetype>(rerun_of.size())),
               QString::fromStdString(JobLineNumbersText(over)));
  showProgress();
}

void RunPanel::Warning(std::string_view text) {
  status_bar_->showMessage(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                           15000);
}

void RunPanel::lineEnded(const RunLine& line) {
  if (current_lines_.removeOne(line.JobLineNr())) --lines_running_;
}

void RunPanel::showProgress() {
  if (stop_requested_) return;
  QStringList current;
  for (int32_t number : current_lines_) current << QString::number(number);
  progress_->setText(
      rerun_note_ +
      QString("Running: %1 running, %2 done, %3 failed, %4 skipped.")
          .arg(lines_running_)
          .arg(lines_done_)
          .arg(lines_failed_)
          .arg(lines_skipped_) +
      (current.isEmpty() ? QString() : "  Current job lines: " + current.join(", ")));
}

}  // namespace jr
