// The main window's View > Job Graph: one graph window per main window, following the job
// lines as they are edited and showing the newest run of the saved job, read again
// whenever a run started from the window ends. A double click on a node is Job Line
// Details on that line, and off while a job runs, as the command is.

#include <QAction>

#include "platform/metadata_location.h"
#include "ui/graph/job_graph_view.h"
#include "ui/main_window/main_window.h"

namespace jr {

void MainWindow::showJobGraph() {
  if (graph_view_ == nullptr) {
    graph_view_ = new JobGraphView(
        *job_, [this] { return currentJobFile(); }, this);
    auto show_newest_run = [this] {
      if (currentJobFile().isEmpty()) return;
      const std::string file = currentJobFile().toStdString();
      Result<std::optional<GraphRun>> run = ReadGraphRun(SystemMetadataDatabasePath(), file, "");
      graph_view_->showRun(currentJobFile(), run.ok() ? run.value : std::nullopt);
    };
    connect(this, &MainWindow::runEnded, graph_view_, show_newest_run);
    connect(graph_view_, &JobGraphView::lineActivated, this, [this](int32_t number) {
      const int row = table().FindJobLineRow(number);
      if (JobLineNumberOf(table().At(kColNumber, row)) != number) return;
      showTableRow(row);
      findChild<QAction*>("editJobLine")->trigger();
    });
    show_newest_run();
  }
  graph_view_->show();
  graph_view_->raise();
  graph_view_->activateWindow();
}

}  // namespace jr
