// Insert, Job Line Details and Delete of the main window, with the job line dialog answered
// from inside its modal loop.

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTableView>
#include <QtTest>
#include <functional>

#include "model/job_line_table.h"
#include "ui/controls/message_box.h"
#include "ui/job_line_dialog/batch_line_dialog.h"
#include "ui/main_window/batch_definition_frm.h"
#include "window_fixture.h"

using namespace jr;

using DialogStep = std::function<void(BatchLineDialog&)>;

// Fills in a number and a type and presses OK.
DialogStep Confirm(const QString& number) {
  return [=](BatchLineDialog& d) {
    d.BatchLine()->setText(number);
    d.SelectType("Flow Runner");
    d.OKButton_Click();
  };
}

class JobLineCommandsTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup() { fixture_.reset(); }
  void insertKeepsTableSortedAndNewLineCurrent();
  void everyColumnGoesThereAndBack();
  void renumberingResortsAndFollowsTheLine();
  void deleteKeepsRightRowCurrent_data();
  void deleteKeepsRightRowCurrent();
  void headerCheckStopsInsertAndDetails();
  void doubleClickOpensDetails();

 private:
  // Acts on the job line dialog as soon as it is shown modally; a refused OK is followed
  // by Cancel, as a user would leave it.
  void AnswerDialog(QTimer& timer, bool& shown, const DialogStep& step) {
    connect(&timer, &QTimer::timeout, this, [&timer, &shown, step] {
      auto* d = qobject_cast<BatchLineDialog*>(QApplication::activeModalWidget());
      if (d == nullptr || !d->isVisible()) return;
      timer.stop();
      shown = true;
      step(*d);
      if (d->isVisible()) d->CancelButton_Click();
    });
    timer.start(0);
  }
  // Runs `command`; false when it showed no dialog.
  bool Run(void (BatchDefinitionFrm::*command)(), const DialogStep& step) {
    bool shown = false;
    QTimer timer;
    AnswerDialog(timer, shown, step);
    (window_->*command)();
    return shown;
  }
  void Insert(std::initializer_list<const char*> numbers) {
    for (const char* number : numbers)
      QVERIFY(Run(&BatchDefinitionFrm::AddBline_Click, Confirm(number)));
  }
  QStringList Numbers() const {
    QStringList numbers;
    for (int row = 0; row < window_->table().Get_BatchLine_Count(); ++row) {
      numbers << QString::fromStdString(window_->table().Text(kColNumber, row));
    }
    return numbers;
  }
  int Current() const { return window_->CurrentJobLineRow(); }

  std::unique_ptr<testing::WindowFixture> fixture_;
  BatchDefinitionFrm* window_ = nullptr;
};

void JobLineCommandsTest::init() {
  qputenv("JOBRUNNER_REGISTRY", "/nonexistent/registry.reg");
  fixture_ = std::make_unique<testing::WindowFixture>();
  fixture_->FillValidHeader();
  window_ = fixture_->window.get();
  window_->show();
}

void JobLineCommandsTest::insertKeepsTableSortedAndNewLineCurrent() {
  Insert({"30", "10"});
  QCOMPARE(Current(), 0);
  Insert({"100"});
  QCOMPARE(Current(), 2);
  QString proposed;
  QVERIFY(Run(&BatchDefinitionFrm::AddBline_Click, [&](BatchLineDialog& d) {
    proposed = d.BatchLine_Value();
    Confirm("15")(d);
  }));
  QCOMPARE(proposed, QString("110"));
  QCOMPARE(Numbers(), (QStringList{"10", "15", "30", "100"}));
  QCOMPARE(Current(), 1);
  // Cancelled, or refused until cancelled: the table stays as it was.
  QVERIFY(Run(&BatchDefinitionFrm::AddBline_Click, [](BatchLineDialog& d) {
    d.BatchLine()->setText("20");
    d.CancelButton_Click();
  }));
  QVERIFY(Run(&BatchDefinitionFrm::AddBline_Click, Confirm("10")));
  QCOMPARE(MessageBox::lastText(), QString("This Job Line number already exists"));
  QCOMPARE(Numbers(), (QStringList{"10", "15", "30", "100"}));
  QVERIFY(window_->HasUnsavedChanges());
}

void JobLineCommandsTest::everyColumnGoesThereAndBack() {
  Insert({"10"});
  QTemporaryFile script(fixture_->path("XXXXXX.sh"));
  QVERIFY(script.open());
  QVERIFY(Run(&BatchDefinitionFrm::AddBline_Click, [&](BatchLineDialog& d) {
    d.Description()->setText("load");
    d.SelectType("User Batchfile");
    d.setoptions_value("-password pw -v");
    d.WaitFor()->setText("10");
    d.StopOnError()->setChecked(true);
    d.ChActive()->setChecked(false);
    d.RepeatOnError()->setText(" 10,");
    d.Batchfile()->setText(script.fileName());
    d.IntLogFile()->setText("l.txt");
    d.IntErrFile()->setText("s.txt");
    d.OKButton_Click();
  }));
  QStringList row;
  for (int column = 0; column < JobLineTable::kColumnCount; ++column) {
    row << QString::fromStdString(window_->table().Text(column, 1));
  }
  QCOMPARE(row, (QStringList{"20", "load", "User Batchfile", "-password pw -v", "10", "true",
                             "false", script.fileName(), "l.txt", "s.txt", "", "", " 10,", ""}));
  // Details shows the row again: masked options, and "True" is no active line.
  window_->table().Set(kColActive, 1, "True");
  window_->table().Set(kColActive, 0, "true");
  QStringList seen;
  const DialogStep look = [&](BatchLineDialog& d) {
    seen << QStringList{d.BatchLine_Value(),        d.BatchLineType_Value(),
                        d.Options()->toPlainText(), d.options_value(),
                        d.Active_Value(),           d.Batchfile_Value(),
                        d.RepeatOnError()->text()}
                .join("|");
  };
  for (int row_index : {1, 0}) {
    window_->ShowTableRow(row_index);
    QVERIFY(Run(&BatchDefinitionFrm::ChangeBline_Click, look));
  }
  QCOMPARE(seen, (QStringList{"20|User Batchfile|-password ****** -v|-password pw -v|false|" +
                                  script.fileName() + "| 10,",
                              // A program type never keeps the files of the line before.
                              "10|Flow Runner|||true||"}));
}

void JobLineCommandsTest::renumberingResortsAndFollowsTheLine() {
  Insert({"10", "20"});
  window_->ShowTableRow(0);
  QVERIFY(Run(&BatchDefinitionFrm::ChangeBline_Click, Confirm("30")));
  QCOMPARE(Numbers(), (QStringList{"20", "30"}));
  QCOMPARE(Current(), 1);
  // Cancelling after typing another number stays on the chosen line.
  QVERIFY(Run(&BatchDefinitionFrm::ChangeBline_Click, [](BatchLineDialog& d) {
    d.BatchLine()->setText("20");
    d.CancelButton_Click();
  }));
  QCOMPARE(Current(), 1);
  // A job in the order of its file stays so until a number changes.
  window_->table().Set(kColNumber, 1, "5");
  window_->ShowTableRow(1);
  QVERIFY(Run(&BatchDefinitionFrm::ChangeBline_Click, [](BatchLineDialog& d) {
    d.Description()->setText("renamed");
    d.OKButton_Click();
  }));
  QCOMPARE(Numbers(), (QStringList{"20", "5"}));
  QCOMPARE(Current(), 1);
}

void JobLineCommandsTest::deleteKeepsRightRowCurrent_data() {
  QTest::addColumn<int>("selected");
  QTest::addColumn<int>("answer");
  QTest::addColumn<QStringList>("left");
  QTest::addColumn<int>("current");
  const int ok = MessageBox::kOk;
  QTest::newRow("middle") << 1 << ok << QStringList{"10", "30"} << 1;
  QTest::newRow("bottom") << 2 << ok << QStringList{"10", "20"} << 1;
  QTest::newRow("top") << 0 << ok << QStringList{"20", "30"} << 0;
  QTest::newRow("cancelled") << 1 << int(MessageBox::kCancel) << QStringList{"10", "20", "30"} << 1;
}

void JobLineCommandsTest::deleteKeepsRightRowCurrent() {
  QFETCH(int, selected);
  QFETCH(int, answer);
  QFETCH(QStringList, left);
  QFETCH(int, current);
  Insert({"10", "20", "30"});
  window_->ShowTableRow(selected);
  MessageBox::reset();
  MessageBox::setNextAnswer(answer);
  window_->DeleteBline_Click();
  const MessageBox::Shown question = MessageBox::last();
  QCOMPARE(MessageBox::history().size(), 1);
  QCOMPARE(question.text + "|" + question.title, QString("Delete Job Line ?|Delete"));
  QCOMPARE(question.buttons, MessageBox::kOkCancel);
  QCOMPARE(question.default_answer, MessageBox::kCancel);
  QCOMPARE(question.icon, MessageBox::kQuestion);
  QCOMPARE(Numbers(), left);
  QCOMPARE(Current(), current);
  QCOMPARE(window_->findChild<QTableView*>("Grid")->model()->rowCount(), left.size());
}

void JobLineCommandsTest::headerCheckStopsInsertAndDetails() {
  Insert({"10"});
  window_->findChild<QLineEdit*>("BatchDescription")->clear();
  MessageBox::reset();
  QVERIFY(!Run(&BatchDefinitionFrm::AddBline_Click, Confirm("20")));
  QVERIFY(!Run(&BatchDefinitionFrm::ChangeBline_Click, Confirm("20")));
  QCOMPARE(MessageBox::history().size(), 2);
  QCOMPARE(MessageBox::lastText(), QString("Please enter description"));
  // Delete needs no header; deleting the last line leaves an empty grid.
  window_->ShowTableRow(0);
  MessageBox::setNextAnswer(MessageBox::kOk);
  window_->DeleteBline_Click();
  QCOMPARE(Numbers(), QStringList{});
  QCOMPARE(Current(), -1);
}

void JobLineCommandsTest::doubleClickOpensDetails() {
  Insert({"10", "20"});
  auto* grid = window_->findChild<QTableView*>("Grid");
  const QPoint cell = grid->visualRect(grid->model()->index(1, 1)).center();
  QString number;
  bool shown = false;
  QTimer timer;
  AnswerDialog(timer, shown, [&](BatchLineDialog& d) { number = d.BatchLine_Value(); });
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell);
  QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell);
  QTRY_VERIFY(shown);
  QCOMPARE(number, QString("20"));
}

QTEST_MAIN(JobLineCommandsTest)
#include "job_line_commands_test.moc"
