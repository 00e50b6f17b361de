// The grid and its commands: the table model checked by Qt's model tester, and Insert, Job
// Line Details and Delete of the main window, with the job line dialog answered from inside
// its modal loop.

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "ui/job_line_dialog/batch_line_dialog.h"
#include "ui/main_window/job_line_table_model.h"
#include "window_fixture.h"

using namespace jr;
using testing::Find;
using DialogStep = std::function<void(BatchLineDialog&)>;

void SelectType(BatchLineDialog& d, const char* type) {
  auto* types = Find<QComboBox>(&d, "BatchLineCombo");
  types->setCurrentIndex(types->findText(type));
}
// Fills in a number (and the type, for a new line) and presses OK.
DialogStep Confirm(const QString& number) {
  return [=](BatchLineDialog& d) {
    Find(&d, "BatchLine")->setText(number);
    SelectType(d, "Flow Runner");
    Find<QPushButton>(&d, "OKButton")->click();
  };
}
DialogStep Cancel(const QString& number) {
  return [=](BatchLineDialog& d) {
    Find(&d, "BatchLine")->setText(number);
    Find<QPushButton>(&d, "CancelButton")->click();
  };
}

class JobLineCommandsTest : public testing::WindowTest {
  Q_OBJECT

 private slots:
  void init() {
    qputenv("JOBRUNNER_REGISTRY", "/nonexistent/registry.reg");
    Start();
    FillValidHeader();
    w_->show();
  }
  void cleanup() { Stop(); }

  void modelStaysConsistentThroughTableChanges() {
    JobLineTable table;
    JobLineTableModel model(&table);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    table.SetJobLineCount(3);
    for (int row = 0; row < 3; ++row) table.Set(0, row, std::to_string((3 - row) * 10));
    model.Reload();
    table.SortJobLineTable();
    QVERIFY(table.DeleteTableRow(1));
    // A row past the job-line count keeps its old cells but is not shown.
    table.SetJobLineCount(1);
    model.Reload();
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(table.Text(0, 1), std::string("30"));
    QVERIFY(!model.index(1, 0).isValid() && !model.index(0, 8).isValid());
    QVERIFY(!model.data(model.index(0, 1)).isValid());  // never written: no value
    // Only the two flag columns show "true"/"false" as Yes/No, and only in that spelling.
    const std::tuple<int, const char*, const char*> cells[] = {
        {5, "true", "Yes"},
        {5, "false", "No"},
        {6, "true", "Yes"},
        {6, "false", "No"},
        {6, "True", "True"},
        {1, "true", "true"},
        {3, "-password secret", "-password secret"}};
    for (const auto& [column, stored, shown] : cells) {
      table.Set(column, 0, stored);
      QCOMPARE(model.data(model.index(0, column)).toString(), QString(shown));
    }
    table.AllocateAfresh();
    model.Reload();
    QCOMPARE(model.rowCount(), 0);
  }

  void insertAndRenumberKeepTheTableSortedAndTheLineCurrent() {
    Insert({"30", "10"});
    QCOMPARE(State(), "10 30 @0");
    Insert({"100"});
    QCOMPARE(State(), "10 30 100 @2");
    QString proposed;
    QVERIFY(Run("AddBline", [&](BatchLineDialog& d) {
      proposed = Find(&d, "BatchLine")->text();
      Confirm("15")(d);
    }));
    QCOMPARE(proposed + " " + State(), "110 10 15 30 100 @1");
    // Cancelled, or refused until cancelled: the table stays as it was.
    QVERIFY(Run("AddBline", Cancel("20")));
    QVERIFY(Run("AddBline", Confirm("10")));
    QCOMPARE(MessageBox::lastText(), QString("This Job Line number already exists"));
    QCOMPARE(State(), "10 15 30 100 @1");
    QVERIFY(w_->HasUnsavedChanges());
    // Renumbering resorts and follows the line; cancelling after typing stays on it.
    w_->ShowTableRow(0);
    QVERIFY(Run("ChangeBline", Confirm("50")));
    QCOMPARE(State(), "15 30 50 100 @2");
    QVERIFY(Run("ChangeBline", Cancel("15")));
    QCOMPARE(State(), "15 30 50 100 @2");
    // A job in the order of its file stays so until a number changes.
    w_->table().Set(kColNumber, 2, "5");
    QVERIFY(Run("ChangeBline", [](BatchLineDialog& d) {
      Find(&d, "Description")->setText("renamed");
      Find<QPushButton>(&d, "OKButton")->click();
    }));
    QCOMPARE(State(), "15 30 5 100 @2");
  }

  void everyColumnGoesThereAndBack() {
    Insert({"10", "30"});
    QTemporaryFile script(path("XXXXXX.sh"));
    QVERIFY(script.open());
    QVERIFY(Run("AddBline", [&](BatchLineDialog& d) {
      Find(&d, "BatchLine")->setText("20");
      Find(&d, "Description")->setText("load");
      SelectType(d, "User Batchfile");
      // Options typed in are taken when the field is left.
      Find<QPlainTextEdit>(&d, "Options")->setFocus(Qt::TabFocusReason);
      Find<QPlainTextEdit>(&d, "Options")->setPlainText("-password pw -v");
      Find(&d, "WaitFor")->setFocus(Qt::TabFocusReason);
      QTest::qWait(10);
      Find(&d, "WaitFor")->setText("10");
      Find<QCheckBox>(&d, "StopOnError")->setChecked(true);
      Find<QCheckBox>(&d, "ChActive")->setChecked(false);
      Find(&d, "SkipOnError")->setText("30");
      Find(&d, "SkipOnSuccess")->setText("30 ");
      Find(&d, "RepeatOnError")->setText(" 10,");
      Find(&d, "RepeatOnSuccess")->setText("10");
      Find(&d, "Batchfile")->setText(script.fileName());
      Find(&d, "IntLogFile")->setText("l.txt");
      Find(&d, "IntErrFile")->setText("s.txt");
      Find<QPushButton>(&d, "OKButton")->click();
    }));
    QStringList row;
    for (int column = 0; column < JobLineTable::kColumnCount; ++column)
      row << QString::fromStdString(w_->table().Text(column, 1));
    QCOMPARE(row,
             (QStringList{"20", "load", "User Batchfile", "-password pw -v", "10", "true", "false",
                          script.fileName(), "l.txt", "s.txt", "30", "30 ", " 10,", "10"}));
    // Details shows the row again: masked options, and "True" is no active line.
    w_->table().Set(kColActive, 1, "True");
    w_->table().Set(kColActive, 0, "true");
    QStringList seen;
    for (int row_index : {1, 0}) {
      w_->ShowTableRow(row_index);
      QVERIFY(Run("ChangeBline", [&](BatchLineDialog& d) {
        QStringList cells{Find<QPlainTextEdit>(&d, "Options")->toPlainText()};
        for (const Cell& cell : d.jobLine()) cells << QString::fromStdString(cell.value_or("?"));
        seen << cells.join("|");
      }));
    }
    QCOMPARE(seen, (QStringList{"-password ****** -v|20|load|User Batchfile|-password pw -v|10|"
                                "true|false|" +
                                    script.fileName() + "|l.txt|s.txt|30|30 | 10,|10",
                                // A program type never keeps the files of the line before.
                                "|10||Flow Runner|||false|true|||||||"}));
  }

  void deleteKeepsTheRightRowCurrent_data() {
    QTest::addColumn<int>("selected");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("state");
    QTest::newRow("middle") << 1 << int(MessageBox::kOk) << "10 30 @1";
    QTest::newRow("bottom") << 2 << int(MessageBox::kOk) << "10 20 @1";
    QTest::newRow("top") << 0 << int(MessageBox::kOk) << "20 30 @0";
    QTest::newRow("cancelled") << 1 << int(MessageBox::kCancel) << "10 20 30 @1";
  }
  void deleteKeepsTheRightRowCurrent() {
    QFETCH(int, selected);
    QFETCH(int, answer);
    Insert({"10", "20", "30"});
    w_->ShowTableRow(selected);
    w_->ShowTableRow(7);  // no such row: the current row stays
    MessageBox::reset();
    MessageBox::setNextAnswer(answer);
    Trigger("DeleteBline");
    const MessageBox::Shown question = MessageBox::last();
    QCOMPARE(testing::Messages(), QString("Delete: Delete Job Line ?"));
    QVERIFY(question.buttons == MessageBox::kOkCancel && question.icon == MessageBox::kQuestion);
    QCOMPARE(question.default_answer, MessageBox::kCancel);
    QTEST(State(), "state");
    auto* grid = field<QTableView>("Grid");
    QCOMPARE(grid->model()->rowCount(), w_->table().Get_BatchLine_Count());
    // The whole current row is selected, and nothing else.
    const QModelIndexList selection = grid->selectionModel()->selectedIndexes();
    QCOMPARE(selection.size(), 8);
    for (const QModelIndex& index : selection) QCOMPARE(index.row(), w_->CurrentJobLineRow());
  }

  void headerCheckStopsInsertAndDetailsButNotDelete() {
    Insert({"10"});
    field("BatchDescription")->clear();
    MessageBox::reset();
    QVERIFY(!Run("AddBline", Confirm("20")));
    QVERIFY(!Run("ChangeBline", Confirm("20")));
    QCOMPARE(testing::Messages(),
             "Job Description: Please enter description|Job Description: Please enter description");
    MessageBox::setNextAnswer(MessageBox::kOk);
    Trigger("DeleteBline");
    QCOMPARE(State(), " @-1");
  }

  void doubleClickOpensDetails() {
    Insert({"10", "20"});
    auto* grid = field<QTableView>("Grid");
    const QPoint cell = grid->visualRect(grid->model()->index(1, 1)).center();
    QString number;
    QVERIFY(Run(
        [&] {
          QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell);
          QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell);
        },
        [&](BatchLineDialog& d) { number = Find(&d, "BatchLine")->text(); }));
    QCOMPARE(number, QString("20"));
  }

 private:
  // Runs `command` and acts on the job line dialog as soon as it is shown modally; a
  // refused OK is followed by Cancel, as a user would leave it. False when no dialog showed.
  bool Run(const std::function<void()>& command, const DialogStep& step) {
    bool shown = false;
    QTimer timer;
    connect(&timer, &QTimer::timeout, this, [&] {
      auto* d = qobject_cast<BatchLineDialog*>(QApplication::activeModalWidget());
      if (d == nullptr || !d->isVisible()) return;
      timer.stop();
      shown = true;
      step(*d);
      if (d->isVisible()) Find<QPushButton>(d, "CancelButton")->click();
    });
    timer.start(0);
    command();
    return shown;
  }
  bool Run(const char* action, const DialogStep& step) {
    return Run([&] { Trigger(action); }, step);
  }
  void Insert(std::initializer_list<const char*> numbers) {
    for (const char* number : numbers) QVERIFY(Run("AddBline", Confirm(number)));
  }
  // The job's numbers in table order and the current row: "10 20 @1".
  QString State() const {
    QStringList numbers;
    for (int row = 0; row < w_->table().Get_BatchLine_Count(); ++row)
      numbers << QString::fromStdString(w_->table().Text(kColNumber, row));
    return numbers.join(" ") + " @" + QString::number(w_->CurrentJobLineRow());
  }
};

QTEST_MAIN(JobLineCommandsTest)
#include "job_line_commands_test.moc"
