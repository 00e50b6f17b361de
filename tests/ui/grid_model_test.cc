// The grid: the table model checked by Qt's model tester through loads, growth and deletes,
// what the cells read as, and the window making a row current.

#include <QAbstractItemModelTester>
#include <QTableView>
#include <QTest>

#include "ui/main_window/job_line_table_model.h"
#include "window_fixture.h"

using jr::JobLineTable;
using jr::JobLineTableModel;

class GridModelTest : public QObject {
  Q_OBJECT

 private slots:
  void modelStaysConsistentThroughTableChanges() {
    JobLineTable table;
    JobLineTableModel model(&table);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.columnCount(), 8);

    table.SetJobLineCount(3);
    for (int row = 0; row < 3; ++row) table.Set(0, row, std::to_string((3 - row) * 10));
    model.Reload();
    QCOMPARE(model.rowCount(), 3);
    table.SortJobLineTable();
    model.Reload();
    QCOMPARE(model.data(model.index(0, 0)).toString(), QString("10"));
    QVERIFY(table.DeleteTableRow(1));
    model.Reload();
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.data(model.index(1, 0)).toString(), QString("30"));
    table.AllocateAfresh();
    model.Reload();
    QCOMPARE(model.rowCount(), 0);
  }

  void rowsBeyondTheJobLineCountAreNotShown() {
    JobLineTable table;
    table.SetJobLineCount(2);
    table.Set(0, 1, "20");
    table.SetJobLineCount(1);  // row 1 keeps its old cells, but holds no job line
    JobLineTableModel model(&table);
    QCOMPARE(model.rowCount(), 1);
    QVERIFY(!model.data(model.index(1, 0)).isValid());
  }

  void cellsReadAsTheGridShowsThem_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    QTest::newRow("stop on error true") << 5 << "true"
                                        << "Yes";
    QTest::newRow("stop on error false") << 5 << "false"
                                         << "No";
    QTest::newRow("active true") << 6 << "true"
                                 << "Yes";
    QTest::newRow("active false") << 6 << "false"
                                  << "No";
    QTest::newRow("active with capital T stays as stored") << 6 << "True"
                                                           << "True";
    QTest::newRow("true in another column stays") << 1 << "true"
                                                  << "true";
    QTest::newRow("options in clear") << 3 << "-user a -password secret"
                                      << "-user a -password secret";
    QTest::newRow("batch file name unchanged") << 7 << "/opt/a b.sh"
                                               << "/opt/a b.sh";
  }
  void cellsReadAsTheGridShowsThem() {
    QFETCH(int, column);
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    JobLineTable table;
    table.SetJobLineCount(1);
    table.Set(column, 0, stored.toStdString());
    JobLineTableModel model(&table);
    QCOMPARE(model.data(model.index(0, column)).toString(), shown);
  }

  void captionsAndHiddenColumns() {
    JobLineTable table;
    JobLineTableModel model(&table);
    const QStringList captions = {"Job Line",
                                  "Description",
                                  "Type",
                                  "Options",
                                  "Wait for Job line(s)",
                                  "Stop on Error",
                                  "Active",
                                  "User defined Batch file"};
    for (int column = 0; column < captions.size(); ++column)
      QCOMPARE(model.headerData(column, Qt::Horizontal).toString(), captions[column]);
    QVERIFY(!model.headerData(8, Qt::Horizontal).isValid());
    table.SetJobLineCount(1);
    table.Set(8, 0, "log");
    model.Reload();
    QVERIFY(!model.index(0, 8).isValid());
    // A cell never written reads as nothing, not as empty text.
    QVERIFY(!model.data(model.index(0, 1)).isValid());
  }

  void windowMakesAWholeRowCurrent() {
    jr::testing::WindowFixture fixture;
    fixture.AddLines({10, 20, 30, 40});
    auto* grid = fixture.field<QTableView>("Grid");
    QCOMPARE(grid->model()->rowCount(), 4);
    QCOMPARE(fixture.window->CurrentJobLineRow(), 0);
    fixture.window->ShowTableRow(2);
    QCOMPARE(fixture.window->CurrentJobLineRow(), 2);
    const QModelIndexList selected = grid->selectionModel()->selectedIndexes();
    QCOMPARE(selected.size(), 8);
    for (const QModelIndex& index : selected) QCOMPARE(index.row(), 2);
    fixture.window->ShowTableRow(7);  // no such row: the current row stays
    QCOMPARE(fixture.window->CurrentJobLineRow(), 2);
    QCOMPARE(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
  }
};

QTEST_MAIN(GridModelTest)
#include "grid_model_test.moc"
