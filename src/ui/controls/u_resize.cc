#include "ui/controls/u_resize.h"

#include <QEvent>
#include <QResizeEvent>
#include <QVariant>
#include <algorithm>
#include <cmath>

namespace jr {
namespace {

int Round(double value) { return static_cast<int>(std::lround(value)); }

double NonNegative(double value) { return value >= 0 ? value : 0; }

}  // namespace

uResize::uResize(QWidget* parent) : QObject(parent), mfrmParent(parent) {
  setObjectName("uResize1");
  parent->installEventFilter(this);
}

void uResize::RecordControlPositions() { Record(mfrmParent->height(), mfrmParent->width()); }

void uResize::SetParentSize(double height, double width) {
  if (!recorded_) Record(height, width);
  LayoutControls(height, width);
}

void uResize::Record(double height, double width) {
  load_height_ = height;
  load_width_ = width;
  records_.clear();
  const QList<QWidget*> controls = mfrmParent->findChildren<QWidget*>();
  records_.reserve(static_cast<size_t>(controls.size()));
  for (QWidget* control : controls) {
    ControlRecord record;
    record.widget = control;
    record.name = control->objectName();
    const QString tag = control->property("Tag").toString().toUpper();
    if (!tag.isEmpty()) {
      const QRect box = control->geometry();
      // Positions are in each widget's own container, margins against the window's size:
      // a widget and its container grow by the same amount, so the distances still hold.
      auto anchor_top = [&] {
        record.top_anchored = true;
        record.top_margin = box.y();
      };
      auto anchor_left = [&] {
        record.left_anchored = true;
        record.left_margin = box.x();
      };
      if (tag.contains('T')) anchor_top();
      if (tag.contains('L')) anchor_left();
      if (tag.contains('B')) {
        record.bottom_anchored = true;
        record.bottom_margin = load_height_ - (box.height() + box.y());
      } else {
        anchor_top();
      }
      if (tag.contains('R')) {
        record.right_anchored = true;
        record.right_margin = load_width_ - (box.width() + box.x());
      } else {
        anchor_left();
      }
      record.in_use = true;
    }
    records_.push_back(record);
  }
  recorded_ = true;
}

void uResize::LayoutControls(double height, double width) {
  for (const ControlRecord& record : records_) {
    QWidget* control = record.widget;
    if (!record.in_use || !control) continue;
    QRect box = control->geometry();
    if (record.right_anchored) {
      if (record.left_anchored) {
        box.setWidth(Round(NonNegative(width - record.left_margin - record.right_margin)));
      } else {
        box.moveLeft(Round(width - record.right_margin - box.width()));
      }
    }
    if (record.bottom_anchored) {
      if (record.top_anchored) {
        box.setHeight(Round(NonNegative(height - record.top_margin - record.bottom_margin)));
      } else {
        box.moveTop(Round(height - record.bottom_margin - box.height()));
      }
    }
    if (box != control->geometry()) control->setGeometry(box);
  }
}

bool uResize::eventFilter(QObject* watched, QEvent* event) {
  if (watched == mfrmParent && event->type() == QEvent::Resize) {
    const QSize size = static_cast<QResizeEvent*>(event)->size();
    if (!recorded_) {
      // Nothing recorded yet: the first size the window gets is its size at load.
      const QSize old = static_cast<QResizeEvent*>(event)->oldSize();
      if (old.isValid()) {
        Record(old.height(), old.width());
      } else {
        Record(size.height(), size.width());
      }
    }
    LayoutControls(size.height(), size.width());
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace jr
