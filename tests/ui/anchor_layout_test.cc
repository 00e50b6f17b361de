// The anchor layout: what each combination of Tag letters does to a widget when its window
// grows, shrinks below its start size, and returns to it.

#include <QTest>

#include "ui/controls/u_resize.h"

using jr::uResize;

class AnchorLayoutTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    window_ = new QWidget;
    window_->resize(400, 300);
    auto add = [this](const char* name, const char* tag, QRect box, QWidget* parent = nullptr) {
      auto* widget = new QWidget(parent ? parent : window_);
      widget->setObjectName(name);
      if (tag) widget->setProperty("Tag", tag);
      widget->setGeometry(box);
      return widget;
    };
    add("widens", "RLT", {10, 10, 300, 20});
    add("keepsRight", "RT", {330, 10, 60, 20});
    add("downOnly", "B", {10, 260, 50, 30});
    add("downLeft", "LB", {70, 260, 50, 30});
    add("lowerCase", "rltb", {10, 40, 380, 200});
    add("untagged", nullptr, {100, 100, 10, 10});
    add("noLetters", "xyz", {120, 100, 10, 10});
    QWidget* frame = add("frame", "RLTB", {10, 40, 380, 200});
    add("inFrame", "RLTB", {5, 15, 370, 180}, frame);
    resize_ = new uResize(window_);
    resize_->RecordControlPositions();
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
    QCOMPARE(box("lowerCase"), QRect(10, 40, 480, 260));
    QCOMPARE(box("untagged"), QRect(100, 100, 10, 10));
    QCOMPARE(box("noLetters"), QRect(120, 100, 10, 10));
    // A widget inside a container grows with it, keeping its distances inside it.
    QCOMPARE(box("frame"), QRect(10, 40, 480, 260));
    QCOMPARE(box("inFrame"), QRect(5, 15, 470, 240));
  }

  void shrinkingStopsStretchedWidgetsAtZeroButMovesOthersPastTheEdge() {
    window_->resize(60, 50);
    QCOMPARE(box("widens").width(), 0);
    QCOMPARE(box("lowerCase").size(), QSize(40, 0));
    QCOMPARE(box("keepsRight"), QRect(-10, 10, 60, 20));
    QCOMPARE(box("downOnly"), QRect(10, 10, 50, 30));
    QCOMPARE(box("downLeft"), QRect(70, 10, 50, 30));
  }

  void returningToTheStartSizeRestoresEveryWidget() {
    const QList<QWidget*> widgets = window_->findChildren<QWidget*>();
    QList<QRect> before;
    for (QWidget* widget : widgets) before.append(widget->geometry());
    window_->resize(60, 50);
    window_->resize(700, 500);
    window_->resize(400, 300);
    for (int i = 0; i < widgets.size(); ++i) QCOMPARE(widgets[i]->geometry(), before[i]);
  }

  void setParentSizeLaysOutWithoutAResize() {
    QWidget window;
    window.resize(200, 100);
    auto* child = new QWidget(&window);
    child->setProperty("Tag", "RLT");
    child->setGeometry(10, 10, 180, 20);
    uResize layout(&window);
    layout.SetParentSize(100, 200);  // records first, at that size
    QVERIFY(layout.recorded());
    layout.SetParentSize(100, 300);
    QCOMPARE(child->geometry(), QRect(10, 10, 280, 20));
  }

  void widgetsAddedAfterRecordingAreNotFollowed() {
    auto* late = new QWidget(window_);
    late->setProperty("Tag", "RLT");
    late->setGeometry(0, 0, 50, 10);
    window_->resize(500, 300);
    QCOMPARE(late->geometry(), QRect(0, 0, 50, 10));
  }

 private:
  QRect box(const char* name) const { return window_->findChild<QWidget*>(name)->geometry(); }

  QWidget* window_ = nullptr;
  uResize* resize_ = nullptr;
};

QTEST_MAIN(AnchorLayoutTest)
#include "anchor_layout_test.moc"
