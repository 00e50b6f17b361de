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
    QTest::addColumn<int>("caret");
    QTest::addColumn<bool>("selectAll");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("caretAfter");
    QTest::newRow("third digit undone, caret stays at end") << "99" << 2 << false << "1"
                                                            << "99" << 2;
    QTest::newRow("replacing all with 5") << "99" << 2 << true << "5"
                                          << "5" << 1;
    QTest::newRow("below the minimum") << "99" << 2 << true << "0"
                                       << "99" << 2;
    QTest::newRow("leading zero, caret kept inside") << "5" << 0 << false << "0"
                                                     << "5" << 1;
    QTest::newRow("leading blank") << "5" << 0 << false << " "
                                   << "5" << 1;
    QTest::newRow("plus sign") << "5" << 0 << false << "+"
                               << "5" << 1;
    QTest::newRow("minus sign") << "5" << 0 << false << "-"
                                << "5" << 1;
    QTest::newRow("letter") << "5" << 1 << false << "x"
                            << "5" << 1;
    QTest::newRow("second digit in plain form") << "5" << 1 << false << "7"
                                                << "57" << 2;
    QTest::newRow("digit in front") << "5" << 0 << false << "1"
                                    << "15" << 1;
    QTest::newRow("two digits over a selection") << "99" << 2 << true << "42"
                                                 << "42" << 2;
  }
  void typedEdits() {
    QFETCH(QString, start);
    QFETCH(int, caret);
    QFETCH(bool, selectAll);
    QFETCH(QString, typed);
    QFETCH(QString, text);
    QFETCH(int, caretAfter);
    box_->setText(start);
    box_->inner()->setCursorPosition(caret);
    if (selectAll) box_->inner()->selectAll();
    QTest::keyClicks(box_->inner(), typed);
    QCOMPARE(box_->Text(), text);
    QCOMPARE(box_->SelStart(), caretAfter);
  }

  void deletingEverythingBringsTheTextBack() {
    box_->inner()->selectAll();
    QTest::keyClick(box_->inner(), Qt::Key_Delete);
    QCOMPARE(box_->Text(), QString("99"));
    // One digit at a time: the first delete leaves an accepted "9", the last is undone.
    QTest::keyClick(box_->inner(), Qt::Key_End);
    QTest::keyClick(box_->inner(), Qt::Key_Backspace);
    QCOMPARE(box_->Text(), QString("9"));
    QTest::keyClick(box_->inner(), Qt::Key_Backspace);
    QCOMPARE(box_->Text(), QString("9"));
  }

  void pasteIsCheckedLikeTyping() {
    box_->inner()->selectAll();
    box_->inner()->insert("1e1");
    QCOMPARE(box_->Text(), QString("99"));
    box_->inner()->selectAll();
    box_->inner()->insert("10");
    QCOMPARE(box_->Text(), QString("10"));
  }

  void changeIsRaisedForEveryEditEvenARejectedOne() {
    QSignalSpy changes(box_, &uTextBox::Change);
    box_->inner()->setCursorPosition(2);
    QTest::keyClick(box_->inner(), Qt::Key_1);  // rejected
    QCOMPARE(changes.count(), 1);
    QTest::keyClick(box_->inner(), Qt::Key_Backspace);  // "9", accepted
    QCOMPARE(changes.count(), 2);
    // Rejecting must not have raised a second event for the text put back.
    QCOMPARE(box_->Text(), QString("9"));
  }

  void freeTextAcceptsEveryEdit() {
    uTextBox free;
    QCOMPARE(free.DataType(), 0);
    QSignalSpy changes(&free, &uTextBox::Change);
    QTest::keyClicks(free.inner(), "a 0+");
    QCOMPARE(free.Text(), QString("a 0+"));
    QCOMPARE(changes.count(), 4);
    QCOMPARE(free.inner()->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    QCOMPARE(box_->inner()->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
  }

  void textFromCodeIsKeptAndBecomesTheUndoPoint() {
    box_->setText("150");
    QCOMPARE(box_->Text(), QString("150"));
    // The next rejected edit goes back to what the program set, not to the old number.
    box_->inner()->setCursorPosition(3);
    QTest::keyClick(box_->inner(), Qt::Key_7);
    QCOMPARE(box_->Text(), QString("150"));
    box_->setText("");
    QCOMPARE(box_->Text(), QString());
  }

  void leavingTheBoxRoundsANumberAndLeavesOtherText() {
    QWidget holder;
    auto* box = new uTextBox(&holder);
    box->setDataType(uTextBox::kWholeNumber);
    box->setMin(1);
    box->setMax(99);
    auto* other = new QLineEdit(&holder);
    holder.show();
    QVERIFY(QTest::qWaitForWindowExposed(&holder));
    QSignalSpy changes(box, &uTextBox::Change);

    box->setText("12.6");
    box->setFocus();
    other->setFocus();
    QCOMPARE(box->Text(), QString("13"));
    QCOMPARE(changes.count(), 1);  // only for the program's own setText

    box->setText("abc");
    box->setFocus();
    other->setFocus();
    QCOMPARE(box->Text(), QString("abc"));

    // Rounding must not leave a negative zero behind.
    box->setText("-0.2");
    box->setFocus();
    other->setFocus();
    QCOMPARE(box->Text(), QString("0"));
  }

  void enteringTheBoxSelectsItsWholeText() {
    QWidget holder;
    auto* box = new uTextBox(&holder);
    auto* other = new QLineEdit(&holder);
    box->setText("hello");
    holder.show();
    QVERIFY(QTest::qWaitForWindowExposed(&holder));
    other->setFocus();
    box->setFocus();
    QTRY_COMPARE(box->SelLength(), 5);
    QCOMPARE(box->SelStart(), 0);
  }

  void acceptedNumberForms_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("plain") << "42" << 1 << 99 << true;
    QTest::newRow("at min") << "1" << 1 << 99 << true;
    QTest::newRow("at max") << "99" << 1 << 99 << true;
    QTest::newRow("above max") << "100" << 1 << 99 << false;
    QTest::newRow("negative in range") << "-5" << -10 << 10 << true;
    QTest::newRow("minus zero") << "-0" << -10 << 10 << false;
    QTest::newRow("zero") << "0" << -10 << 10 << true;
    QTest::newRow("empty") << "" << -10 << 10 << false;
    QTest::newRow("hex prefix") << "0x10" << 0 << 99 << false;
    QTest::newRow("trailing blank") << "5 " << 0 << 99 << false;
    QTest::newRow("fraction") << "5.0" << 0 << 99 << false;
    QTest::newRow("beyond 32 bits") << "2147483648" << 0 << 2147483647 << false;
    QTest::newRow("32-bit maximum") << "2147483647" << 0 << 2147483647 << true;
    QTest::newRow("full-width digit") << QString::fromUtf8("\xef\xbc\x95") << 0 << 99 << false;
  }
  void acceptedNumberForms() {
    QFETCH(QString, text);
    QFETCH(int, min);
    QFETCH(int, max);
    QFETCH(bool, accepted);
    QCOMPARE(uTextBox::IsAcceptedNumber(text, min, max), accepted);
  }

 private:
  uTextBox* box_ = nullptr;
};

QTEST_MAIN(TextBoxTest)
#include "text_box_test.moc"
