#pragma once
// The timeline of one run: a row per job line in the order the lines started, its bar from
// its start to its end on the run's time axis; failed lines red, repeat copies hatched and
// named as such, as the administrators' report draws them. While the run goes on, the axis
// ends at the present moment and the bars of running lines reach it. The bars of a finished
// run's critical path are outlined, and a line slower than usual says so beside its bar.

#include <QColor>
#include <QRectF>
#include <QWidget>
#include <optional>
#include <set>
#include <vector>

#include "insight/runs_in_progress.h"
#include "store/run_history.h"

namespace jr {

class RunTimeline : public QWidget {
  Q_OBJECT

 public:
  struct Bar {
    int32_t line = 0;
    QRectF rect;
    QColor color;
    bool repeat_copy = false;
    bool on_path = false;
    bool slow = false;
  };

  explicit RunTimeline(QWidget* parent = nullptr);

  // The lines of the run that started at `start`; an empty list clears the picture. `now`
  // is given for a run that goes on.
  void setRun(TimePoint start, const std::vector<RunLineRecord>& lines,
              std::optional<TimePoint> now = std::nullopt);
  // The lines of the run's critical path and those slower than usual, by number; setRun
  // clears them.
  void setMarks(const std::vector<int32_t>& path, const std::set<int32_t>& slow);
  // The bars as drawn at the widget's present size (lines that never started have none).
  std::vector<Bar> bars() const;

  QSize sizeHint() const override;

  // The colour of a recorded outcome, and of a line's state while its run goes on.
  static QColor outcomeColor(LineOutcome outcome);
  static QColor stateColor(LiveState state);
  // What marks a line slower than usual.
  static QColor slowColor();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QRectF plotArea() const;
  double axisSeconds() const;  // seconds the axis covers

  TimePoint start_{};
  std::vector<RunLineRecord> lines_;
  std::optional<TimePoint> now_;
  std::set<int32_t> path_, slow_;
};

}  // namespace jr
