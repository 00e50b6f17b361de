#pragma once
// The run's part of the main window's status bar: while a job runs, how many of its lines
// run, are done, failed and were skipped, and a Stop button; afterwards, how the last run
// ended. The panel is the run's hooks, so it counts the lines itself, and its pause keeps
// the window responsive while the run waits.

#include <QList>
#include <QObject>
#include <cstdint>

#include "ui/main_window/job_executor.h"

class QLabel;
class QMainWindow;
class QPushButton;
class QStatusBar;

namespace jr {

class RunPanel : public QObject, private RunHooks {
  Q_OBJECT

 public:
  // Adds the progress text and the Stop button to the status bar of `window`.
  explicit RunPanel(QMainWindow* window);

  bool isRunning() const { return running_; }
  // Runs `job` through `executor` on the calling thread, with this panel's progress.
  // runningChanged is emitted as the run starts and when it is over. Returns the outcome;
  // the panel shows a run's final counts, or nothing when the run could not start.
  // A rerun (`rerun` set) names the lines it takes as over before the counts.
  JobRunOutcome run(JobExecutor& executor, const JobDocument& job, int32_t max_parallel,
                    const RerunBasis* rerun = nullptr);
  // Ends the running job as soon as the run looks at it again; nothing without a run.
  void requestStop();

 signals:
  void runningChanged(bool running);
  void stopRequested();

 private:
  void Pause(std::chrono::milliseconds longest) override;
  bool StopRequested() const override { return stop_requested_; }
  void LineStarted(const RunLine& line) override;
  void LineFinished(const RunLine& line) override;
  void LineSkipped(const RunLine& line) override;
  void LineCannotStart(const RunLine& line, std::string_view reason) override;
  void LineTimeLimitReached(const RunLine& line) override;
  void LinesOver(std::string_view rerun_of, const std::vector<int32_t>& over) override;
  void Warning(std::string_view text) override;

  // Takes a line off the running ones; a line never reported started was never counted.
  void lineEnded(const RunLine& line);
  void showProgress();
  void setRunning(bool running);

  QStatusBar* status_bar_;
  QLabel* progress_ = nullptr;
  QPushButton* stop_button_ = nullptr;

  bool running_ = false;
  bool stop_requested_ = false;
  int lines_running_ = 0;
  int lines_done_ = 0;
  int lines_failed_ = 0;
  int lines_skipped_ = 0;
  QList<int32_t> current_lines_;
  // For a rerun: which run it reruns and which lines it took as over; else empty.
  QString rerun_note_;
};

}  // namespace jr
