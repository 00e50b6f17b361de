// The grid: the table model checked by Qt's model tester through table changes, what the
// cells read as, and the window making a whole row current.

#include <QAbstractItemModelTester>
#include <QTableView>

#include "ui/main_window/job_line_table_model.h"
#include "window_fixture.h"

using jr::JobLineTable;
using jr::JobLineTableModel;

class GridModelTest : public jr::testing::WindowTest {
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

  void windowMakesAWholeRowCurrent() {
    Start();
    AddLines({10, 20, 30, 40});
    QCOMPARE(w_->CurrentJobLineRow(), 0);
    w_->ShowTableRow(2);
    w_->ShowTableRow(7);  // no such row: the current row stays
    QCOMPARE(w_->CurrentJobLineRow(), 2);
    const QModelIndexList selected = field<QTableView>("Grid")->selectionModel()->selectedIndexes();
    QCOMPARE(selected.size(), 8);
    for (const QModelIndex& index : selected) QCOMPARE(index.row(), 2);
    Stop();
  }
};

QTEST_MAIN(GridModelTest)
#include "grid_model_test.moc"
