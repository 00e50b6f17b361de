// The typed text box: what an edit leaves in the box, where the caret ends up, and when
// Change is raised.

#include <QSignalSpy>
#include <QTest>

#include "ui/controls/u_text_box.h"

using jr::uTextBox;

class TextBoxTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    box_ = new uTextBox;
    box_->setDataType(uTextBox::kWholeNumber);
    box_->setMin(1);
    box_->setMax(99);
    box_->setText("99");
  }
  void cleanup() { delete box_; }

  void typedEdits_data() {
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("caret");  // -1: whole text selected
    QTest::addColumn<QString>("typed");
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
    // clang-format on
  }
  void typedEdits() {
    QFETCH(QString, start);
    QFETCH(int, caret);
    QFETCH(QString, typed);
    QFETCH(QString, text);
    QFETCH(int, caretAfter);
    box_->setText(start);
    caret < 0 ? box_->inner()->selectAll() : box_->inner()->setCursorPosition(caret);
    QTest::keyClicks(box_->inner(), typed);
    QCOMPARE(box_->Text(), text);
    QCOMPARE(box_->SelStart(), caretAfter);
  }

  void deletingAndPasting() {
    box_->inner()->selectAll();
    QTest::keyClick(box_->inner(), Qt::Key_Delete);
    QCOMPARE(box_->Text(), QString("99"));  // the empty text is never accepted
    box_->inner()->selectAll();
    box_->inner()->insert("1e1");
    QCOMPARE(box_->Text(), QString("99"));
  }

  void changeIsRaisedOncePerEditEvenWhenRejected() {
    QSignalSpy changes(box_, &uTextBox::Change);
    box_->inner()->setCursorPosition(2);
    QTest::keyClick(box_->inner(), Qt::Key_1);  // rejected: one event, not two
    QCOMPARE(changes.count(), 1);
    QTest::keyClick(box_->inner(), Qt::Key_Backspace);
    QCOMPARE(changes.count(), 2);
    QCOMPARE(box_->Text(), QString("9"));

    uTextBox free;
    QSignalSpy free_changes(&free, &uTextBox::Change);
    QTest::keyClicks(free.inner(), "a 0+");
    QCOMPARE(free.Text(), QString("a 0+"));
    QCOMPARE(free_changes.count(), 4);
  }

  void textFromCodeIsKeptAndBecomesTheUndoPoint() {
    box_->setText("150");
    QCOMPARE(box_->Text(), QString("150"));
    box_->inner()->setCursorPosition(3);
    QTest::keyClick(box_->inner(), Qt::Key_7);
    QCOMPARE(box_->Text(), QString("150"));
  }

  void focusSelectsOnEntryAndRoundsOnExit() {
    QWidget holder;
    auto* box = new uTextBox(&holder);
    box->setDataType(uTextBox::kWholeNumber);
    auto* other = new QLineEdit(&holder);
    holder.show();
    QVERIFY(QTest::qWaitForWindowExposed(&holder));
    QSignalSpy changes(box, &uTextBox::Change);
    const QStringList before = {"12.6", "abc", "-0.2"};
    const QStringList after = {"13", "abc", "0"};
    for (int i = 0; i < before.size(); ++i) {
      box->setText(before[i]);
      box->setFocus();
      QTRY_COMPARE(box->SelLength(), int(before[i].size()));
      QCOMPARE(box->SelStart(), 0);
      other->setFocus();
      QCOMPARE(box->Text(), after[i]);
    }
    QCOMPARE(changes.count(), 3);  // the program's own texts only, not the rounding
  }

  void acceptedNumberForms() {
    QVERIFY(uTextBox::IsAcceptedNumber("-5", -10, 10));
    QVERIFY(uTextBox::IsAcceptedNumber("2147483647", 0, 2147483647));
    QVERIFY(!uTextBox::IsAcceptedNumber("2147483648", 0, 2147483647));
    for (const char* text : {"-0", "", "0x10", "5 ", "5.0", "007", "100"})
      QVERIFY2(!uTextBox::IsAcceptedNumber(text, -10, 99), text);
    QVERIFY(!uTextBox::IsAcceptedNumber(QString::fromUtf8("\xef\xbc\x95"), 0, 99));
  }

 private:
  uTextBox* box_ = nullptr;
};

QTEST_MAIN(TextBoxTest)
#include "text_box_test.moc"
