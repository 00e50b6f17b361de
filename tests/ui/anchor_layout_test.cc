// The anchor layout: what each combination of Tag letters does to a widget when its window
// grows, shrinks below its start size, and returns to it.

#include <QTest>

#include "ui/controls/u_resize.h"

class AnchorLayoutTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    window_ = new QWidget;
    window_->resize(400, 300);
    auto add = [](QWidget* parent, const char* name, const char* tag, QRect box) {
      auto* widget = new QWidget(parent);
      widget->setObjectName(name);
      if (tag) widget->setProperty("Tag", tag);
      widget->setGeometry(box);
      return widget;
    };
    add(window_, "widens", "RLT", {10, 10, 300, 20});
    add(window_, "keepsRight", "RT", {330, 10, 60, 20});
    add(window_, "downOnly", "B", {10, 260, 50, 30});
    add(window_, "downLeft", "LB", {70, 260, 50, 30});
    add(window_, "untagged", nullptr, {100, 100, 10, 10});
    add(window_, "noLetters", "xyz", {120, 100, 10, 10});
    QWidget* frame = add(window_, "frame", "rltb", {10, 40, 380, 200});
    add(frame, "inFrame", "RLTB", {5, 15, 370, 180});
    (new jr::uResize(window_))->RecordControlPositions();
    // A hidden widget is told of its resizes only when shown.
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_));
  }
  void cleanup() { delete window_; }

  void growingKeepsTheAnchoredDistances() {
    window_->resize(500, 360);
    QCOMPARE(box("widens"), QRect(10, 10, 400, 20));
    QCOMPARE(box("keepsRight"), QRect(430, 10, 60, 20));
    QCOMPARE(box("downOnly"), QRect(10, 320, 50, 30));
    QCOMPARE(box("downLeft"), QRect(70, 320, 50, 30));
    QCOMPARE(box("untagged"), QRect(100, 100, 10, 10));
    QCOMPARE(box("noLetters"), QRect(120, 100, 10, 10));
    QCOMPARE(box("frame"), QRect(10, 40, 480, 260));
    // Inside a container that grows as much, the distances inside it are kept.
    QCOMPARE(box("inFrame"), QRect(5, 15, 470, 240));
  }

  void shrinkingStopsStretchingAtZeroAndRestoringBringsEverythingBack() {
    const QList<QWidget*> widgets = window_->findChildren<QWidget*>();
    QList<QRect> before;
    for (QWidget* widget : widgets) before.append(widget->geometry());
    window_->resize(60, 50);
    QCOMPARE(box("widens").width(), 0);
    QCOMPARE(box("frame").size(), QSize(40, 0));
    QCOMPARE(box("keepsRight"), QRect(-10, 10, 60, 20));  // moved past the edge
    QCOMPARE(box("downOnly"), QRect(10, 10, 50, 30));
    window_->resize(700, 500);
    window_->resize(400, 300);
    for (int i = 0; i < widgets.size(); ++i) QCOMPARE(widgets[i]->geometry(), before[i]);
  }

 private:
  QRect box(const char* name) const { return window_->findChild<QWidget*>(name)->geometry(); }

  QWidget* window_ = nullptr;
};

QTEST_MAIN(AnchorLayoutTest)
#include "anchor_layout_test.moc"
