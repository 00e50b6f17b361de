// The anchor layout: what each combination of Tag letters does to a widget when its window
// grows, shrinks below its start size, and returns to it.

#include <QTest>

#include "ui/controls/u_resize.h"

class AnchorLayoutTest : public QObject {
  Q_OBJECT

 private slots:
  void resizingKeepsTheAnchoredDistances() {
    struct Case {
      const char* name;
      const char* tag;
      QRect start, grown, shrunk;  // at 400x300, 500x360 and 60x50; an empty shrunk: unchecked
    } const cases[] = {
        // clang-format off
        {"widens", "RLT", {10, 10, 300, 20}, {10, 10, 400, 20}, {10, 10, 0, 20}},
        {"keepsRight", "RT", {330, 10, 60, 20}, {430, 10, 60, 20}, {-10, 10, 60, 20}},  // past the edge
        {"downOnly", "B", {10, 260, 50, 30}, {10, 320, 50, 30}, {10, 10, 50, 30}},
        {"downLeft", "LB", {70, 260, 50, 30}, {70, 320, 50, 30}, {}},
        {"untagged", nullptr, {100, 100, 10, 10}, {100, 100, 10, 10}, {}},
        {"noLetters", "xyz", {120, 100, 10, 10}, {120, 100, 10, 10}, {}},
        {"frame", "rltb", {10, 40, 380, 200}, {10, 40, 480, 260}, {10, 40, 40, 0}},
        // Inside a container that grows as much, the distances inside it are kept.
        {"inFrame", "RLTB", {5, 15, 370, 180}, {5, 15, 470, 240}, {}},
        // clang-format on
    };
    QWidget window;
    window.resize(400, 300);
    std::vector<QWidget*> widgets;
    for (const Case& c : cases) {
      widgets.push_back(new QWidget(QByteArray(c.name) == "inFrame" ? widgets.back() : &window));
      if (c.tag) widgets.back()->setProperty("Tag", c.tag);
      widgets.back()->setGeometry(c.start);
    }
    (new jr::uResize(&window))->RecordControlPositions();
    window.show();  // a hidden widget is told of its resizes only when shown
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const std::pair<QSize, QRect Case::*> steps[] = {
        {{500, 360}, &Case::grown},
        {{60, 50}, &Case::shrunk},
        {{700, 500}, nullptr},
        {{400, 300}, &Case::start}};  // back to the start size: every widget back in place
    for (auto [size, expected] : steps) {
      window.resize(size);
      for (size_t i = 0; expected && i < widgets.size(); ++i)
        if (!(cases[i].*expected).isNull()) QCOMPARE(widgets[i]->geometry(), cases[i].*expected);
    }
  }
};

QTEST_MAIN(AnchorLayoutTest)
#include "anchor_layout_test.moc"
