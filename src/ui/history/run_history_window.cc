#include "ui/history/run_history_window.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <set>

#include "insight/runs_in_progress.h"
#include "model/time_text.h"
#include "platform/file_digest.h"
#include "ui/controls/off_thread.h"
#include "ui/history/run_timeline.h"

namespace jr {
namespace {

enum RunColumn { kRunStart, kRunDuration, kRunOutcome, kRunFailedLines, kRunId, kRunColumns };
enum LineColumn {
  kLineNumber,
  kLineDescription,
  kLineStart,
  kLineDuration,
  kLineOutcome,
  kLineExitStatus,
  kLineRepeatOf,
  kLineUsual,
  kLineColumns
};

constexpr int kBadgeColorRole = Qt::UserRole + 1;

// The outcome column shows a rounded badge in the outcome's colour.
class BadgeDelegate final : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyleOptionViewItem plain = option;
    plain.text.clear();
    initStyleOption(&plain, index);
    plain.text.clear();
    option.widget->style()->drawControl(QStyle::CE_ItemViewItem, &plain, painter, option.widget);
    const QString text = index.data(Qt::DisplayRole).toString();
    const QColor color = index.data(kBadgeColorRole).value<QColor>();
    const QFontMetrics metrics(option.font);
    const int width = metrics.horizontalAdvance(text) + 16;
    const QRectF badge(option.rect.left() + 4, option.rect.center().y() - metrics.height() / 2.0,
                       width, metrics.height());
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(color);
    painter->drawRoundedRect(badge, badge.height() / 2, badge.height() / 2);
    painter->setPen(Qt::white);
    painter->drawText(badge, Qt::AlignCenter, text);
    painter->restore();
  }
};

QString DurationText(TimePoint from, const std::optional<TimePoint>& to) {
  if (!to) return "-";
  // Short lines keep their tenths: "0:00:00" would say nothing about them.
  const double span = SecondsBetween(from, *to);
  if (span < 60) return QString::number(span, 'f', 1) + " s";
  const auto seconds = static_cast<long long>(span);
  return QString("%1:%2:%3")
      .arg(seconds / 3600)
      .arg(seconds / 60 % 60, 2, 10, QChar('0'))
      .arg(seconds % 60, 2, 10, QChar('0'));
}

QString TimeText(const std::optional<TimePoint>& time) {
  return time ? QString::fromStdString(FormatTimeText(*time)) : QString("-");
}

QColor OutcomeColor(const std::optional<RunStatus>& status, bool going_on) {
  if (going_on) return RunTimeline::stateColor(LiveState::kRunning);
  if (!status) return QColor(0x61, 0x61, 0x61);
  switch (*status) {
    case RunStatus::kNoErrors:
      return QColor(0x2e, 0x7d, 0x32);
    case RunStatus::kErrors:
      return QColor(0xef, 0x6c, 0x00);
    case RunStatus::kFatal:
      return QColor(0xc6, 0x28, 0x28);
    case RunStatus::kInterrupted:
    case RunStatus::kRefused:
    case RunStatus::kDayOff:
    case RunStatus::kUnknown:
      break;
  }
  return QColor(0x61, 0x61, 0x61);
}

QTableWidgetItem* Item(const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
  return item;
}

// Puts `item` in the cell unless the cell shows the same already: a table followed every
// second changes only where the run did.
void Put(QTableWidget* table, int row, int column, QTableWidgetItem* item) {
  const QTableWidgetItem* shown = table->item(row, column);
  if (shown && shown->text() == item->text() && shown->toolTip() == item->toolTip() &&
      shown->foreground() == item->foreground() &&
      shown->data(kBadgeColorRole) == item->data(kBadgeColorRole)) {
    delete item;
    return;
  }
  table->setItem(row, column, item);
}

// The ids and processes of the job's runs going on now; empty when none or unreadable.
std::map<std::string, int64_t> RunsGoingOn(const std::string& database,
                                           const std::string& job_file) {
  std::map<std::string, int64_t> going_on;
  Result<std::vector<RunInProgress>> runs = RunsInProgress(database, job_file);
  for (const RunInProgress& run : runs.value) going_on[run.run.run_id] = run.pid;
  return going_on;
}

}  // namespace

HistoryRead ReadHistory(const std::string& database, const std::string& job_file) {
  HistoryRead read;
  read.going_on = RunsGoingOn(database, job_file);
  Result<std::unique_ptr<RunHistory>> history = RunHistory::OpenForReading(database);
  if (!history.ok()) {
    read.problem = QString::fromStdString(history.message());
    return read;
  }
  if (!history.value) return read;
  Result<std::vector<RunSummary>> runs =
      history.value->RecentRuns(job_file, RunHistoryWindow::kRunsShown);
  std::vector<std::string> ids;
  for (const RunSummary& run : runs.value) ids.push_back(run.run_id);
  Result<std::vector<std::vector<RunLineRecord>>> lines = history.value->Lines(ids);
  if (!runs.ok() || !lines.ok()) {
    read.problem = QString::fromStdString(runs.ok() ? lines.message() : runs.message());
    return read;
  }
  // A run going on comes first, even before one that started later without taking the
  // job's lock.
  for (const bool first : {true, false}) {
    for (size_t i = 0; i < ids.size(); ++i) {
      if ((read.going_on.count(ids[i]) > 0) != first) continue;
      read.runs.push_back(std::move(runs.value[i]));
      read.lines.push_back(std::move(lines.value[i]));
    }
  }
  return read;
}

namespace {

QTableWidget* MakeTable(const char* name, const QStringList& headings, QWidget* parent) {
  auto* table = new QTableWidget(0, static_cast<int>(headings.size()), parent);
  table->setObjectName(name);
  table->setHorizontalHeaderLabels(headings);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setSelectionMode(QAbstractItemView::SingleSelection);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->verticalHeader()->hide();
  table->setWordWrap(false);
  table->horizontalHeader()->setStretchLastSection(true);
  return table;
}

}  // namespace

RunHistoryWindow::RunHistoryWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("RunHistoryWindow");
  resize(1280, 820);
  auto* layout = new QVBoxLayout(this);
  status_ = new QLabel(this);
  status_->setObjectName("historyStatus");
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  rerun_ = new QPushButton("Run Failed Lines &Again", this);
  rerun_->setObjectName("RunFailedLinesAgain");
  rerun_->setToolTip(
      "Run the job again without the lines that succeeded in the chosen run, as Execute Job "
      "does");
  auto* top_row = new QHBoxLayout();
  top_row->addWidget(status_, 1);
  top_row->addWidget(rerun_);
  layout->addLayout(top_row);
  connect(rerun_, &QPushButton::clicked, this, [this] {
    const int row = runs_table_->currentRow();
    if (running_ || row < 0 || row >= static_cast<int>(runs_.size())) return;
    emit rerunRequested(job_file_, QString::fromStdString(runs_[static_cast<size_t>(row)].run_id));
  });

  runs_table_ =
      MakeTable("runsTable", {"Start", "Duration", "Outcome", "Failed lines", "Run id"}, this);
  runs_table_->setItemDelegateForColumn(kRunOutcome, new BadgeDelegate(runs_table_));
  const int run_widths[] = {160, 70, 95, 95};
  for (int column = 0; column < kRunId; ++column) {
    runs_table_->setColumnWidth(column, run_widths[column]);
  }

  chart_ = new QChart();
  chart_->setTitle("Duration over the last runs");
  chart_->legend()->setAlignment(Qt::AlignBottom);
  job_series_ = new QLineSeries(chart_);
  job_series_->setName("Job");
  job_series_->setPointsVisible(true);
  line_series_ = new QLineSeries(chart_);
  line_series_->setPointsVisible(true);
  chart_->addSeries(job_series_);
  chart_->addSeries(line_series_);
  auto* time_axis = new QDateTimeAxis(chart_);
  time_axis->setFormat("MMM d");
  time_axis->setTickCount(6);
  auto* value_axis = new QValueAxis(chart_);
  value_axis->setLabelFormat("%g");
  chart_->addAxis(time_axis, Qt::AlignBottom);
  chart_->addAxis(value_axis, Qt::AlignLeft);
  for (QLineSeries* series : {job_series_, line_series_}) {
    series->attachAxis(time_axis);
    series->attachAxis(value_axis);
  }
  auto* chart_view = new QChartView(chart_, this);
  chart_view->setObjectName("durationChart");
  chart_view->setRenderHint(QPainter::Antialiasing);
  chart_view->setMinimumWidth(420);

  auto* timeline_box = new QWidget(this);
  auto* timeline_layout = new QVBoxLayout(timeline_box);
  timeline_layout->setContentsMargins(0, 0, 0, 0);
  timeline_ = new RunTimeline(timeline_box);
  path_label_ = new QLabel(timeline_box);
  path_label_->setObjectName("criticalPath");
  path_label_->setWordWrap(true);
  path_label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  path_label_->setToolTip(
      "The lines whose ends set the run's end, each waiting for the one before it: a line "
      "outside it could have taken somewhat longer without the run ending later");
  timeline_layout->addWidget(timeline_, 1);
  timeline_layout->addWidget(path_label_);
  lines_table_ = MakeTable(
      "linesTable",
      {"Line", "Description", "Start", "Duration", "Outcome", "Exit code", "Repeat of", "Usual"},
      this);
  const int line_widths[] = {50, 140, 160, 70, 65, 70, 70};
  for (int column = 0; column < kLineUsual; ++column) {
    lines_table_->setColumnWidth(column, line_widths[column]);
  }

  auto* top = new QSplitter(Qt::Horizontal, this);
  top->addWidget(runs_table_);
  top->addWidget(chart_view);
  top->setSizes({600, 680});
  auto* bottom = new QSplitter(Qt::Horizontal, this);
  bottom->addWidget(timeline_box);
  bottom->addWidget(lines_table_);
  bottom->setSizes({640, 640});
  auto* whole = new QSplitter(Qt::Vertical, this);
  whole->addWidget(top);
  whole->addWidget(bottom);
  whole->setSizes({380, 420});
  layout->addWidget(whole, 1);

  connect(runs_table_, &QTableWidget::currentCellChanged, this, [this](int row) { showRun(row); });
  connect(lines_table_, &QTableWidget::currentCellChanged, this,
          [this](int row) { showLineTrend(row); });
  follow_ = new QTimer(this);
  follow_->setInterval(kFollowMs);
  connect(follow_, &QTimer::timeout, this, &RunHistoryWindow::follow);
}

void RunHistoryWindow::showJob(const QString& job_file, const QString& database) {
  job_file_ = job_file;
  database_ = database;
  chosen_line_ = 0;
  insights_.clear();
  setWindowTitle("Run History - " + job_file);
  refresh();
  follow_->start();
}

RunHistoryWindow::~RunHistoryWindow() {
  if (reading_) reading_->wait();
}

void RunHistoryWindow::follow() {
  if (!isVisible() || reading_) return;
  // The database is read on a thread of its own, over a connection of its own: a run that
  // writes to it, or a slow disk, never holds up the window.
  const std::string database = database_.toStdString();
  const std::string job_file = AbsoluteFileName(job_file_.toStdString());
  reading_ = StartOffThread<std::optional<HistoryRead>>(
      this,
      [database, job_file, before = going_on_]() -> std::optional<HistoryRead> {
        if (RunsGoingOn(database, job_file).empty() && before.empty()) return std::nullopt;
        return ReadHistory(database, job_file);
      },
      [this, job_file = job_file_](std::optional<HistoryRead> read) {
        reading_->wait();
        reading_.reset();
        // A read of a job no longer shown is dropped.
        if (read && job_file == job_file_) showHistory(std::move(*read));
      });
}

void RunHistoryWindow::refresh() {
  showHistory(ReadHistory(database_.toStdString(), AbsoluteFileName(job_file_.toStdString())));
}

void RunHistoryWindow::showHistory(HistoryRead read) {
  going_on_ = std::move(read.going_on);
  const QString chosen =
      runs_table_->currentRow() >= 0 && runs_table_->currentRow() < static_cast<int>(runs_.size())
          ? QString::fromStdString(runs_[runs_table_->currentRow()].run_id)
          : QString();
  runs_ = std::move(read.runs);
  lines_ = std::move(read.lines);
  const QString problem = read.problem;
  const TimePoint now = std::chrono::system_clock::now();
  if (!problem.isEmpty()) {
    status_->setText(problem);
  } else if (runs_.empty()) {
    status_->setText(job_file_ + ": no runs recorded");
  } else {
    status_->setText(
        QString("%1: the last %2 run(s), newest first").arg(job_file_).arg(runs_.size()));
  }

  QSignalBlocker block(runs_table_);
  runs_table_->setRowCount(static_cast<int>(runs_.size()));
  int chosen_row = runs_.empty() ? -1 : 0;
  for (size_t i = 0; i < runs_.size(); ++i) {
    const RunSummary& run = runs_[i];
    const int row = static_cast<int>(i);
    QString failed;
    for (int32_t line : run.failed_lines)
      failed += (failed.isEmpty() ? "" : ",") + QString::number(line);
    Put(runs_table_, row, kRunStart, Item(TimeText(run.start)));
    const bool going_on = isGoingOn(i);
    Put(runs_table_, row, kRunDuration, Item(DurationText(run.start, going_on ? now : run.end)));
    QTableWidgetItem* outcome =
        Item(going_on ? LiveStateWord(LiveState::kRunning) : RunOutcomeWord(run.status));
    outcome->setData(kBadgeColorRole, OutcomeColor(run.status, going_on));
    if (going_on) outcome->setToolTip(QString("Process %1").arg(going_on_.at(run.run_id)));
    Put(runs_table_, row, kRunOutcome, outcome);
    Put(runs_table_, row, kRunFailedLines, Item(failed));
    QTableWidgetItem* id = Item(QString::fromStdString(run.run_id));
    if (!run.rerun_of.empty()) id->setToolTip("Rerun of " + QString::fromStdString(run.rerun_of));
    Put(runs_table_, row, kRunId, id);
    if (QString::fromStdString(run.run_id) == chosen) chosen_row = row;
  }
  if (chosen_row >= 0) runs_table_->setCurrentCell(chosen_row, 0);
  showRun(chosen_row);
  fillChart();
}

void RunHistoryWindow::setRunning(bool running) {
  running_ = running;
  updateRerunButton();
}

void RunHistoryWindow::updateRerunButton() {
  // A run that goes on has not left its failed lines yet; a refused run and a day off started none.
  const int row = runs_table_->currentRow();
  rerun_->setEnabled(!running_ && row >= 0 && row < static_cast<int>(runs_.size()) &&
                     !isGoingOn(static_cast<size_t>(row)) &&
                     !StartedNothing(runs_[static_cast<size_t>(row)].status));
}

void RunHistoryWindow::showRun(int row) {
  updateRerunButton();
  QSignalBlocker block(lines_table_);
  path_label_->clear();
  if (row < 0 || row >= static_cast<int>(runs_.size())) {
    timeline_->setRun({}, {});
    lines_table_->setRowCount(0);
    return;
  }
  const std::vector<RunLineRecord>& lines = lines_[static_cast<size_t>(row)];
  // A run going on shows its lines' states and their times up to now.
  std::optional<TimePoint> now;
  if (isGoingOn(static_cast<size_t>(row))) now = std::chrono::system_clock::now();
  timeline_->setRun(runs_[static_cast<size_t>(row)].start, lines, now);
  // A run going on has no path yet, and its lines are not measured before it ended.
  static const RunInsight kNone;
  const RunInsight& insight = now ? kNone : insightOf(static_cast<size_t>(row));
  std::set<int32_t> slow;
  if (insight.path && !insight.path->empty()) {
    path_label_->setText(QString("Critical path: %1 (%2)%3")
                             .arg(QString::fromStdString(CriticalPathText(*insight.path)))
                             .arg(QString::fromStdString(CriticalPathShareText(insight.share)))
                             .arg(insight.waits_known
                                      ? QString()
                                      : "; the job file is gone or changed since the run, so "
                                        "the path follows only the repeats and the most lines "
                                        "running at once, not the waits"));
  }
  lines_table_->setRowCount(static_cast<int>(lines.size()));
  const std::map<int32_t, int32_t> links = RepeatLinks(lines);
  int chosen_row = -1;
  for (size_t i = 0; i < lines.size(); ++i) {
    const RunLineRecord& line = lines[i];
    const int at = static_cast<int>(i);
    Put(lines_table_, at, kLineNumber, Item(QString::number(line.line)));
    Put(lines_table_, at, kLineDescription, Item(QString::fromStdString(line.description)));
    Put(lines_table_, at, kLineStart, Item(TimeText(line.start)));
    const std::optional<TimePoint> end = line.end || !now ? line.end : now;
    Put(lines_table_, at, kLineDuration,
        Item(line.start ? DurationText(*line.start, end) : QString("-")));
    QTableWidgetItem* outcome =
        Item(now ? LiveStateWord(LiveLineState(line)) : LineOutcomeWord(line.outcome));
    outcome->setForeground(now ? RunTimeline::stateColor(LiveLineState(line))
                               : RunTimeline::outcomeColor(line.outcome));
    Put(lines_table_, at, kLineOutcome, outcome);
    // The program's own exit status; the verdict is the outcome beside it.
    Put(lines_table_, at, kLineExitStatus,
        Item(line.exit_status ? QString::number(*line.exit_status) : "-"));
    Put(lines_table_, at, kLineRepeatOf,
        Item(line.repeat_of ? QString::number(*line.repeat_of) : "-"));
    const std::optional<std::chrono::milliseconds> usual =
        UsualDurationOf(line, links, insight.usual);
    QTableWidgetItem* usual_item =
        Item(usual ? DurationText(TimePoint{}, TimePoint{*usual}) : QString("-"));
    if (IsSlow(line, usual)) {
      slow.insert(line.line);
      usual_item->setText(usual_item->text() + " - slow");
      usual_item->setToolTip("Took more than twice its usual duration, and at least 30 s more");
      for (QTableWidgetItem* item : {usual_item, lines_table_->item(at, kLineDuration)}) {
        item->setForeground(RunTimeline::slowColor());
      }
    }
    Put(lines_table_, at, kLineUsual, usual_item);
    if (line.line == chosen_line_) chosen_row = at;
  }
  if (chosen_row >= 0) lines_table_->setCurrentCell(chosen_row, 0);
  timeline_->setMarks(insight.path.value_or(std::vector<int32_t>{}), slow);
}

const RunInsight& RunHistoryWindow::insightOf(size_t run) {
  const auto known = insights_.find(runs_[run].run_id);
  if (known != insights_.end()) return known->second;
  // A history that cannot be read now shows neither a path nor usual durations.
  Result<std::unique_ptr<RunHistory>> history = RunHistory::OpenForReading(database_.toStdString());
  Result<RunInsight> insight;
  if (history.ok() && history.value) {
    insight = ReadRunInsight(*history.value, runs_[run], lines_[run]);
  }
  return insights_[runs_[run].run_id] = std::move(insight.value);
}

void RunHistoryWindow::showLineTrend(int lines_row) {
  const int run_row = runs_table_->currentRow();
  if (run_row < 0 || run_row >= static_cast<int>(runs_.size())) return;
  const std::vector<RunLineRecord>& lines = lines_[static_cast<size_t>(run_row)];
  if (lines_row < 0 || lines_row >= static_cast<int>(lines.size())) return;
  chosen_line_ = lines[static_cast<size_t>(lines_row)].line;
  fillChart();
}

void RunHistoryWindow::fillChart() {
  // Oldest first, so that the lines run left to right; a unit that keeps the figures short.
  double longest = 0;
  for (const RunSummary& run : runs_) {
    if (run.end) longest = std::max(longest, SecondsBetween(run.start, *run.end));
  }
  const double unit = longest >= 2 * 3600 ? 3600 : longest >= 120 ? 60 : 1;
  const QString unit_name = unit == 3600 ? "hours" : unit == 60 ? "minutes" : "seconds";
  QList<QPointF> job_points, line_points;
  for (size_t i = runs_.size(); i-- > 0;) {
    const RunSummary& run = runs_[i];
    const double x = static_cast<double>(
        std::chrono::duration_cast<std::chrono::milliseconds>(run.start.time_since_epoch())
            .count());
    // A refused run and a day off ran nothing: no duration of the job's.
    if (run.end && !StartedNothing(run.status)) {
      job_points.append({x, SecondsBetween(run.start, *run.end) / unit});
    }
    for (const RunLineRecord& line : lines_[i]) {
      if (line.line == chosen_line_ && line.start && line.end) {
        line_points.append({x, SecondsBetween(*line.start, *line.end) / unit});
      }
    }
  }
  job_series_->replace(job_points);
  line_series_->replace(line_points);
  line_series_->setName(chosen_line_ > 0 ? QString("Line %1").arg(chosen_line_)
                                         : "Line (choose one)");

  auto* time_axis = static_cast<QDateTimeAxis*>(chart_->axes(Qt::Horizontal).front());
  auto* value_axis = static_cast<QValueAxis*>(chart_->axes(Qt::Vertical).front());
  value_axis->setTitleText(unit_name);
  double top = 0;
  for (const QPointF& point : job_points + line_points) top = std::max(top, point.y());
  value_axis->setRange(0, top > 0 ? top * 1.1 : 1);
  value_axis->applyNiceNumbers();
  if (!runs_.empty()) {
    const auto ms = [](TimePoint time) {
      return QDateTime::fromMSecsSinceEpoch(
          std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count());
    };
    QDateTime from = ms(runs_.back().start), to = ms(runs_.front().start);
    if (from == to) {
      from = from.addSecs(-1800);
      to = to.addSecs(1800);
    }
    const qint64 span = from.secsTo(to);
    time_axis->setFormat(span >= 2 * 86400 ? "MMM d" : span >= 3600 ? "d MMM hh:mm" : "hh:mm:ss");
    time_axis->setRange(from, to);
  }
}

}  // namespace jr
