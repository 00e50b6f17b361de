#include "ui/main_window/run_panel.h"

#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

#include "engine/rerun_plan.h"
#include "run/run_job.h"

namespace jr {

RunPanel::RunPanel(QMainWindow* window) : QObject(window), status_bar_(window->statusBar()) {
  setObjectName("RunPanel");
  runProgress = new QLabel(window);
  runProgress->setObjectName("runProgress");
  StopRun = new QPushButton("&Stop", window);
  StopRun->setObjectName("StopRun");
  StopRun->setToolTip("Stop the running job");
  StopRun->hide();
  status_bar_->addPermanentWidget(runProgress, 1);
  status_bar_->addPermanentWidget(StopRun);
  connect(StopRun, &QPushButton::clicked, this, &RunPanel::RequestStop);
}

JobRunOutcome RunPanel::Run(JobExecutor& executor, const JobDocument& job, int32_t max_parallel,
                            const RerunBasis* rerun) {
  stop_requested_ = false;
  rerun_note_.clear();
  lines_running_ = lines_done_ = lines_failed_ = lines_skipped_ = 0;
  current_lines_.clear();
  SetRunning(true);
  ShowProgress();
  QApplication::setOverrideCursor(Qt::BusyCursor);
  const JobRunOutcome outcome = executor.Execute(job, max_parallel, *this, rerun);
  QApplication::restoreOverrideCursor();
  SetRunning(false);
  if (!outcome.ran) {
    runProgress->clear();
  } else {
    runProgress->setText(rerun_note_ + "Last run: " + QString::fromStdString(outcome.message) +
                         QString(" %1 done, %2 failed, %3 skipped.")
                             .arg(lines_done_)
                             .arg(lines_failed_)
                             .arg(lines_skipped_));
  }
  return outcome;
}

void RunPanel::RequestStop() {
  if (!running_) return;
  stop_requested_ = true;
  StopRun->setEnabled(false);
  runProgress->setText("Stopping the job ...");
  emit stopRequested();
}

void RunPanel::SetRunning(bool running) {
  running_ = running;
  StopRun->setVisible(running_);
  StopRun->setEnabled(running_);
  emit runningChanged(running_);
}

void RunPanel::Pause(std::chrono::milliseconds longest) {
  if (stop_requested_) return;
  QEventLoop loop;
  QTimer::singleShot(longest, &loop, &QEventLoop::quit);
  connect(this, &RunPanel::stopRequested, &loop, &QEventLoop::quit);
  loop.exec();
}

void RunPanel::LineStarted(const clsJobLine& line) {
  ++lines_running_;
  current_lines_.append(line.JobLineNr());
  ShowProgress();
}

void RunPanel::LineFinished(const clsJobLine& line) {
  Ended(line);
  ++(line.ErrorOccured() ? lines_failed_ : lines_done_);
  ShowProgress();
}

void RunPanel::LineSkipped(const clsJobLine&) {
  ++lines_skipped_;
  ShowProgress();
}

void RunPanel::LineCannotStart(const clsJobLine& line, std::string_view reason) {
  Ended(line);
  ++lines_failed_;
  ShowProgress();
  Warning(reason);
}

void RunPanel::LineTimeLimitReached(const clsJobLine& line) { Warning(LineTimeLimitText(line)); }

void RunPanel::LinesOver(std::string_view rerun_of, const std::vector<int32_t>& over) {
  rerun_note_ =
      QString("Rerun of %1, job lines over, not run again: %2.  ")
          .arg(QString::fromUtf8(rerun_of.data(), static_cast<qsizetype>(rerun_of.size())),
               QString::fromStdString(JobLineNumbersText(over)));
  ShowProgress();
}

void RunPanel::Warning(std::string_view text) {
  status_bar_->showMessage(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                           15000);
}

void RunPanel::Ended(const clsJobLine& line) {
  if (current_lines_.removeOne(line.JobLineNr())) --lines_running_;
}

void RunPanel::ShowProgress() {
  if (stop_requested_) return;
  QStringList current;
  for (int32_t number : current_lines_) current << QString::number(number);
  runProgress->setText(
      rerun_note_ +
      QString("Running: %1 running, %2 done, %3 failed, %4 skipped.")
          .arg(lines_running_)
          .arg(lines_done_)
          .arg(lines_failed_)
          .arg(lines_skipped_) +
      (current.isEmpty() ? QString() : "  Current job lines: " + current.join(", ")));
}

}  // namespace jr
