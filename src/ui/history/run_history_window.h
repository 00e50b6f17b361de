#pragma once
// The run history of one job: its recent runs with their outcome as a coloured badge; for
// the chosen run a timeline of its lines and its lines as a table; and a chart of the
// job's duration over its last runs with, for the chosen line, that line's duration over
// the same runs, so that a line that keeps getting slower shows at once. "Run Failed Lines
// Again" asks the main window for a rerun of the chosen run. A run that goes on is listed
// first and followed about once a second: its duration, its lines' states, its bars. A
// finished run shows its critical path, outlined in the timeline and listed under it, and
// each line's usual duration, marking the lines slower than usual.

#include <QString>
#include <QThread>
#include <QWidget>
#include <map>
#include <memory>
#include <vector>

#include "insight/critical_path.h"
#include "store/run_history.h"

class QChart;
class QLabel;
class QLineSeries;
class QPushButton;
class QTableWidget;
class QTimer;

namespace jr {

class RunTimeline;

// What the window shows of a job's history, read at one moment.
struct HistoryRead {
  std::map<std::string, int64_t> going_on;        // run id to its runner's process id
  std::vector<RunSummary> runs;                   // a run going on first, then newest first
  std::vector<std::vector<RunLineRecord>> lines;  // per run, as runs
  QString problem;                                // why the history could not be read
};

// Reads the recent runs of `job_file` (an absolute name) over a connection of its own; safe
// on any thread.
HistoryRead ReadHistory(const std::string& database, const std::string& job_file);

class RunHistoryWindow : public QWidget {
  Q_OBJECT

 public:
  // Runs listed, and runs the chart covers.
  static constexpr int kRunsShown = 30;
  // How often a shown window looks for runs going on.
  static constexpr int kFollowMs = 1000;

  explicit RunHistoryWindow(QWidget* parent = nullptr);
  // Waits for a read still going on.
  ~RunHistoryWindow() override;

  // Shows the runs of `job_file` as the database at `database` holds them.
  void showJob(const QString& job_file, const QString& database);

  QTableWidget* runsTable() const { return runs_table_; }
  QTableWidget* linesTable() const { return lines_table_; }
  RunTimeline* timeline() const { return timeline_; }
  QChart* chart() const { return chart_; }
  QLineSeries* jobSeries() const { return job_series_; }
  QLineSeries* lineSeries() const { return line_series_; }
  QLabel* statusLabel() const { return status_; }
  QLabel* pathLabel() const { return path_label_; }
  QPushButton* rerunButton() const { return rerun_; }

 signals:
  // The user asked for a rerun of run `run_id` of `job_file`.
  void rerunRequested(const QString& job_file, const QString& run_id);

 public slots:
  // Reads the database again, keeping the chosen run when it is still listed.
  void refresh();
  // While a job runs from the main window, no rerun can be asked for.
  void setRunning(bool running);

 private:
  void showRun(int row);
  void showLineTrend(int lines_row);
  void fillChart();
  void updateRerunButton();
  // Reads the database again while a run goes on, and once more when it ended, off the GUI
  // thread.
  void follow();
  // Shows what was read, keeping the chosen run when it is still listed.
  void showHistory(HistoryRead read);
  bool isGoingOn(size_t run) const { return going_on_.count(runs_[run].run_id) > 0; }
  // The critical path and usual durations of a finished run, read once.
  const RunInsight& insightOf(size_t run);

  QString job_file_, database_;
  std::vector<RunSummary> runs_;                   // newest first
  std::vector<std::vector<RunLineRecord>> lines_;  // per run, as runs_
  std::map<std::string, int64_t> going_on_;        // run id to its runner's process id
  std::map<std::string, RunInsight> insights_;     // by run id
  int32_t chosen_line_ = 0;
  bool running_ = false;

  QLabel* status_ = nullptr;
  QLabel* path_label_ = nullptr;
  QPushButton* rerun_ = nullptr;
  QTableWidget* runs_table_ = nullptr;
  QTableWidget* lines_table_ = nullptr;
  RunTimeline* timeline_ = nullptr;
  QChart* chart_ = nullptr;
  QLineSeries* job_series_ = nullptr;
  QLineSeries* line_series_ = nullptr;
  QTimer* follow_ = nullptr;
  // The read of the database going on for follow(); null when none.
  std::unique_ptr<QThread> reading_;
};

}  // namespace jr
