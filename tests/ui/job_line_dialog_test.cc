// The job line dialog as its user drives it: rows in and out, fields left by Tab, OK and
// the browse and Options buttons. Message boxes and file dialogs answer from the test, and
// the Options command runs the real stand-in program. The rules behind the messages are
// tested in tests/core/job_rules_test.cc; here, that the dialog shows them where it should.

#include <QComboBox>
#include <QPlainTextEdit>
#include <QTimer>
#include <QtTest>

#include "platform/process_launcher.h"
#include "support/fakes.h"
#include "ui/job_line_dialog/batch_line_dialog.h"
#include "window_fixture.h"

using namespace jr;
using testing::Messages;
using testing::WriteFile;

namespace {

// A row as the window hands it over: a new line has neither number nor type.
JobLineTable::Row Row(const char* number = "", const char* type = "") {
  JobLineTable::Row row;
  row.fill(std::string());
  row[kColNumber] = number, row[kColType] = type, row[kColActive] = "true";
  return row;
}

}  // namespace

class JobLineDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    MessageBox::enableTesting();
    FileDialog::enableTesting();
    MessageBox::reset();
    FileDialog::reset();
    registry_ = test::MapRegistry();
    registry_.InstallKeld("7", dir_.path().toStdString());
    qunsetenv("JOBRUNNER_STANDIN_CONFIG_REPLY");
  }
  void cleanup() { dialog_.reset(); }

  void typeListProposalAndRememberedType() {
    Open({10, 20});
    auto* types = Get<QComboBox>("BatchLineCombo");
    QCOMPARE(types->count(), 10);
    QCOMPARE(types->itemText(8) + "|" + types->itemText(9), "Build Aggregates|User Batchfile");
    QCOMPARE(Cell(kColType) + "|" + Cell(kColNumber), "Run Vantor Job (UNIX)|30");
    // A refused OK still takes the position; the next new line starts there, usable.
    types->setCurrentIndex(9);
    Ok();
    dialog_->close();  // by the frame: Cancel
    QCOMPARE(dialog_->result(), int(QDialog::Rejected));
    Open({999990});
    QCOMPARE(Cell(kColType) + "|" + Cell(kColNumber), "User Batchfile|");
    QVERIFY(Get("Batchfile")->isEnabled() && !Get<QPlainTextEdit>("Options")->isReadOnly());
    QVERIFY(!Get<QPushButton>("OptionsBut")->isEnabled());
    // A changed line of a type the list does not offer keeps it; the next new line does not.
    Open({10}, Row("10", "???"));
    Ok();
    QCOMPARE(Cell(kColType) + "|" + QString::number(dialog_->result()), "???|1");
    Open({10});
    QCOMPARE(types->count(), 10);
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
    const QString range = "Job Line: Only numeric Job Line numbers between 1 and 999999 allowed ";
    const QString in_use = "Job Line: This Job Line number already exists";
    // clang-format off
    QTest::newRow("zeros and blanks") << "BatchLine" << true << "  0040 " << "" << "40";
    QTest::newRow("highest")          << "BatchLine" << true << "999999" << "" << "999999";
    QTest::newRow("too large")        << "BatchLine" << true << "1000000" << range << "";
    QTest::newRow("pasted sign")      << "BatchLine" << false << "+40" << range << "20";
    QTest::newRow("number in use")    << "BatchLine" << true << "20" << in_use << "";
    QTest::newRow("other line's")     << "BatchLine" << false << "30" << in_use << "20";
    QTest::newRow("own number kept")  << "BatchLine" << false << "020" << "" << "20";
    QTest::newRow("list accepted")    << "SkipOnSuccess" << false << ",30, " << "" << ",30, ";
    QTest::newRow("wait higher")      << "WaitFor" << false << "30" << "Wait for JobLine(s): Job Line can only wait for lower job line numbers !" << "10";
    QTest::newRow("skip lower")       << "SkipOnError" << false << "10" << "Skip JobLine(s) on error: Only job lines with a higher number can be skipped !" << "10";
    QTest::newRow("skip self")        << "SkipOnSuccess" << false << "20" << "Skip JobLine(s) on success: Only job lines with a higher number can be skipped !" << "10";
    QTest::newRow("missing")          << "RepeatOnError" << false << "10, 99" << "Repeat JobLine(s) on error: Job Line 99 does not exist !" << "10";
    QTest::newRow("repeat higher")    << "RepeatOnSuccess" << false << "30" << "Repeat JobLine(s) on success: Only this job line or job lines with a lower number can be repeated !" << "10";
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
    if (!message.isEmpty()) QTRY_COMPARE(QApplication::focusWidget(), edit);
    // OK refuses alike and keeps the dialog open; a refused list stays as typed.
    edit->setText(typed);
    Ok();
    QCOMPARE(Messages() + "|" + edit->text(), message + "|" + (list ? typed : left));
    QCOMPARE(dialog_->result() == QDialog::Accepted, message.isEmpty());
  }

  void keysAreFiltered() {
    Open();
    Get("BatchLine")->clear();
    QTest::keyClicks(Get("BatchLine"), "4x-0.");
    const QString type = Cell(kColType);
    QTest::keyClicks(Get<QComboBox>("BatchLineCombo"), "U");
    Get("WaitFor")->setText("10");
    QTest::keyClicks(Get("WaitFor"), ",2;0 a3");
    QCOMPARE(Cell(kColNumber) + "|" + Cell(kColType) + "|" + Cell(kColWait),
             "40|" + type + "|10,20 3");
  }

  void okShowsEveryFailingCheckInOrder() {
    JobLineTable::Row row = Row("  ", "User Batchfile");
    row[kColSkipOnError] = "10", row[kColRepeatOnSuccess] = "99";
    Open({10, 20, 30}, row);
    Ok();  // a missing number stops the checks at once, and stays missing
    QCOMPARE(Messages() + "|" + Cell(kColNumber), QString("Job Line: Please fill Job Line|  "));
    Get("BatchLine")->setText("40");
    Ok();
    QCOMPARE(
        Messages(),
        QString("Skip JobLine(s) on error: Only job lines with a higher number can be skipped !|"
                "Repeat JobLine(s) on success: Job Line 99 does not exist !|"
                "User-Defined Batch File: Please specify user-defined batch file"));
    Get("SkipOnError")->clear();
    Get("RepeatOnSuccess")->clear();
    Get("Batchfile")->setText(dir_.filePath("job.sh"));
    Ok();
    QCOMPARE(Messages(),
             "User-Defined Batch File: File " + dir_.filePath("job.sh") + " does not exist");
    WriteFile(dir_.filePath("job.sh"), "exit 0\n");
    Ok();
    QVERIFY(dialog_->result() == QDialog::Accepted && !dialog_->isVisible());
  }

  void optionsAreMaskedAndEmptiedByATypeChange() {
    JobLineTable::Row row = Row("20", "Flow Runner");
    row[kColOptions] = "-u x -password  s3cret -v";  // two blanks hide it as well as one
    Open({20}, row);
    QCOMPARE(Get<QPlainTextEdit>("Options")->toPlainText() + "|" + Cell(kColOptions),
             QString("-u x -password  ****** -v|-u x -password  s3cret -v"));
    // A batch file line stores its options from the field, masked text included, but only
    // when they were edited: passing through the field keeps the password.
    row[kColType] = "User Batchfile", row[kColOptions] = "-password abc -v";
    Open({20}, row);
    auto* options = Get<QPlainTextEdit>("Options");
    Leave(options);
    QCOMPARE(Cell(kColOptions), QString("-password abc -v"));
    options->setFocus(Qt::TabFocusReason);
    options->setPlainText("-password ****** -v -q");
    Leave(options);
    QCOMPARE(Cell(kColOptions), QString("-password ****** -v -q"));
    // Another type empties and locks the options and the files.
    const QList<QLineEdit*> files{Get("Batchfile"), Get("IntLogFile"), Get("IntErrFile")};
    for (QLineEdit* field : files) field->setText("f.txt");
    const QPalette scheme = QApplication::palette();
    QCOMPARE(files[0]->palette().color(QPalette::Base), scheme.color(QPalette::Base));
    Get<QComboBox>("BatchLineCombo")->setCurrentIndex(0);
    QCOMPARE(Cell(kColOptions) + options->toPlainText(), QString());
    for (QLineEdit* field : files) {
      QVERIFY(field->text().isEmpty() && !field->isEnabled());
      QCOMPARE(field->palette().color(QPalette::Base), scheme.color(QPalette::Button));
    }
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
    QTest::newRow("UNIX switch")     << "Run Vantor Job (UNIX)" << "standin" << "$OPER" << "UNIX" << "";
    QTest::newRow("canceled")        << "Flow Runner" << "standin" << "  CanCeled " << "-a b" << "";
    QTest::newRow("empty reply")     << "Flow Runner" << "standin" << "" << "-a b" << "";
    QTest::newRow("nothing written") << "Flow Runner" << "recorder" << "" << "-a b" << "-config R -a b";
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
    int enabled_while_running = -1;  // probed only inside the command's wait for the program
    QObject probe;
    QTimer::singleShot(0, &probe, [&] { enabled_while_running = dialog_->isEnabled(); });
    Get<QPushButton>("OptionsBut")->click();
    QTEST(Cell(kColOptions), "options");
    QVERIFY(dialog_->isEnabled() && enabled_while_running != 1);
    if (program != "recorder") {
      QCOMPARE(Messages(), message.arg(utils.path()));
      return;
    }
    QCOMPARE(enabled_while_running, 0);
    // The reply file named to the program is gone afterwards.
    QString recorded = testing::ReadAll(args).trimmed();
    const QString reply_file = recorded.split(' ').value(1);
    QVERIFY(reply_file.startsWith(QDir::tempPath() + "/") && !QFile::exists(reply_file));
    QCOMPARE(recorded.replace(reply_file, "R"), message);
  }

  void resultFilesAndBrowsing() {
    Open({10}, Row("10", "User Batchfile"));
    // An existing file is left alone, a new name leaves nothing behind, an unwritable one is
    // refused and emptied.
    WriteFile(dir_.filePath("old.txt"), "keep");
    Get("IntLogFile")->setText(" " + dir_.filePath("old.txt") + " ");
    Leave(Get("IntLogFile"));
    const QString bad = dir_.filePath("no/folder/x.txt");
    for (const QString& name : {dir_.filePath("new.txt"), bad}) {
      Get("IntErrFile")->setText(name);
      Leave(Get("IntErrFile"));
    }
    QCOMPARE(Messages(), "Status file: Unable to write to file '" + bad + "'");
    QCOMPARE(Cell(kColBatchStatusFile), QString());
    QVERIFY(!QFile::exists(dir_.filePath("new.txt")));
    QCOMPARE(testing::ReadAll(dir_.filePath("old.txt")), QString("keep"));
    // An empty field browses from the log-file folder with its filter; a filled one from its
    // name, and only the status file's name is trimmed first.
    Get<QPushButton>("IntErrFileBut")->click();
    const FileDialogRequest request = FileDialog::lastRequest();
    QCOMPARE(
        request.title + "|" + request.directory + "|" + request.filters.join(";"),
        "Save Intermediate Error File|" + dir_.path() + "|Orvex Error files (*.txt);All files (*)");
    Get("IntErrFile")->setText(" b.txt ");
    FileDialog::setNextFileName(dir_.filePath("chosen.txt"));
    Get<QPushButton>("IntErrFileBut")->click();
    QCOMPARE(FileDialog::lastRequest().file_name + "|" + Cell(kColBatchStatusFile),
             "b.txt|" + dir_.filePath("chosen.txt"));
    Get<QPushButton>("IntLogFileBut")->click();
    QCOMPARE(FileDialog::lastRequest().file_name, " " + dir_.filePath("old.txt") + " ");
  }

 private:
  // The dialog over the job `numbers`, active, showing `row`.
  void Open(std::vector<int> numbers = {10, 20, 30}, const JobLineTable::Row& row = Row()) {
    table_.AllocateAfresh();
    table_.SetJobLineCount(static_cast<int>(numbers.size()));
    for (size_t i = 0; i < numbers.size(); ++i)
      table_.Set(kColNumber, static_cast<int>(i), std::to_string(numbers[i]));
    if (!dialog_) {
      dialog_ = std::make_unique<BatchLineDialog>(registry_, *launcher_);
      dialog_->setLogFileDirSource([this] { return dir_.path(); });
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
    return testing::Find<T>(dialog_.get(), name);
  }
  QString Cell(int column) const { return QString::fromStdString(*dialog_->jobLine()[column]); }
  void Ok() { Get<QPushButton>("OKButton")->click(); }
  // Tabs out of `field` and lets its leave-field check run.
  void Leave(QWidget* field) {
    if (!field->hasFocus()) field->setFocus(Qt::TabFocusReason);
    QTest::keyClick(field, Qt::Key_Tab);
    QTest::qWait(10);
  }

  test::MapRegistry registry_;
  std::unique_ptr<ProcessLauncher> launcher_ = MakeSystemProcessLauncher();
  JobLineTable table_;
  std::unique_ptr<BatchLineDialog> dialog_;
  QTemporaryDir dir_;
};

QTEST_MAIN(JobLineDialogTest)
#include "job_line_dialog_test.moc"
