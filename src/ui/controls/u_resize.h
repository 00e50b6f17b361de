#pragma once
// Keeps a window's widgets fitted when it is resized. Each widget names the edges it keeps
// its distance to in its "Tag" property: T top, B bottom, L left, R right (any case, any
// order, anywhere in the text). Without B a widget is top-anchored, without R
// left-anchored; a widget with both L and R widens, one with R only moves; likewise for T,
// B and the height. Widgets with an empty or missing Tag are left alone.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <vector>

namespace jr {

class uResize : public QObject {
  Q_OBJECT

 public:
  // Watches `parent`'s resizes. Records are taken by RecordControlPositions(), normally once
  // the window has its start size; a resize before that records first.
  explicit uResize(QWidget* parent);

  // Takes the parent's size and every tagged descendant's geometry (relative to its own
  // container) as the layout to keep. Widgets added later are not followed.
  void RecordControlPositions();
  // Records when not yet done, taking `height` and `width` as the size at load; then lays
  // the widgets out for that size.
  void SetParentSize(double height, double width);
  // Moves and stretches the recorded widgets for a parent of that size.
  void LayoutControls(double height, double width);

  bool recorded() const { return recorded_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct ControlRecord {
    QPointer<QWidget> widget;
    QString name;
    bool in_use = false;
    double left_margin = 0;
    double right_margin = 0;
    double top_margin = 0;
    double bottom_margin = 0;
    bool left_anchored = false;
    bool right_anchored = false;
    bool top_anchored = false;
    bool bottom_anchored = false;
  };

  void Record(double height, double width);

  QWidget* mfrmParent;
  std::vector<ControlRecord> records_;
  double load_height_ = 0;
  double load_width_ = 0;
  bool recorded_ = false;
};

}  // namespace jr
