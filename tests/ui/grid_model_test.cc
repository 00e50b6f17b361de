// The grid: the table model checked by Qt's model tester through table changes, what the
// cells read as, and the window making a row current.

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
    table.SetJobLineCount(3);
    for (int row = 0; row < 3; ++row) table.Set(0, row, std::to_string((3 - row) * 10));
    model.Reload();
    table.SortJobLineTable();
    QVERIFY(table.DeleteTableRow(1));
    model.Reload();
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.data(model.index(1, 0)).toString(), QString("30"));
    // A row past the job-line count keeps its old cells but is not shown.
    table.SetJobLineCount(1);
    model.Reload();
    QCOMPARE(table.Text(0, 1), std::string("30"));
    QVERIFY(!model.index(1, 0).isValid());
    QVERIFY(!model.index(0, 8).isValid());
    table.AllocateAfresh();
    model.Reload();
    QCOMPARE(model.rowCount(), 0);
  }

  void cellsReadAsTheGridShowsThem() {
    const struct {
      int column;
      const char* stored;
      const char* shown;
    } cases[] = {{5, "true", "Yes"},
                 {5, "false", "No"},
                 {6, "true", "Yes"},
                 {6, "false", "No"},
                 {6, "True", "True"},
                 {1, "true", "true"},
                 {3, "-password secret", "-password secret"}};
    JobLineTable table;
    table.SetJobLineCount(1);
    JobLineTableModel model(&table);
    QVERIFY(!model.data(model.index(0, 1)).isValid());  // never written: no value
    for (const auto& c : cases) {
      table.Set(c.column, 0, c.stored);
      QCOMPARE(model.data(model.index(0, c.column)).toString(), QString(c.shown));
    }
  }

  void windowMakesAWholeRowCurrent() {
    jr::testing::WindowFixture fixture;
    fixture.AddLines({10, 20, 30, 40});
    auto* grid = fixture.field<QTableView>("Grid");
    QCOMPARE(fixture.window->CurrentJobLineRow(), 0);
    fixture.window->ShowTableRow(2);
    QCOMPARE(fixture.window->CurrentJobLineRow(), 2);
    const QModelIndexList selected = grid->selectionModel()->selectedIndexes();
    QCOMPARE(selected.size(), 8);
    for (const QModelIndex& index : selected) QCOMPARE(index.row(), 2);
    fixture.window->ShowTableRow(7);  // no such row: the current row stays
    QCOMPARE(fixture.window->CurrentJobLineRow(), 2);
  }
};

QTEST_MAIN(GridModelTest)
#include "grid_model_test.moc"
