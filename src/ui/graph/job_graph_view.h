#pragma once
// View > Job Graph: the job's lines and how they wait for, skip and repeat each other, as
// `jobrunner --graph` prints them, laid out by the graph layout library and drawn here. It
// follows the edited job, so every change of the job lines lays it out again; after a run
// its nodes show that run's outcomes. A double click on a node asks for that line's dialog.
// The layout is made off the window's thread, one at a time: a change while one is made
// drops its result and lays the newest job out after it. A graph too large to lay out in a
// few seconds is not laid out at all; the view says so instead.

#include <QGraphicsView>
#include <QThread>
#include <functional>
#include <memory>
#include <optional>

#include "insight/job_graph.h"
#include "model/job_line_table.h"
#include "ui/graph/graph_layout.h"

namespace jr {

class EditedJob;

class JobGraphView : public QGraphicsView {
  Q_OBJECT

 public:
  // The key of a node item's data that holds its job line number.
  static constexpr int kLineNumberKey = 0;
  // The largest graph laid out: the layout of a job whose lines wait for lines far apart
  // takes seconds from some hundreds of lines on, one that is a chain takes that at some
  // thousands.
  static constexpr int kMostLines = 1000;
  static constexpr int kMostArrows = 1000;

  // `job` must outlive the view; `job_file` names the window's job file of the moment, so
  // that a run of another job is not shown.
  JobGraphView(const EditedJob& job, std::function<QString()> job_file, QWidget* parent = nullptr);
  // Waits for a layout under way: it reads nothing of the view's, but its result is sent here.
  ~JobGraphView() override;

  // Shows the outcomes of `run` of `job_file`, or none.
  void showRun(const QString& job_file, std::optional<GraphRun> run);
  // Lays the graph out again now, or as soon as the layout under way is done.
  void relayout();

 signals:
  // The newest job's graph is drawn, or the reason why it is not shown.
  void laidOut();
  // A node was double-clicked.
  void lineActivated(int32_t number);

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  void scheduleLayout();
  void draw(const Result<GraphLayout>& layout);
  // Shows `text` in place of the graph.
  void showText(const QString& text);

  const JobLineTable* table_;
  std::function<QString()> job_file_;
  QString run_job_file_;
  std::optional<GraphRun> run_;
  bool layout_pending_ = false;
  // The layout under way, and whether the job changed since it began.
  std::unique_ptr<QThread> layout_thread_;
  bool stale_ = false;
};

}  // namespace jr
