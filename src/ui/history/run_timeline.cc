#include "ui/history/run_timeline.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

#include "insight/runs_in_progress.h"

namespace jr {
namespace {

constexpr int kRowHeight = 18;
constexpr int kLabelWidth = 190;
constexpr int kAxisHeight = 22;
constexpr int kMargin = 6;

// The axis's labels: seconds with a tenth on short runs, else minutes and hours.
QString AxisText(double seconds, double span) {
  if (span < 60) return QString::number(seconds, 'f', 1) + " s";
  const auto whole = static_cast<long long>(std::llround(seconds));
  if (whole >= 3600) {
    return QString("%1:%2 h").arg(whole / 3600).arg(whole / 60 % 60, 2, 10, QChar('0'));
  }
  return QString("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QChar('0'));
}

}  // namespace

RunTimeline::RunTimeline(QWidget* parent) : QWidget(parent) {
  setObjectName("RunTimeline");
  setMinimumHeight(80);
  setBackgroundRole(QPalette::Base);
  setAutoFillBackground(true);
}

QColor RunTimeline::outcomeColor(LineOutcome outcome) {
  switch (outcome) {
    case LineOutcome::kOk:
      return QColor(0x2e, 0x7d, 0x32);
    case LineOutcome::kFailed:
    case LineOutcome::kInterrupted:  // cut short with its run
      return QColor(0xc6, 0x28, 0x28);
    case LineOutcome::kSkipped:
      return QColor(0x9e, 0x9e, 0x9e);
    case LineOutcome::kOver:
      return QColor(0x81, 0xc7, 0x84);  // succeeded in an earlier run
    case LineOutcome::kNotRun:
    case LineOutcome::kUnknown:
      break;
  }
  return QColor(0x61, 0x61, 0x61);
}

QColor RunTimeline::stateColor(LiveState state) {
  switch (state) {
    case LiveState::kOk:
      return outcomeColor(LineOutcome::kOk);
    case LiveState::kFailed:
      return outcomeColor(LineOutcome::kFailed);
    case LiveState::kSkipped:
      return outcomeColor(LineOutcome::kSkipped);
    case LiveState::kRunning:
      return QColor(0x15, 0x65, 0xc0);
    case LiveState::kWaiting:
    case LiveState::kNotRun:
      break;
  }
  return outcomeColor(LineOutcome::kNotRun);
}

QColor RunTimeline::slowColor() { return QColor(0xef, 0x6c, 0x00); }

void RunTimeline::setRun(TimePoint start, const std::vector<RunLineRecord>& lines,
                         std::optional<TimePoint> now) {
  start_ = start;
  lines_ = lines;
  now_ = now;
  path_.clear();
  slow_.clear();
  updateGeometry();
  update();
}

void RunTimeline::setMarks(const std::vector<int32_t>& path, const std::set<int32_t>& slow) {
  path_ = std::set<int32_t>(path.begin(), path.end());
  slow_ = slow;
  update();
}

QSize RunTimeline::sizeHint() const {
  return {600, kAxisHeight + 2 * kMargin + kRowHeight * std::max<int>(3, lines_.size())};
}

QRectF RunTimeline::plotArea() const {
  // The right margin leaves room for the last tick's label.
  return QRectF(kLabelWidth, kMargin, std::max(10, width() - kLabelWidth - kMargin - 30),
                kRowHeight * static_cast<double>(lines_.size()));
}

double RunTimeline::axisSeconds() const {
  double span = now_ ? std::max(1.0, SecondsBetween(start_, *now_)) : 1.0;
  for (const RunLineRecord& line : lines_) {
    if (line.end) span = std::max(span, SecondsBetween(start_, *line.end));
    if (line.start) span = std::max(span, SecondsBetween(start_, *line.start));
  }
  return span;
}

std::vector<RunTimeline::Bar> RunTimeline::bars() const {
  std::vector<Bar> bars;
  const QRectF plot = plotArea();
  const double span = axisSeconds();
  for (size_t row = 0; row < lines_.size(); ++row) {
    const RunLineRecord& line = lines_[row];
    if (!line.start) continue;
    const double from = std::max(0.0, SecondsBetween(start_, *line.start));
    // A line that has not ended runs to the axis's end: the present moment while its run
    // goes on, the last thing recorded when the run was interrupted.
    const double to = line.end ? SecondsBetween(start_, *line.end) : span;
    const double left = plot.left() + plot.width() * from / span;
    // The shortest line still shows as a sliver.
    const double bar_width = std::max(3.0, plot.width() * (to - from) / span);
    Bar bar;
    bar.line = line.line;
    bar.rect = QRectF(left, plot.top() + kRowHeight * static_cast<double>(row) + 3, bar_width,
                      kRowHeight - 6);
    bar.color = line.end ? outcomeColor(line.outcome)
                         : stateColor(now_ ? LiveState::kRunning : LiveState::kNotRun);
    bar.repeat_copy = line.repeat_of.has_value();
    bar.on_path = path_.count(line.line) > 0;
    bar.slow = slow_.count(line.line) > 0;
    bars.push_back(bar);
  }
  return bars;
}

void RunTimeline::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  if (lines_.empty()) {
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.drawText(rect(), Qt::AlignCenter, "No run chosen");
    return;
  }
  const QRectF plot = plotArea();
  const double span = axisSeconds();
  // Grid and axis: about one tick per 100 pixels.
  painter.setPen(QColor(0xe0, 0xe0, 0xe0));
  const int ticks = std::max(1, static_cast<int>(plot.width() / 100));
  for (int i = 0; i <= ticks; ++i) {
    const double x = plot.left() + plot.width() * i / ticks;
    painter.setPen(QColor(0xe0, 0xe0, 0xe0));
    painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    painter.setPen(palette().color(QPalette::Text));
    painter.drawText(QRectF(x - 40, plot.bottom() + 2, 80, kAxisHeight - 4), Qt::AlignCenter,
                     AxisText(span * i / ticks, span));
  }
  const QFontMetrics metrics(font());
  for (size_t row = 0; row < lines_.size(); ++row) {
    const RunLineRecord& line = lines_[row];
    QString label = QString::number(line.line) + "  " + QString::fromStdString(line.description);
    if (line.repeat_of) label += QString(" (repeat of %1)").arg(*line.repeat_of);
    if (!line.start) {
      label += " - " +
               QString(now_ ? LiveStateWord(LiveLineState(line)) : LineOutcomeWord(line.outcome));
    }
    painter.setPen(palette().color(QPalette::Text));
    painter.drawText(QRectF(kMargin, plot.top() + kRowHeight * static_cast<double>(row),
                            kLabelWidth - 2 * kMargin, kRowHeight),
                     Qt::AlignVCenter | Qt::AlignLeft,
                     metrics.elidedText(label, Qt::ElideRight, kLabelWidth - 2 * kMargin));
  }
  for (const Bar& bar : bars()) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(bar.color);
    painter.drawRoundedRect(bar.rect, 2, 2);
    if (bar.repeat_copy) {
      painter.setBrush(QBrush(Qt::white, Qt::BDiagPattern));
      painter.drawRoundedRect(bar.rect, 2, 2);
    }
    if (bar.on_path) {
      painter.setPen(QPen(palette().color(QPalette::Text), 2));
      painter.setBrush(Qt::NoBrush);
      painter.drawRoundedRect(bar.rect.adjusted(-1, -1, 1, 1), 2, 2);
    }
    if (bar.slow) {
      // Behind the bar, or before it when the bar reaches the axis's end.
      const QString text = "slow";
      const double text_width = metrics.horizontalAdvance(text) + 4;
      const bool room = bar.rect.right() + text_width <= width();
      const QRectF place =
          room ? QRectF(bar.rect.right() + 4, bar.rect.top(), text_width, bar.rect.height())
               : QRectF(bar.rect.left() - text_width - 2, bar.rect.top(), text_width,
                        bar.rect.height());
      painter.setPen(slowColor());
      painter.drawText(place, Qt::AlignVCenter | (room ? Qt::AlignLeft : Qt::AlignRight), text);
    }
  }
}

}  // namespace jr
