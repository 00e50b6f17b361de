// Job lines in the window: Insert, Job Line Details and Delete of the main window over a grid
// whose model Qt's model tester watches; and the job line dialog as its user drives it: fields
// left by Tab, OK and the Options button, the stand-in program answering. The rules behind the
// messages are tested in tests/core/job_rules_test.cc; here, that the dialog shows them.

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QTableView>
#include <QtTest>

#include "platform/process_launcher.h"
#include "support/fakes.h"
#include "window_fixture.h"

using namespace jr;
using testing::Find;
using testing::Messages;
using testing::WriteFile;
using DialogStep = std::function<void(BatchLineDialog&)>;

namespace {

// A row as the window hands it over: a new line has neither number nor type.
JobLineTable::Row Row(const char* number = "", const char* type = "") {
  JobLineTable::Row row;
  row.fill(std::string());
  row[kColNumber] = number, row[kColType] = type, row[kColActive] = "true";
  return row;
}

void SelectType(BatchLineDialog& d, const char* type) {
  auto* types = Find<QComboBox>(&d, "BatchLineCombo");
  types->setCurrentIndex(types->findText(type));
}
// Fills in a number (and the type, for a new line) and presses OK, or Cancel.
DialogStep Answer(const QString& number, const char* button = "OKButton") {
  return [=](BatchLineDialog& d) {
    Find(&d, "BatchLine")->setText(number);
    SelectType(d, "Flow Runner");
    Find<QPushButton>(&d, button)->click();
  };
}

}  // namespace

class JobLineDialogTest : public testing::WindowTest {
  Q_OBJECT

 private slots:
  void init() {
    qputenv("JOBRUNNER_REGISTRY", "/nonexistent/registry.reg");
    qunsetenv("JOBRUNNER_STANDIN_CONFIG_REPLY");
    Start();
    FillValidHeader();
    w_->show();
    tester_ = std::make_unique<QAbstractItemModelTester>(
        field<QTableView>("Grid")->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    registry_ = test::MapRegistry();
    registry_.InstallKeld("7", temp_->path().toStdString());
  }
  void cleanup() { dialog_.reset(), tester_.reset(), Stop(); }

  void insertAndRenumberKeepTheTableSortedAndTheLineCurrent() {
    Insert({"30", "10", "100"});
    QCOMPARE(State(), "10 30 100 @2");
    QString proposed;
    QVERIFY(Command("AddBline", [&](BatchLineDialog& d) {
      proposed = Find(&d, "BatchLine")->text();
      Answer("15")(d);
    }));
    QCOMPARE(proposed + " " + State(), "110 10 15 30 100 @1");
    // Cancelled, or refused until cancelled: the table stays as it was.
    QVERIFY(Command("AddBline", Answer("20", "CancelButton")));
    QVERIFY(Command("AddBline", Answer("10")));
    QCOMPARE(MessageBox::lastText(), QString("This Job Line number already exists"));
    QCOMPARE(State(), "10 15 30 100 @1");
    // Renumbering resorts and follows the line; cancelling after typing stays on it.
    w_->ShowTableRow(0);
    QVERIFY(Command("ChangeBline", Answer("50")));
    QCOMPARE(State(), "15 30 50 100 @2");
    QVERIFY(Command("ChangeBline", Answer("15", "CancelButton")));
    QCOMPARE(State(), "15 30 50 100 @2");
  }

  void everyColumnGoesThereAndBack() {
    Insert({"10", "30"});
    WriteFile(path("job.sh"), "exit 0\n");
    QVERIFY(Command("AddBline", [&](BatchLineDialog& d) {
      Find(&d, "BatchLine")->setText("20");
      Find(&d, "Description")->setText("load");
      SelectType(d, "User Batchfile");
      // Options typed in are taken when the field is left.
      Find<QPlainTextEdit>(&d, "Options")->setFocus(Qt::TabFocusReason);
      Find<QPlainTextEdit>(&d, "Options")->setPlainText("-password pw -v");
      Find(&d, "WaitFor")->setFocus(Qt::TabFocusReason);
      QTest::qWait(10);
      const char* fields[] = {"WaitFor", "SkipOnError", "SkipOnSuccess", "RepeatOnError",
                              "RepeatOnSuccess", "Batchfile", "IntLogFile", "IntErrFile"};
      const QString texts[] = {"10", "30", "30 ", " 10,", "10", path("job.sh"), "l.txt", "s.txt"};
      for (int i = 0; i < 8; ++i) Find(&d, fields[i])->setText(texts[i]);
      Find<QCheckBox>(&d, "StopOnError")->setChecked(true);
      Find<QCheckBox>(&d, "ChActive")->setChecked(false);
      Find<QPushButton>(&d, "OKButton")->click();
    }));
    const QString stored = "20|load|User Batchfile|-password pw -v|10|true|false|" +
                           path("job.sh") + "|l.txt|s.txt|30|30 | 10,|10";
    QCOMPARE(Line(w_->table().RowAt(1)), stored);
    // A double click opens the line clicked in Details, its options masked.
    auto* grid = field<QTableView>("Grid");
    const QPoint cell = grid->visualRect(grid->model()->index(1, 1)).center();
    QStringList seen;
    QVERIFY(Run(
        [&] {
          QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell);
          QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell);
        },
        [&](BatchLineDialog& d) {
          seen << Find<QPlainTextEdit>(&d, "Options")->toPlainText() << Line(d.jobLine());
        }));
    QCOMPARE(seen, (QStringList{"-password ****** -v", stored}));
  }

  void deleteAsksAndKeepsTheRightRowCurrent_data() {
    QTest::addColumn<int>("selected");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("state");
    QTest::newRow("middle") << 1 << int(MessageBox::kOk) << "10 30 @1";
    QTest::newRow("bottom") << 2 << int(MessageBox::kOk) << "10 20 @1";
    QTest::newRow("cancelled") << 1 << int(MessageBox::kCancel) << "10 20 30 @1";
  }
  void deleteAsksAndKeepsTheRightRowCurrent() {
    QFETCH(int, selected);
    QFETCH(int, answer);
    Insert({"10", "20", "30"});
    w_->ShowTableRow(selected);
    MessageBox::reset();
    MessageBox::setNextAnswer(answer);
    Trigger("DeleteBline");
    QCOMPARE(MessageBox::last().default_answer, MessageBox::kCancel);
    QCOMPARE(Messages(), QString("Delete: Delete Job Line ?"));
    QTEST(State(), "state");
  }

  void headerCheckStopsInsertAndDetailsButNotDelete() {
    Insert({"10"});
    field("BatchDescription")->clear();
    MessageBox::reset();
    QVERIFY(!Command("AddBline", Answer("20")) && !Command("ChangeBline", Answer("20")));
    QCOMPARE(Messages(),
             "Job Description: Please enter description|Job Description: Please enter description");
    MessageBox::setNextAnswer(MessageBox::kOk);
    Trigger("DeleteBline");
    QCOMPARE(State(), " @-1");
  }

  void typeProposalAndUnknownTypes() {
    Open({10, 20});
    QCOMPARE(Cell(kColType) + "|" + Cell(kColNumber), "Run Vantor Job (UNIX)|30");
    // A changed line of a type the list does not offer keeps it.
    Open({10}, Row("10", "???"));
    Ok();
    QCOMPARE(Cell(kColType) + "|" + QString::number(dialog_->result()), "???|1");
    // The registry decides which types the list offers.
    dialog_.reset();
    registry_.InstallMirn("7", "/opt/mirn");
    Open();
    QCOMPARE(Get<QComboBox>("BatchLineCombo")->itemText(8), QString("Health Inspector"));
  }

  // The number and the list fields of line 20 (or of a new line), left by Tab or refused by
  // OK: the dialog shows what the rules say, and a refusal puts back the number the line
  // had, or the list the field held when it was entered.
  void fieldChecks_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("isNew");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");  // "" when accepted
    QTest::addColumn<QString>("left");     // the field's text after leaving it
    const QString in_use = "Job Line: This Job Line number already exists";
    // clang-format off
    QTest::newRow("zeros and blanks") << "BatchLine" << true << "  0040 " << "" << "40";
    QTest::newRow("too large")        << "BatchLine" << false << "1000000" << "Job Line: Only numeric Job Line numbers between 1 and 999999 allowed " << "20";
    QTest::newRow("number in use")    << "BatchLine" << true << "20" << in_use << "";
    QTest::newRow("other line's")     << "BatchLine" << false << "30" << in_use << "20";
    QTest::newRow("own number kept")  << "BatchLine" << false << "020" << "" << "20";
    QTest::newRow("list accepted")    << "SkipOnSuccess" << false << ",30, " << "" << ",30, ";
    QTest::newRow("wait higher")      << "WaitFor" << false << "30" << "Wait for JobLine(s): Job Line can only wait for lower job line numbers !" << "10";
    QTest::newRow("missing")          << "RepeatOnError" << false << "10, 99" << "Repeat JobLine(s) on error: Job Line 99 does not exist !" << "10";
    // clang-format on
  }
  void fieldChecks() {
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, message);
    QFETCH(QString, left);
    QFETCH(bool, isNew);
    Open({10, 20, 30}, isNew ? Row() : Row("20", "Flow Runner"));
    QLineEdit* edit = Get(qPrintable(field));
    const bool list = field != "BatchLine";
    if (list) edit->setText("10");
    edit->setFocus(Qt::TabFocusReason);
    edit->setText(typed);
    Leave(edit);
    QCOMPARE(Messages() + "|" + edit->text(), message + "|" + left);
    // OK refuses alike and keeps the dialog open; a refused list stays as typed.
    edit->setText(typed);
    Ok();
    QCOMPARE(Messages() + "|" + edit->text(), message + "|" + (list ? typed : left));
    QCOMPARE(dialog_->result() == QDialog::Accepted, message.isEmpty());
  }

  void okShowsEveryFailingCheckInOrder() {
    JobLineTable::Row row = Row("  ", "User Batchfile");
    row[kColSkipOnError] = "10", row[kColRepeatOnSuccess] = "99";
    Open({10, 20, 30}, row);
    Ok();  // a missing number stops the checks at once
    QCOMPARE(Messages(), QString("Job Line: Please fill Job Line"));
    Get("BatchLine")->setText("40");
    Ok();
    QCOMPARE(
        Messages(),
        QString("Skip JobLine(s) on error: Only job lines with a higher number can be skipped !|"
                "Repeat JobLine(s) on success: Job Line 99 does not exist !|"
                "User-Defined Batch File: Please specify user-defined batch file"));
    Get("SkipOnError")->clear();
    Get("RepeatOnSuccess")->clear();
    Get("Batchfile")->setText(path("job.sh"));
    Ok();
    QCOMPARE(Messages(), "User-Defined Batch File: File " + path("job.sh") + " does not exist");
    WriteFile(path("job.sh"), "exit 0\n");
    Ok();
    QVERIFY(dialog_->result() == QDialog::Accepted && !dialog_->isVisible());
  }

  void optionsAreMaskedAndEmptiedByATypeChange() {
    JobLineTable::Row row = Row("20", "User Batchfile");
    row[kColOptions] = "-u x -password  s3cret -v";  // two blanks hide it as well as one
    Open({20}, row);
    auto* options = Get<QPlainTextEdit>("Options");
    QCOMPARE(options->toPlainText(), QString("-u x -password  ****** -v"));
    // Passing through the field keeps the password; an edit stores the field's text.
    Leave(options);
    QCOMPARE(Cell(kColOptions), QString("-u x -password  s3cret -v"));
    options->setFocus(Qt::TabFocusReason);
    options->setPlainText("-password ****** -v -q");
    Leave(options);
    QCOMPARE(Cell(kColOptions), QString("-password ****** -v -q"));
    // Another type empties and locks the options and the files.
    const QList<QLineEdit*> files{Get("Batchfile"), Get("IntLogFile"), Get("IntErrFile")};
    for (QLineEdit* field : files) field->setText("f.txt");
    Get<QComboBox>("BatchLineCombo")->setCurrentIndex(0);
    QCOMPARE(Cell(kColOptions) + options->toPlainText(), QString());
    for (QLineEdit* field : files) QVERIFY(field->text().isEmpty() && !field->isEnabled());
    QVERIFY(options->isReadOnly());
  }

  void optionsCommand_data() {
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("program");  // "standin", "recorder" (records its arguments), "none"
    QTest::addColumn<QString>("reply");    // the stand-in's scripted reply
    QTest::addColumn<QString>("options");
    QTest::addColumn<QString>("message");  // the recorder's arguments, R the reply file
    // clang-format off
    QTest::newRow("untrimmed reply") << "Flow Runner" << "standin" << " -x $OPTIONS -password p " << " -x -a b -password p " << "";
    QTest::newRow("canceled")        << "Flow Runner" << "standin" << "  CanCeled " << "-a b" << "";
    QTest::newRow("empty reply")     << "Flow Runner" << "standin" << "" << "-a b" << "";
    QTest::newRow("NT switch")       << "Run Vantor Job (NT)" << "recorder" << "" << "-a b" << "-config R -oper NT -a b";
    QTest::newRow("no executable")   << "Flow Runner" << "none" << "" << "-a b" << "Options: Executable %1/FlowRun.exe not found !";
    // clang-format on
  }
  void optionsCommand() {
    QFETCH(QString, type);
    QFETCH(QString, program);
    QFETCH(QString, reply);
    QFETCH(QString, message);
    QTemporaryDir utils;
    registry_.InstallKeld("7", utils.path().toStdString());
    const QString standin =
        qEnvironmentVariable("JOBRUNNER_BIN_DIR", QCoreApplication::applicationDirPath()) +
        "/standin";
    const QByteArray args = utils.filePath("args").toUtf8();
    for (const QString exe : {"FlowRun.exe", "RunVantorJob.exe"}) {
      if (program == "standin")
        QVERIFY2(QFile::link(standin, utils.filePath(exe)), "stand-in built?");
      if (program == "recorder")
        WriteFile(utils.filePath(exe), "#!/bin/sh\necho \"$@\" > " + args + "\nsleep 0.2\n", true);
    }
    qputenv("JOBRUNNER_STANDIN_CONFIG_REPLY", reply.toUtf8());
    JobLineTable::Row row = Row("10", qPrintable(type));
    row[kColOptions] = "-a b";
    Open({10}, row);
    Get<QPushButton>("OptionsBut")->click();
    QTEST(Cell(kColOptions), "options");
    if (program != "recorder") {
      QCOMPARE(Messages(), message.arg(utils.path()));
      return;
    }
    QString recorded = testing::ReadAll(args).trimmed();
    QCOMPARE(recorded.replace(recorded.split(' ').value(1), "R"), message);
  }

  void resultFilesAreProbedAndLeftAlone() {
    Open({10}, Row("10", "User Batchfile"));
    WriteFile(path("old.txt"), "keep");
    Get("IntLogFile")->setText(" " + path("old.txt") + " ");
    Leave(Get("IntLogFile"));
    const QString bad = path("no/folder/x.txt");
    for (const QString& name : {path("new.txt"), bad}) {
      Get("IntErrFile")->setText(name);
      Leave(Get("IntErrFile"));
    }
    QCOMPARE(Messages(), "Status file: Unable to write to file '" + bad + "'");
    QCOMPARE(Cell(kColBatchStatusFile), QString());
    QVERIFY(!QFile::exists(path("new.txt")));
    QCOMPARE(testing::ReadAll(path("old.txt")), QString("keep"));
  }

 private:
  bool Command(const char* action, const DialogStep& step) {
    return Run([&] { Trigger(action); }, step);
  }
  void Insert(std::initializer_list<const char*> numbers) {
    for (const char* number : numbers) QVERIFY(Command("AddBline", Answer(number)));
  }
  // The job's numbers in table order and the current row: "10 20 @1".
  QString State() const {
    QStringList numbers;
    for (int row = 0; row < w_->table().Get_BatchLine_Count(); ++row)
      numbers << QString::fromStdString(w_->table().Text(kColNumber, row));
    return numbers.join(" ") + " @" + QString::number(w_->CurrentJobLineRow());
  }
  static QString Line(const JobLineTable::Row& row) {
    QStringList cells;
    for (const auto& cell : row) cells << QString::fromStdString(cell.value_or("?"));
    return cells.join("|");
  }

  // The dialog on its own over the job `numbers`, active, showing `row`.
  void Open(std::vector<int> numbers = {10, 20, 30}, const JobLineTable::Row& row = Row()) {
    table_.AllocateAfresh();
    table_.SetJobLineCount(static_cast<int>(numbers.size()));
    for (size_t i = 0; i < numbers.size(); ++i)
      table_.Set(kColNumber, static_cast<int>(i), std::to_string(numbers[i]));
    if (!dialog_) {
      dialog_ = std::make_unique<BatchLineDialog>(registry_, *launcher_);
      dialog_->setLogFileDirSource([this] { return temp_->path(); });
      dialog_->setJobLineTable(&table_);
    }
    dialog_->hide();
    dialog_->setResult(0);
    dialog_->setJobLine(row);
    dialog_->show();
    QApplication::setActiveWindow(dialog_.get());
    QVERIFY(QTest::qWaitForWindowActive(dialog_.get()));
  }
  template <typename T = QLineEdit>
  T* Get(const char* name) const {
    return Find<T>(dialog_.get(), name);
  }
  QString Cell(int column) const { return QString::fromStdString(*dialog_->jobLine()[column]); }
  void Ok() { Get<QPushButton>("OKButton")->click(); }
  // Tabs out of `field` and lets its leave-field check run.
  void Leave(QWidget* field) {
    if (!field->hasFocus()) field->setFocus(Qt::TabFocusReason);
    QTest::keyClick(field, Qt::Key_Tab);
    QTest::qWait(10);
  }

  std::unique_ptr<QAbstractItemModelTester> tester_;
  test::MapRegistry registry_;
  std::unique_ptr<ProcessLauncher> launcher_ = MakeSystemProcessLauncher();
  JobLineTable table_;
  std::unique_ptr<BatchLineDialog> dialog_;
};

QTEST_MAIN(JobLineDialogTest)
#include "job_line_dialog_test.moc"
