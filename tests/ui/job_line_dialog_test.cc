// The job line dialog through its seams: message boxes and file dialogs answer from the
// test, the registry is a map, and the Options command runs the real stand-in program.

#include <QComboBox>
#include <QPlainTextEdit>
#include <QTimer>
#include <QtTest>

#include "model/job_line_table.h"
#include "platform/process_launcher.h"
#include "support/fakes.h"
#include "ui/job_line_dialog/batch_line_dialog.h"
#include "window_fixture.h"

using namespace jr;
using testing::Messages;
using testing::WriteFile;

class JobLineDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    MessageBox::enableTesting();
    MessageBox::reset();
    FileDialog::enableTesting();
    FileDialog::reset();
    registry_ = test::MapRegistry();
    registry_.InstallKeld("7", dir_.path().toStdString());
    qunsetenv("JOBRUNNER_STANDIN_CONFIG_REPLY");
  }
  void cleanup() { dialog_.reset(); }

  void typeListAndRememberedType() {
    Open();
    QComboBox* types = dialog_->BatchLineCombo();
    QCOMPARE(types->count(), 10);
    QCOMPARE(types->itemText(8) + "|" + types->itemText(9),
             QString("Build Aggregates|User Batchfile"));
    QCOMPARE(dialog_->BatchLineType_Value(), QString("Run Vantor Job (UNIX)"));
    // A refused OK still takes the position; the next new line starts there, usable.
    types->setCurrentIndex(9);
    dialog_->BatchLine()->setText("10");
    dialog_->OKButton_Click();
    QVERIFY(dialog_->isVisible() && !dialog_->BatchLineChanged());
    dialog_->close();  // by the frame: Cancel
    Open();
    QCOMPARE(dialog_->BatchLineType_Value(), QString("User Batchfile"));
    QVERIFY(dialog_->Batchfile()->isEnabled() && !dialog_->Options()->isReadOnly());
    QVERIFY(!dialog_->findChild<QPushButton*>("OptionsBut")->isEnabled());
    // A changed line of a type the list does not offer keeps it; the next new line does not.
    Open({10}, 10);
    dialog_->SelectType("???");
    dialog_->OKButton_Click();
    QVERIFY(dialog_->BatchLineChanged());
    QCOMPARE(dialog_->BatchLineType_Value(), QString("???"));
    Open({10});
    QCOMPARE(types->count(), 10);
    dialog_->close();  // by the frame: the earlier OK is not taken again
    QVERIFY(!dialog_->BatchLineChanged());
    dialog_.reset();
    registry_.InstallMirn("7", "/opt/mirn");
    Open();
    QCOMPARE(dialog_->BatchLineCombo()->itemText(8), QString("Health Inspector"));
    // The proposal follows the last line, and none past the highest number.
    for (auto [numbers, proposal] : {std::pair<std::vector<int>, QString>{{}, "10"},
                                     {{10, 20}, "30"},
                                     {{9, 100}, "110"},
                                     {{999990}, ""}}) {
      Open(numbers);
      QCOMPARE(dialog_->BatchLine_Value(), proposal);
      QCOMPARE(dialog_->StartingNumber(), -1);
    }
  }

  void numberField_data() {
    QTest::addColumn<int>("changed");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("after");
    const QString range = "Only numeric Job Line numbers between 1 and 999999 allowed ";
    const QString in_use = "This Job Line number already exists";
    // clang-format off
    QTest::newRow("leading zeros")      << -1 << "0040" << "" << "40";
    QTest::newRow("blanks around")      << -1 << "  40 " << "" << "40";
    QTest::newRow("zero")               << -1 << "0" << range << "";
    QTest::newRow("too large")          << -1 << "1000000" << range << "";
    QTest::newRow("beyond any integer") << 20 << "123456789012345678901234567890" << range << "20";
    QTest::newRow("pasted sign")        << 20 << "+40" << range << "20";
    QTest::newRow("pasted decimal")     << -1 << "40.0" << range << "";
    QTest::newRow("number in use")      << -1 << "20" << in_use << "";
    QTest::newRow("other line's")       << 20 << "30" << in_use << "20";
    QTest::newRow("own number kept")    << 20 << "20" << "" << "20";
    // clang-format on
  }
  void numberField() {
    QFETCH(int, changed);
    QFETCH(QString, typed);
    QFETCH(QString, message);
    Open({10, 20, 30}, changed);
    // Leaving the field and OK refuse alike.
    for (auto step : {&BatchLineDialog::BatchLine_LostFocus, &BatchLineDialog::OKButton_Click}) {
      dialog_->BatchLine()->setText(typed);
      (dialog_.get()->*step)();
      QCOMPARE(Messages(), message.isEmpty() ? "" : "Job Line: " + message);
      QTEST(dialog_->BatchLine_Value(), "after");
    }
    QCOMPARE(dialog_->BatchLineChanged(), message.isEmpty());
  }

  void listReferences_data() {
    QTest::addColumn<int>("changed");  // -1: a new line
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("message");  // "" when accepted
    const QString no_skip = "Only job lines with a higher number can be skipped !";
    const QString no_self = "Job Line cannot wait for itself !";
    // clang-format off
    QTest::newRow("lower")             << -1 << "40" << "WaitFor" << "10,20" << "";
    QTest::newRow("odd commas")        << -1 << "40" << "WaitFor" << ",10,, 20 ,," << "";
    QTest::newRow("blank between")     << -1 << "40" << "WaitFor" << "10 20" << "Job Line Numbers must be separated with commas !";
    QTest::newRow("new waits self")    << -1 << "30" << "WaitFor" << "30" << no_self;
    QTest::newRow("changed waits self") << 30 << "30" << "WaitFor" << "30" << no_self;
    QTest::newRow("waits higher")      << 20 << "20" << "WaitFor" << "30" << "Job Line can only wait for lower job line numbers !";
    QTest::newRow("skips itself")      << 30 << "30" << "SkipOnError" << "30" << no_skip;
    QTest::newRow("skips lower")       << 20 << "20" << "SkipOnSuccess" << "10" << no_skip;
    QTest::newRow("skips higher")      << 10 << "10" << "SkipOnSuccess" << "20,30" << "";
    QTest::newRow("repeats higher")    << 20 << "20" << "RepeatOnError" << "30" << "Only this job line or job lines with a lower number can be repeated !";
    QTest::newRow("new repeats self")  << -1 << "50" << "RepeatOnSuccess" << "50" << "Job Line 50 does not exist !";
    QTest::newRow("changed repeats self") << 30 << "30" << "RepeatOnSuccess" << "30" << "";
    QTest::newRow("renumbered, old")   << 30 << "35" << "RepeatOnError" << "10,30" << "";
    QTest::newRow("renumbered, new")   << 30 << "35" << "RepeatOnError" << "35" << "Job Line 35 does not exist !";
    QTest::newRow("first bad only")    << -1 << "40" << "WaitFor" << "10, 99, 7" << "Job Line 99 does not exist !";
    QTest::newRow("leading zeros")     << -1 << "40" << "WaitFor" << "0099" << "Job Line 99 does not exist !";
    QTest::newRow("pasted letters")    << -1 << "40" << "WaitFor" << "1O" << "Job Line 1O does not exist !";
    QTest::newRow("pasted sign")       << -1 << "40" << "WaitFor" << "-10" << "Job Line -10 does not exist !";
    QTest::newRow("wraps to 10")       << -1 << "40" << "WaitFor" << "4294967306" << "Job Line 4294967306 does not exist !";
    QTest::newRow("no number yet")     << -1 << "" << "SkipOnError" << "abc, 5 6" << "";
    // clang-format on
  }
  void listReferences() {
    QFETCH(int, changed);
    QFETCH(QString, number);
    QFETCH(QString, field);
    QFETCH(QString, list);
    QFETCH(QString, message);
    const QMap<QString, QString> names{{"WaitFor", "Wait for JobLine(s)"},
                                       {"SkipOnError", "Skip JobLine(s) on error"},
                                       {"SkipOnSuccess", "Skip JobLine(s) on success"},
                                       {"RepeatOnError", "Repeat JobLine(s) on error"},
                                       {"RepeatOnSuccess", "Repeat JobLine(s) on success"}};
    Open({10, 20, 30}, changed);
    dialog_->BatchLine()->setText(number);
    QCOMPARE(dialog_->CheckStringWithLines(number, list, names[field]), message.isEmpty());
    QCOMPARE(Messages(), message.isEmpty() ? "" : names[field] + ": " + message);
    if (number.isEmpty()) return;
    // OK refuses the same list, keeps the dialog open and leaves the list as it is.
    auto* edit = dialog_->findChild<QLineEdit*>(field);
    edit->setText(list);
    dialog_->OKButton_Click();
    QCOMPARE(dialog_->BatchLineChanged(), message.isEmpty());
    QCOMPARE(edit->text(), list);
  }

  void leavingListRestoresTextAndKeysAreFiltered() {
    Open();
    QApplication::setActiveWindow(dialog_.get());
    QVERIFY(QTest::qWaitForWindowActive(dialog_.get()));
    dialog_->BatchLine()->clear();
    QTest::keyClicks(dialog_->BatchLine(), "4x-0.");
    QCOMPARE(dialog_->BatchLine_Value(), QString("40"));
    const int type = dialog_->BatchLineCombo()->currentIndex();
    QTest::keyClicks(dialog_->BatchLineCombo(), "U");
    QCOMPARE(dialog_->BatchLineCombo()->currentIndex(), type);
    dialog_->WaitFor()->setText("10");
    dialog_->WaitFor()->setFocus(Qt::TabFocusReason);
    dialog_->WaitFor()->end(false);
    QTest::keyClicks(dialog_->WaitFor(), ",2;0 a3");
    QCOMPARE(dialog_->Wait_Value(), QString("10,20 3"));
    // Leaving by Tab checks once the focus has moved on; the field gets its text back.
    QTest::keyClick(dialog_->WaitFor(), Qt::Key_Tab);
    QTRY_COMPARE(dialog_->Wait_Value(), QString("10"));
    QCOMPARE(Messages(),
             QString("Wait for JobLine(s): Job Line Numbers must be separated with commas !"));
    QTRY_COMPARE(QApplication::focusWidget(), dialog_->WaitFor());
  }

  void okShowsEveryFailingCheckInOrder() {
    Open();
    dialog_->SelectType("User Batchfile");
    dialog_->BatchLine()->setText("  ");
    dialog_->SkipOnError()->setText("10");
    dialog_->RepeatOnSuccess()->setText("99");
    dialog_->OKButton_Click();  // a missing number stops the checks at once
    QCOMPARE(Messages(), QString("Job Line: Please fill Job Line"));
    QCOMPARE(dialog_->BatchLine_Value(), QString("  "));
    dialog_->BatchLine()->setText("40");
    dialog_->OKButton_Click();
    QCOMPARE(
        Messages(),
        QString("Skip JobLine(s) on error: Only job lines with a higher number can be skipped !|"
                "Repeat JobLine(s) on success: Job Line 99 does not exist !|"
                "User-Defined Batch File: Please specify user-defined batch file"));
    QVERIFY(dialog_->isVisible());
    dialog_->SkipOnError()->clear();
    dialog_->RepeatOnSuccess()->clear();
    dialog_->Batchfile()->setText(dir_.filePath("job.sh"));
    dialog_->OKButton_Click();
    QCOMPARE(Messages(),
             "User-Defined Batch File: File " + dir_.filePath("job.sh") + " does not exist");
    WriteFile(dir_.filePath("job.sh"), "exit 0\n");
    dialog_->OKButton_Click();
    QVERIFY(dialog_->BatchLineChanged() && !dialog_->isVisible());
  }

  void optionsAreMaskedAndEmptiedByATypeChange() {
    // clang-format off
    const std::pair<QString, QString> cases[] = {
        {"-user bob -db x",                  "-user bob -db x"},
        {"-user bob -password s3cret -db x", "-user bob -password ****** -db x"},
        {"-password a -x -password bb",      "-password ****** -x -password ****** "},
        {"-u a -password",                   "-u a -password****** "},
        {"-Password a -PASSWORD b",          "-Password a -PASSWORD b"}};
    // clang-format on
    Open();
    for (const auto& [options, shown] : cases) {
      dialog_->setoptions_value(options);
      QCOMPARE(dialog_->Options()->toPlainText(), shown);
      QCOMPARE(dialog_->options_value(), options);
    }
    // A batch file line stores its options from the field, masked text included, but only
    // when they were edited: passing through the field keeps the password.
    dialog_->SelectType("User Batchfile");
    dialog_->setoptions_value("-password abc -v");
    dialog_->Options_LostFocus();
    QCOMPARE(dialog_->options_value(), QString("-password abc -v"));
    dialog_->Options()->setPlainText("-password ****** -v -q");
    dialog_->Options_LostFocus();
    QCOMPARE(dialog_->options_value(), QString("-password ****** -v -q"));
    // Another type empties and locks the options and the files.
    QList<QLineEdit*> files{dialog_->Batchfile(), dialog_->IntLogFile(), dialog_->IntErrFile()};
    for (QLineEdit* field : files) field->setText("f.txt");
    const QPalette scheme = QApplication::palette();
    QCOMPARE(files[0]->palette().color(QPalette::Base), scheme.color(QPalette::Base));
    dialog_->BatchLineCombo()->setCurrentIndex(0);
    QCOMPARE(dialog_->options_value() + dialog_->Options()->toPlainText(), QString());
    for (QLineEdit* field : files) {
      QVERIFY(field->text().isEmpty() && !field->isEnabled());
      QCOMPARE(field->palette().color(QPalette::Base), scheme.color(QPalette::Button));
    }
    QVERIFY(dialog_->Options()->isReadOnly());
    dialog_->setoptions_value("-keep");
    dialog_->SelectType("Run Vantor Job (UNIX)");  // the same type: no change
    QCOMPARE(dialog_->options_value(), QString("-keep"));
  }

  void optionsCommand_data() {
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>(
        "program");                      // "standin", "recorder" (records its arguments) or "none"
    QTest::addColumn<QString>("reply");  // the stand-in's scripted reply
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
    QTest::newRow("batch file type") << "User Batchfile" << "none" << "" << "-a b" << "";
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
    Open();
    dialog_->SelectType(type);
    dialog_->setoptions_value("-a b");
    QTimer probe;  // fires only inside the command's own wait for the program
    int enabled_while_running = -1;
    probe.callOnTimeout([&] { enabled_while_running = dialog_->isEnabled(); });
    probe.setSingleShot(true);
    probe.start(0);
    dialog_->OptionsBut_Click();
    QTEST(dialog_->options_value(), "options");
    QVERIFY(dialog_->isEnabled());
    QVERIFY(enabled_while_running != 1);
    if (program != "recorder") {
      QCOMPARE(Messages(), message.arg(utils.path()));
      return;
    }
    QCOMPARE(enabled_while_running, 0);
    // The reply file named to the program is gone afterwards.
    QString recorded = testing::ReadAll(args).trimmed();
    const QString reply_file = recorded.split(' ').value(1);
    QVERIFY(reply_file.startsWith(QDir::tempPath() + "/"));
    QVERIFY(!QFile::exists(reply_file));
    QCOMPARE(recorded.replace(reply_file, "R"), message);
  }

  void resultFilesAndBrowsing() {
    Open();
    dialog_->SelectType("User Batchfile");
    // An existing file is left alone, a new name leaves nothing behind, an unwritable one is
    // refused and emptied.
    WriteFile(dir_.filePath("old.txt"), "keep");
    dialog_->IntLogFile()->setText(" " + dir_.filePath("old.txt") + " ");
    dialog_->IntLogFile_LostFocus();
    const QString bad = dir_.filePath("no/folder/x.txt");
    for (const QString& name : {dir_.filePath("new.txt"), bad}) {
      dialog_->IntErrFile()->setText(name);
      dialog_->IntErrFile_LostFocus();
    }
    QCOMPARE(Messages(), "Status file: Unable to write to file '" + bad + "'");
    QCOMPARE(dialog_->IntErrFile_Value(), QString());
    QVERIFY(!QFile::exists(dir_.filePath("new.txt")));
    QCOMPARE(testing::ReadAll(dir_.filePath("old.txt")), QString("keep"));
    // An empty field browses from the log-file folder with its filter; a filled one from its
    // name, and only the status file's name is trimmed first.
    dialog_->IntErrFileBut_Click();
    const FileDialogRequest request = FileDialog::lastRequest();
    QCOMPARE(
        request.title + "|" + request.directory + "|" + request.filters.join(";"),
        "Save Intermediate Error File|" + dir_.path() + "|Orvex Error files (*.txt);All files (*)");
    dialog_->IntErrFile()->setText(" b.txt ");
    FileDialog::setNextFileName(dir_.filePath("chosen.txt"));
    dialog_->IntErrFileBut_Click();
    QCOMPARE(FileDialog::lastRequest().file_name, QString("b.txt"));
    QCOMPARE(dialog_->IntErrFile_Value(), dir_.filePath("chosen.txt"));
    dialog_->IntLogFileBut_Click();
    QCOMPARE(FileDialog::lastRequest().file_name, " " + dir_.filePath("old.txt") + " ");
  }

 private:
  // A dialog over the job `numbers`, shown for a new line or for the line `changed`.
  void Open(std::vector<int> numbers = {10, 20, 30}, int changed = -1) {
    table_.AllocateAfresh();
    table_.SetJobLineCount(static_cast<int>(numbers.size()));
    for (size_t i = 0; i < numbers.size(); ++i)
      table_.Set(kColNumber, static_cast<int>(i), std::to_string(numbers[i]));
    if (dialog_) dialog_->hide();
    if (!dialog_) {
      dialog_ = std::make_unique<BatchLineDialog>(registry_, *launcher_);
      dialog_->setLogFileDirSource([this] { return dir_.path(); });
      dialog_->setJobLineTable(&table_);
    }
    dialog_->BatchLine()->setText(changed >= 0 ? QString::number(changed) : QString());
    changed >= 0 ? dialog_->SelectType("Flow Runner") : dialog_->ClearTypeSelection();
    dialog_->show();
  }

  test::MapRegistry registry_;
  std::unique_ptr<ProcessLauncher> launcher_ = MakeSystemProcessLauncher();
  JobLineTable table_;
  std::unique_ptr<BatchLineDialog> dialog_;
  QTemporaryDir dir_;
};

QTEST_MAIN(JobLineDialogTest)
#include "job_line_dialog_test.moc"
