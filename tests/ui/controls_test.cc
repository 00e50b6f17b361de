// The window's own controls. The typed text box: what an edit leaves in the box, where the
// caret ends up, and when Change is raised. The anchor layout: what each combination of Tag
// letters does to a widget when its window grows, shrinks below its start size, and
// returns to it.

#include <QSignalSpy>
#include <QTest>

#include "ui/controls/u_resize.h"
#include "ui/controls/u_text_box.h"

using jr::uTextBox;

class ControlsTest : public QObject {
  Q_OBJECT

 private slots:
  void edits_data() {
    QTest::addColumn<QString>("start");  // set from code, 1..99 whole numbers
    QTest::addColumn<int>("caret");      // -1: whole text selected
    QTest::addColumn<QString>("typed");  // keys (\x7f: Delete); after "=": pasted
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("caretAfter");
    // clang-format off
    QTest::newRow("third digit undone, caret at end") << "99" << 2 << "1" << "99" << 2;
    QTest::newRow("all replaced by 5") << "99" << -1 << "5" << "5" << 1;
    QTest::newRow("below the minimum") << "99" << -1 << "0" << "99" << 2;
    QTest::newRow("leading zero, caret stays inside") << "5" << 0 << "0" << "5" << 1;
    QTest::newRow("leading blank") << "5" << 0 << " " << "5" << 1;
    QTest::newRow("plus sign") << "5" << 0 << "+" << "5" << 1;
    QTest::newRow("digit in front") << "5" << 0 << "1" << "15" << 1;
    QTest::newRow("two digits over a selection") << "99" << -1 << "42" << "42" << 2;
    QTest::newRow("backspace") << "99" << 2 << "\b" << "9" << 1;
    QTest::newRow("emptied") << "99" << -1 << "\x7f" << "99" << 2;
    QTest::newRow("pasted exponent") << "99" << -1 << "=1e1" << "99" << 2;
    QTest::newRow("code's text is the undo point") << "150" << 3 << "7" << "150" << 3;
    // clang-format on
  }
  void edits() {
    QFETCH(QString, start);
    QFETCH(int, caret);
    QFETCH(QString, typed);
    uTextBox box;
    box.setDataType(uTextBox::kWholeNumber);
    box.setMin(1);
    box.setMax(99);
    box.setText(start);
    QCOMPARE(box.Text(), start);
    caret < 0 ? box.inner()->selectAll() : box.inner()->setCursorPosition(caret);
    QSignalSpy changes(&box, &uTextBox::Change);
    const bool pasted = typed.startsWith('=');
    if (pasted) box.inner()->insert(typed.mid(1));
    for (QChar key : pasted ? QString() : typed)
      key == u'\x7f' ? QTest::keyClick(box.inner(), Qt::Key_Delete)
                     : QTest::keyClick(box.inner(), key.toLatin1());
    QTEST(box.Text(), "text");
    QTEST(box.SelStart(), "caretAfter");
    // One Change for each key, rejected or not.
    QCOMPARE(changes.count(), pasted ? 1 : typed.size());
  }

  void freeTextAndNumberForms() {
    uTextBox free;
    QSignalSpy changes(&free, &uTextBox::Change);
    QTest::keyClicks(free.inner(), "a 0+");
    QCOMPARE(free.Text(), QString("a 0+"));
    QCOMPARE(changes.count(), 4);
    QVERIFY(uTextBox::IsAcceptedNumber("-5", -10, 10));
    QVERIFY(uTextBox::IsAcceptedNumber("2147483647", 0, 2147483647));
    QVERIFY(!uTextBox::IsAcceptedNumber("2147483648", 0, 2147483647));
    for (const char* text : {"-0", "", "0x10", "5 ", "5.0", "007", "100"})
      QVERIFY2(!uTextBox::IsAcceptedNumber(text, -10, 99), text);
    QVERIFY(!uTextBox::IsAcceptedNumber(QString::fromUtf8("\xef\xbc\x95"), 0, 99));
  }

  void focusSelectsOnEntryAndRoundsOnExit() {
    QWidget holder;
    auto* box = new uTextBox(&holder);
    box->setDataType(uTextBox::kWholeNumber);
    auto* other = new QLineEdit(&holder);
    holder.show();
    QVERIFY(QTest::qWaitForWindowExposed(&holder));
    QSignalSpy changes(box, &uTextBox::Change);
    for (auto [before, after] : {std::pair{"12.6", "13"}, {"abc", "abc"}, {"-0.2", "0"}}) {
      box->setText(before);
      box->setFocus();
      QTRY_COMPARE(box->SelLength(), int(strlen(before)));
      QCOMPARE(box->SelStart(), 0);
      other->setFocus();
      QCOMPARE(box->Text(), QString(after));
    }
    QCOMPARE(changes.count(), 3);  // the program's own texts only, not the rounding
  }

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

QTEST_MAIN(ControlsTest)
#include "controls_test.moc"
