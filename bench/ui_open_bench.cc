// Time from Open of a 10,000-line job file (or as many lines as the first argument says) to
// the grid painted with its rows, on the offscreen platform; then a scroll to its end, the
// insert and the delete of a line in it (the grid follows row by row: no model reset), and
// the graph window's opening. With --screenshot FILE.png it also saves a picture of the window
// holding a small job, for looking at the window without a display.

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QScrollBar>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <algorithm>
#include <functional>
#include <chrono>
#include <cstdio>
#include <vector>

#include "jobfile/job_file.h"
#include "large_job.h"
#include "ui/controls/file_dialog.h"
#include "ui/controls/message_box.h"
#include "ui/main_window/edited_job.h"
#include "ui/main_window/main_window.h"

namespace {

// Runs the window's command of that object name, as its menu item does.
void Trigger(jr::MainWindow& window, const char* action) {
  window.findChild<QAction*>(action)->trigger();
}

QString WriteJob(const QString& folder, const QString& name, int lines) {
  const QString path = folder + "/" + name;
  jr::WriteResult result = jr::WriteJobFile(path.toStdString(), jr::bench::LargeJob(lines, folder.toStdString()), "now");
  if (!result.ok) {
    std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(path), result.error.c_str());
    std::exit(1);
  }
  return path;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  jr::MessageBox::enableTesting();
  jr::FileDialog::enableTesting();
  QTemporaryDir temp;
  const QString folder = temp.path();
  // The files it opens are no recent files of the user's.
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder + "/settings");

  const QStringList args = app.arguments();
  const int shot = static_cast<int>(args.indexOf("--screenshot"));
  if (shot > 0 && shot + 1 < args.size()) {
    jr::MainWindow window;
    window.show();
    jr::FileDialog::setNextFileName(WriteJob(folder, "Night run.xml", 5));
    Trigger(window, "openJob");
    QApplication::processEvents();
    window.grab().save(args[shot + 1]);
    std::printf("saved %s\n", qPrintable(args[shot + 1]));
    // The same window made larger: the fields widen, the buttons follow the right edge and
    // the grid grows both ways.
    window.resize(1100, 700);
    QApplication::processEvents();
    const QString larger = QString(args[shot + 1]).replace(".png", "-larger.png");
    window.grab().save(larger);
    std::printf("saved %s\n", qPrintable(larger));
    Trigger(window, "help");
    QApplication::processEvents();
    if (QWidget* help = window.findChild<QWidget*>("helpWindow")) {
      const QString help_shot = QString(args[shot + 1]).replace(".png", "-help.png");
      help->grab().save(help_shot);
      std::printf("saved %s\n", qPrintable(help_shot));
    }
    return 0;
  }

  const int lines = args.size() > 1 && args[1].toInt() > 0 ? args[1].toInt() : 10000;
  const QString big = WriteJob(folder, "big.xml", lines);
  jr::MainWindow window;
  window.show();
  QApplication::processEvents();
  auto* grid = window.findChild<QTableView*>("jobLines");
  using Clock = std::chrono::steady_clock;
  auto ms_since = [](Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  };
  std::vector<double> times;
  for (int round = 0; round < 5; ++round) {
    Trigger(window, "newJob");
    QApplication::processEvents();
    jr::FileDialog::setNextFileName(big);
    const auto start = Clock::now();
    Trigger(window, "openJob");
    grid->viewport()->repaint();
    times.push_back(ms_since(start));
    if (grid->model()->rowCount() != lines) {
      std::fprintf(stderr, "the grid shows %d rows\n", grid->model()->rowCount());
      return 1;
    }
  }
  std::sort(times.begin(), times.end());
  const double open_limit = lines > 10000 ? 1500 : 300;
  std::printf("open %d-line job to painted grid: median %.1f ms, best %.1f ms, worst %.1f ms "
              "(%zu rounds; target < %.0f ms)\n",
              lines, times[times.size() / 2], times.front(), times.back(), times.size(),
              open_limit);

  int resets = 0;
  QObject::connect(grid->model(), &QAbstractItemModel::modelReset, [&resets] { ++resets; });
  auto timed = [&](const char* what, const std::function<void()>& step, double limit) {
    const auto start = Clock::now();
    step();
    grid->viewport()->repaint();
    std::printf("%-36s %8.1f ms (target < %.0f ms)\n", what, ms_since(start), limit);
  };
  timed("scroll to the end and paint", [&] {
    grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->maximum());
  }, 50);
  jr::EditedJob& job = window.job();
  // A line between the first two, so that the job's lines sort around it.
  jr::JobLineTable::Row line = job.table().RowAt(0);
  line[jr::kColNumber] = std::to_string(jr::JobLineNumberOf(line[jr::kColNumber]).value_or(0) + 1);
  int row = 0;
  timed("insert a line", [&] { row = job.insertLine(line); }, 50);
  timed("delete it", [&] { job.removeLine(row); }, 50);
  timed("undo the delete", [&] { job.undoStack().undo(); }, 50);
  std::printf("model resets while editing: %d (expected 0)\n", resets);
  const auto start = Clock::now();
  Trigger(window, "showJobGraph");
  QApplication::processEvents();
  std::printf("%-36s %8.1f ms (the layout itself goes on off the window's thread)\n",
              "open the graph window", ms_since(start));
  return resets == 0 ? 0 : 1;
}
