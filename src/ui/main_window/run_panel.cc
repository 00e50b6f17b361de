#include "ui/main_window/run_panel.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QStatusBar>

#include "ui/main_window/run_worker.h"

namespace jr {

RunPanel::RunPanel(QMainWindow* window, RunWorker& worker)
    : QObject(window), worker_(worker), status_bar_(window->statusBar()) {
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
  connect(&worker, &RunWorker::runningChanged, this, &RunPanel::runningChanged);
  connect(&worker, &RunWorker::lineStarted, this, &RunPanel::lineStarted);
  connect(&worker, &RunWorker::lineEnded, this, &RunPanel::lineEnded);
  connect(&worker, &RunWorker::lineSkipped, this, &RunPanel::lineSkipped);
  connect(&worker, &RunWorker::expectedEnd, this, &RunPanel::expectedEnd);
  connect(&worker, &RunWorker::linesOver, this, &RunPanel::linesOver);
  connect(&worker, &RunWorker::warning, this, &RunPanel::warning);
  connect(&worker, &RunWorker::longerThanUsual, this, &RunPanel::longerThanUsual);
  connect(&worker, &RunWorker::finished, this, &RunPanel::finished);
}

void RunPanel::requestStop() {
  if (!worker_.isRunning() || stopping_) return;
  stopping_ = true;
  worker_.requestStop();
  stop_button_->setEnabled(false);
  progress_->setText("Stopping the job ...");
}

void RunPanel::runningChanged(bool running) {
  stop_button_->setVisible(running);
  stop_button_->setEnabled(running);
  if (!running) {
    QApplication::restoreOverrideCursor();
    return;
  }
  stopping_ = false;
  rerun_note_.clear();
  lines_running_ = lines_done_ = lines_failed_ = lines_skipped_ = 0;
  current_lines_.clear();
  expected_end_.clear();
  longer_than_usual_.clear();
  warnings_.clear();
  progress_->setToolTip(QString());
  showProgress();
  QApplication::setOverrideCursor(Qt::BusyCursor);
}

void RunPanel::finished(const JobRunOutcome& outcome) {
  if (!outcome.ran) {
    progress_->clear();
    return;
  }
  progress_->setText(rerun_note_ + "Last run: " + QString::fromStdString(outcome.message) +
                     QString(" %1 done, %2 failed, %3 skipped.")
                         .arg(lines_done_)
                         .arg(lines_failed_)
                         .arg(lines_skipped_) +
                     warningsNote());
}

void RunPanel::lineStarted(int line) {
  ++lines_running_;
  current_lines_.append(line);
  showProgress();
}

void RunPanel::lineEnded(int line, bool failed) {
  // A line never reported started was never counted as running.
  if (current_lines_.removeOne(line)) --lines_running_;
  ++(failed ? lines_failed_ : lines_done_);
  showProgress();
}

void RunPanel::lineSkipped() {
  ++lines_skipped_;
  showProgress();
}

void RunPanel::expectedEnd(const QString& text) {
  expected_end_ = text;
  if (!expected_end_.isEmpty()) expected_end_[0] = expected_end_[0].toUpper();
  showProgress();
}

void RunPanel::linesOver(const QString& rerun_of, const QString& lines) {
  rerun_note_ = QString("Rerun of %1, job lines over, not run again: %2.  ").arg(rerun_of, lines);
  showProgress();
}

void RunPanel::warning(const QString& text) {
  warnings_ << text;
  progress_->setToolTip(warnings_.join('\n'));
  status_bar_->showMessage(text, 15000);
  showProgress();
}

QString RunPanel::warningsNote() const {
  if (warnings_.isEmpty()) return {};
  return warnings_.size() == 1
             ? QString("  1 warning: ") + warnings_.front()
             : QString("  %1 warnings (point here to read them).").arg(warnings_.size());
}

void RunPanel::longerThanUsual(const QString& text) {
  longer_than_usual_ = text;
  if (!longer_than_usual_.isEmpty()) longer_than_usual_[0] = longer_than_usual_[0].toUpper();
  showProgress();
}

void RunPanel::showProgress() {
  if (stopping_) return;
  QStringList current;
  for (int32_t number : current_lines_) current << QString::number(number);
  progress_->setText(
      rerun_note_ +
      QString("Running: %1 running, %2 done, %3 failed, %4 skipped.")
          .arg(lines_running_)
          .arg(lines_done_)
          .arg(lines_failed_)
          .arg(lines_skipped_) +
      (current.isEmpty() ? QString() : "  Current job lines: " + current.join(", ")) +
      (expected_end_.isEmpty() ? QString() : "  " + expected_end_ + ".") +
      (longer_than_usual_.isEmpty() ? QString() : "  " + longer_than_usual_ + ".") +
      warningsNote());
}

}  // namespace jr
