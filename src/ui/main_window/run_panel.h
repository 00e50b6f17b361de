#pragma once
// The run's part of the main window's status bar: while a job runs, how many of its lines
// run, are done, failed and were skipped, and a Stop button; afterwards, how the last run
// ended. It counts the lines from what the run worker tells.

#include <QList>
#include <QObject>
#include <cstdint>

#include "ui/main_window/job_executor.h"

class QLabel;
class QMainWindow;
class QPushButton;
class QStatusBar;

namespace jr {

class RunWorker;

class RunPanel : public QObject {
  Q_OBJECT

 public:
  // Adds the progress text and the Stop button to the status bar of `window`, and shows
  // the runs of `worker`.
  RunPanel(QMainWindow* window, RunWorker& worker);

  // Ends the running job as soon as the run looks at it again; nothing without a run.
  void requestStop();

 private:
  void runningChanged(bool running);
  void lineStarted(int line);
  void lineEnded(int line, bool failed);
  void lineSkipped();
  void expectedEnd(const QString& text);
  void linesOver(const QString& rerun_of, const QString& lines);
  void warning(const QString& text);
  void longerThanUsual(const QString& text);
  // "  N warnings ..." for the progress text; empty without any.
  QString warningsNote() const;
  // The panel shows a run's final counts, or nothing when the run could not start.
  void finished(const JobRunOutcome& outcome);
  void showProgress();

  RunWorker& worker_;
  QStatusBar* status_bar_;
  QLabel* progress_ = nullptr;
  QPushButton* stop_button_ = nullptr;

  bool stopping_ = false;
  int lines_running_ = 0;
  int lines_done_ = 0;
  int lines_failed_ = 0;
  int lines_skipped_ = 0;
  QList<int32_t> current_lines_;
  // When the run is expected to end, as last told after a line's end; else empty.
  QString expected_end_;
  // Once the run has gone on longer than usual, what says so; else empty.
  QString longer_than_usual_;
  // What the run warned of, oldest first: counted in the progress text and listed in its
  // tooltip, as a message in the status bar gives way to the next.
  QStringList warnings_;
  // For a rerun: which run it reruns and which lines it took as over; else empty.
  QString rerun_note_;
};

}  // namespace jr
