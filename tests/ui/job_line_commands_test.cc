// Insert, Job Line Details and Delete of the main window, with the job line dialog answered
// from inside its modal loop.

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>

#include "model/job_line_table.h"
#include "platform/process_launcher.h"
#include "platform/registry.h"
#include "ui/controls/message_box.h"
#include "ui/job_line_dialog/batch_line_dialog.h"
#include "ui/main_window/batch_definition_frm.h"

using namespace jr;

namespace {

class EmptyRegistry final : public RegistryReader {
 public:
  std::optional<RegistryValue> Query(std::string_view, std::string_view) override {
    return std::nullopt;
  }
};

class NoLauncher final : public ProcessLauncher {
 public:
  ProcessHandle Start(std::string_view, std::string_view) override { return 0; }
  bool IsRunning(ProcessHandle& handle) override { return handle = 0, false; }
  void Forget(ProcessHandle) override {}
  void WaitForExit(std::chrono::milliseconds) override {}
  void TerminateAll(std::chrono::milliseconds) override {}
};

using DialogStep = std::function<void(BatchLineDialog&)>;

// Fills a new or changed line: number, type and OK.
DialogStep Confirm(const QString& number, const QString& type = "Flow Runner") {
  return [=](BatchLineDialog& d) {
    d.BatchLine()->setText(number);
    d.SelectType(type);
    d.OKButton_Click();
  };
}

}  // namespace

class JobLineCommandsTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void insertKeepsTableSortedAndNewLineCurrent();
  void insertWritesEveryColumn();
  void cancelledOrRefusedInsertLeavesTable();
  void detailsPresetsDialogFromRow();
  void renumberingResortsAndFollowsTheLine();
  void detailsWithoutNumberChangeDoesNotSort();
  void deleteKeepsRightRowCurrent_data();
  void deleteKeepsRightRowCurrent();
  void headerCheckStopsInsertAndDetails();
  void doubleClickOpensDetails();

 private:
  // Runs `command` of the window; `step` acts on the job line dialog once it is shown
  // modally. Returns false when no dialog was shown.
  bool Run(void (BatchDefinitionFrm::*command)(), const DialogStep& step = {});
  // Acts on the job line dialog as soon as it is shown modally.
  void AnswerDialog(QTimer& timer, bool& shown, const DialogStep& step);
  QStringList Numbers() const;
  int Current() const { return window_->CurrentJobLineRow(); }

  EmptyRegistry registry_;
  NoLauncher launcher_;
  std::unique_ptr<BatchDefinitionFrm> window_;
  QTemporaryDir dir_;
};

void JobLineCommandsTest::init() {
  MessageBox::enableTesting();
  MessageBox::reset();
  window_ = std::make_unique<BatchDefinitionFrm>();
  window_->setJobLineDialogServices(registry_, launcher_);
  window_->findChild<QLineEdit*>("BatchDescription")->setText("Nightly");
  window_->findChild<QLineEdit*>("LogFile")->setText(dir_.filePath("admin.htm"));
  window_->findChild<QLineEdit*>("UserFile")->setText(dir_.filePath("user.htm"));
  window_->findChild<QLineEdit*>("LogFileDir")->setText(dir_.path());
  window_->show();
}

void JobLineCommandsTest::cleanup() { window_.reset(); }

void JobLineCommandsTest::AnswerDialog(QTimer& timer, bool& shown, const DialogStep& step) {
  timer.setInterval(0);
  connect(&timer, &QTimer::timeout, this, [&timer, &shown, step] {
    auto* d = qobject_cast<BatchLineDialog*>(QApplication::activeModalWidget());
    if (d == nullptr || !d->isVisible()) return;
    timer.stop();
    shown = true;
    if (step) step(*d);
    // A refused OK keeps the dialog open; leave it the way a user would.
    if (d->isVisible()) d->CancelButton_Click();
  });
  timer.start();
}

bool JobLineCommandsTest::Run(void (BatchDefinitionFrm::*command)(), const DialogStep& step) {
  bool shown = false;
  QTimer timer;
  AnswerDialog(timer, shown, step);
  (window_.get()->*command)();
  return shown;
}

QStringList JobLineCommandsTest::Numbers() const {
  QStringList numbers;
  const JobLineTable& table = window_->table();
  for (int row = 0; row < table.Get_BatchLine_Count(); ++row) {
    numbers << QString::fromStdString(table.Text(kColNumber, row));
  }
  return numbers;
}

void JobLineCommandsTest::insertKeepsTableSortedAndNewLineCurrent() {
  QVERIFY(Run(&BatchDefinitionFrm::AddBline_Click, Confirm("30")));
  QVERIFY(Run(&BatchDefinitionFrm::AddBline_Click, Confirm("10")));
  QCOMPARE(Current(), 0);
  QVERIFY(Run(&BatchDefinitionFrm::AddBline_Click, Confirm("100")));
  QCOMPARE(Current(), 2);
  // The dialog proposes the highest number plus 10; 15 goes between 10 and 30.
  QString proposed;
  QVERIFY(Run(&BatchDefinitionFrm::AddBline_Click, [&](BatchLineDialog& d) {
    proposed = d.BatchLine_Value();
    Confirm("15")(d);
  }));
  QCOMPARE(proposed, QString("110"));
  QCOMPARE(Numbers(), (QStringList{"10", "15", "30", "100"}));
  QCOMPARE(Current(), 1);
  QVERIFY(window_->table().RowCapacity() >= 4);
  QVERIFY(window_->HasUnsavedChanges());
}

void JobLineCommandsTest::insertWritesEveryColumn() {
  QVERIFY(Run(&BatchDefinitionFrm::AddBline_Click, Confirm("10")));
  QTemporaryFile script(dir_.filePath("XXXXXX.sh"));
  QVERIFY(script.open());
  QVERIFY(Run(&BatchDefinitionFrm::AddBline_Click, [&](BatchLineDialog& d) {
    d.BatchLine()->setText("20");
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
  const JobLineTable& table = window_->table();
  QStringList row;
  for (int column = 0; column < JobLineTable::kColumnCount; ++column) {
    row << QString::fromStdString(table.Text(column, 1));
  }
  QCOMPARE(row, (QStringList{"20", "load", "User Batchfile", "-password pw -v", "10", "true",
                             "false", script.fileName(), "l.txt", "s.txt", "", "", " 10,", ""}));
}

void JobLineCommandsTest::cancelledOrRefusedInsertLeavesTable() {
  QVERIFY(Run(&BatchDefinitionFrm::AddBline_Click, Confirm("10")));
  QVERIFY(Run(&BatchDefinitionFrm::AddBline_Click, [](BatchLineDialog& d) {
    d.BatchLine()->setText("20");
    d.CancelButton_Click();
  }));
  // The number of an existing line is refused; the dialog stays until cancelled.
  QVERIFY(Run(&BatchDefinitionFrm::AddBline_Click, Confirm("10")));
  QCOMPARE(MessageBox::lastText(), QString("This Job Line number already exists"));
  QCOMPARE(Numbers(), QStringList{"10"});
  QCOMPARE(window_->table().Get_BatchLine_Count(), 1);
}

void JobLineCommandsTest::detailsPresetsDialogFromRow() {
  JobLineTable& table = window_->table();
  table.SetJobLineCount(2);
  const char* cells[2][14] = {
      {"10", "first", "User Batchfile", "-password pw -x", "", "true", "True", "b.sh", "l.txt",
       "s.txt", "20", "", "", "10"},
      {"20", "second", "Flow Runner", "-y", "10", "false", "true", "", "", "", "", "", "", ""}};
  for (int row = 0; row < 2; ++row) {
    for (int column = 0; column < 14; ++column) table.Set(column, row, cells[row][column]);
  }
  window_->RefreshGrid();
  QStringList seen;
  auto look = [&](BatchLineDialog& d) {
    seen << d.BatchLine_Value() + "|" + d.BatchDescription_Value() + "|" + d.BatchLineType_Value() +
                "|" + d.Options()->toPlainText() + "|" + d.options_value() + "|" + d.Wait_Value() +
                "|" + d.StopOnError_Value() + "|" + d.Active_Value() + "|" + d.Batchfile_Value() +
                "|" + d.IntErrFile_Value() + "|" + d.SkipOnError()->text() + "|" +
                d.RepeatOnSuccess()->text();
  };
  QVERIFY(Run(&BatchDefinitionFrm::ChangeBline_Click, look));
  window_->ShowTableRow(1);
  QVERIFY(Run(&BatchDefinitionFrm::ChangeBline_Click, look));
  QCOMPARE(seen,
           (QStringList{"10|first|User Batchfile|-password ****** -x|-password pw -x||true|false|"
                        "b.sh|s.txt|20|10",
                        // A program type never keeps the files of the line shown before.
                        "20|second|Flow Runner|-y|-y|10|false|true||||"}));
}

void JobLineCommandsTest::renumberingResortsAndFollowsTheLine() {
  for (const char* number : {"10", "20"}) {
    QVERIFY(Run(&BatchDefinitionFrm::AddBline_Click, Confirm(number)));
  }
  window_->ShowTableRow(0);
  QVERIFY(Run(&BatchDefinitionFrm::ChangeBline_Click, Confirm("30")));
  QCOMPARE(Numbers(), (QStringList{"20", "30"}));
  QCOMPARE(Current(), 1);
  // Cancelling after typing another number stays on the chosen line.
  window_->ShowTableRow(1);
  QVERIFY(Run(&BatchDefinitionFrm::ChangeBline_Click, [](BatchLineDialog& d) {
    d.BatchLine()->setText("20");
    d.CancelButton_Click();
  }));
  QCOMPARE(Numbers(), (QStringList{"20", "30"}));
  QCOMPARE(Current(), 1);
}

void JobLineCommandsTest::detailsWithoutNumberChangeDoesNotSort() {
  // A job as read from a file keeps the file's order until a number changes.
  JobLineTable& table = window_->table();
  table.SetJobLineCount(2);
  table.Set(kColNumber, 0, "20");
  table.Set(kColType, 0, "Flow Runner");
  table.Set(kColNumber, 1, "10");
  table.Set(kColType, 1, "Flow Runner");
  window_->RefreshGrid();
  window_->ShowTableRow(1);
  QVERIFY(Run(&BatchDefinitionFrm::ChangeBline_Click, [](BatchLineDialog& d) {
    d.Description()->setText("renamed");
    d.OKButton_Click();
  }));
  QCOMPARE(Numbers(), (QStringList{"20", "10"}));
  QCOMPARE(QString::fromStdString(table.Text(kColDescription, 1)), QString("renamed"));
  QCOMPARE(Current(), 1);
}

void JobLineCommandsTest::deleteKeepsRightRowCurrent_data() {
  QTest::addColumn<int>("lines");
  QTest::addColumn<int>("selected");
  QTest::addColumn<int>("answer");
  QTest::addColumn<QStringList>("left");
  QTest::addColumn<int>("current");
  QTest::newRow("middle") << 3 << 1 << int(MessageBox::kOk) << QStringList{"10", "30"} << 1;
  QTest::newRow("bottom") << 3 << 2 << int(MessageBox::kOk) << QStringList{"10", "20"} << 1;
  QTest::newRow("top") << 3 << 0 << int(MessageBox::kOk) << QStringList{"20", "30"} << 0;
  QTest::newRow("only line") << 1 << 0 << int(MessageBox::kOk) << QStringList{} << -1;
  QTest::newRow("cancelled") << 3 << 1 << int(MessageBox::kCancel) << QStringList{"10", "20", "30"}
                             << 1;
}

void JobLineCommandsTest::deleteKeepsRightRowCurrent() {
  QFETCH(int, lines);
  QFETCH(int, selected);
  QFETCH(int, answer);
  QFETCH(QStringList, left);
  QFETCH(int, current);
  for (int i = 1; i <= lines; ++i) {
    QVERIFY(Run(&BatchDefinitionFrm::AddBline_Click, Confirm(QString::number(i * 10))));
  }
  window_->ShowTableRow(selected);
  MessageBox::reset();
  MessageBox::setNextAnswer(answer);
  window_->DeleteBline_Click();
  QCOMPARE(MessageBox::history().size(), 1);
  const MessageBox::Shown question = MessageBox::last();
  QCOMPARE(question.text + "|" + question.title, QString("Delete Job Line ?|Delete"));
  QCOMPARE(question.buttons, MessageBox::kOkCancel);
  QCOMPARE(question.default_answer, MessageBox::kCancel);
  QCOMPARE(question.icon, MessageBox::kQuestion);
  QCOMPARE(Numbers(), left);
  QCOMPARE(Current(), current);
  QCOMPARE(window_->findChild<QTableView*>("Grid")->model()->rowCount(), left.size());
}

void JobLineCommandsTest::headerCheckStopsInsertAndDetails() {
  QVERIFY(Run(&BatchDefinitionFrm::AddBline_Click, Confirm("10")));
  window_->findChild<QLineEdit*>("BatchDescription")->clear();
  MessageBox::reset();
  QVERIFY(!Run(&BatchDefinitionFrm::AddBline_Click, Confirm("20")));
  QVERIFY(!Run(&BatchDefinitionFrm::ChangeBline_Click, Confirm("20")));
  QCOMPARE(MessageBox::history().size(), 2);
  QCOMPARE(MessageBox::lastText(), QString("Please enter description"));
  QCOMPARE(Numbers(), QStringList{"10"});
  // Delete needs no header.
  window_->ShowTableRow(0);
  MessageBox::setNextAnswer(MessageBox::kOk);
  window_->DeleteBline_Click();
  QCOMPARE(Numbers(), QStringList{});
}

void JobLineCommandsTest::doubleClickOpensDetails() {
  for (const char* number : {"10", "20"}) {
    QVERIFY(Run(&BatchDefinitionFrm::AddBline_Click, Confirm(number)));
  }
  auto* grid = window_->findChild<QTableView*>("Grid");
  const QRect cell = grid->visualRect(grid->model()->index(1, 1));
  QString number;
  bool shown = false;
  QTimer timer;
  AnswerDialog(timer, shown, [&](BatchLineDialog& d) { number = d.BatchLine_Value(); });
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
  QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
  QTRY_VERIFY(shown);
  QCOMPARE(number, QString("20"));
}

QTEST_MAIN(JobLineCommandsTest)
#include "job_line_commands_test.moc"
