#pragma once
// View > Job Graph: the job's lines and how they wait for, skip and repeat each other, as
// `jobrunner --graph` prints them, laid out by the graph layout library and drawn here. It
// follows the edited job, so every change of the job lines lays it out again; after a run
// its nodes show that run's outcomes. A double click on a node asks for that line's dialog.

#include <QGraphicsView>
#include <functional>
#include <optional>

#include "insight/job_graph.h"
#include "model/job_line_table.h"

namespace jr {

class EditedJob;

class JobGraphView : public QGraphicsView {
  Q_OBJECT

 public:
  // The key of a node item's data that holds its job line number.
  static constexpr int kLineNumberKey = 0;

  // `job` must outlive the view; `job_file` names the window's job file of the moment, so
  // that a run of another job is not shown.
  JobGraphView(const EditedJob& job, std::function<QString()> job_file, QWidget* parent = nullptr);

  // Shows the outcomes of `run` of `job_file`, or none.
  void showRun(const QString& job_file, std::optional<GraphRun> run);
  // Lays the graph out again now.
  void relayout();

 signals:
  // A node was double-clicked.
  void lineActivated(int32_t number);

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  void scheduleLayout();

  const JobLineTable* table_;
  std::function<QString()> job_file_;
  QString run_job_file_;
  std::optional<GraphRun> run_;
  bool layout_pending_ = false;
};

}  // namespace jr
