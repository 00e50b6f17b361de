// The typed text box: what an edit leaves in the box, where the caret ends up, and when
// Change is raised.

#include <QSignalSpy>
#include <QTest>

#include "ui/controls/u_text_box.h"

using jr::uTextBox;

class TextBoxTest : public QObject {
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
};

QTEST_MAIN(TextBoxTest)
#include "text_box_test.moc"
