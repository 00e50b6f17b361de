// The job line dialog through its seams: message boxes and file dialogs answer from the
// test, the registry is a map, and the Options command runs the real stand-in program.

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <map>

#include "model/job_line_table.h"
#include "platform/process_launcher.h"
#include "platform/registry.h"
#include "ui/controls/file_dialog.h"
#include "ui/controls/message_box.h"
#include "ui/job_line_dialog/batch_line_dialog.h"

using namespace jr;

namespace {

class MapRegistry final : public RegistryReader {
 public:
  void SetUtils(const QString& keld, const QString& mirn) {
    values_.clear();
    Put("SOFTWARE\\Vantor\\VantorKeld\\Version Info", "Current Version", "7");
    Put("SOFTWARE\\Vantor\\VantorKeld\\7\\Install Info", "Keld_utils_path", keld.toStdString());
    Put("SOFTWARE\\Vantor\\iVantorMirn\\Version Info", "Current Version", "2");
    Put("SOFTWARE\\Vantor\\iVantorMirn\\2\\Install Info", "Mirn_utils_path", mirn.toStdString());
  }
  std::optional<RegistryValue> Query(std::string_view key, std::string_view name) override {
    auto it = values_.find({std::string(key), std::string(name)});
    if (it == values_.end() || it->second.empty()) return std::nullopt;
    RegistryValue value{kRegSz, {it->second.begin(), it->second.end()}};
    value.data.push_back(0);
    return value;
  }

 private:
  void Put(const std::string& key, const std::string& name, const std::string& text) {
    values_[{key, name}] = text;
  }
  std::map<std::pair<std::string, std::string>, std::string> values_;
};

// Records what would be started; the process "ends" at once.
class RecordingLauncher final : public ProcessLauncher {
 public:
  ProcessHandle Start(std::string_view program, std::string_view arguments) override {
    this->program = QString::fromStdString(std::string(program));
    this->arguments = QString::fromStdString(std::string(arguments));
    return 0;
  }
  bool IsRunning(ProcessHandle& handle) override { return handle = 0, false; }
  void Forget(ProcessHandle) override {}
  void WaitForExit(std::chrono::milliseconds) override {}
  void TerminateAll(std::chrono::milliseconds) override {}
  QString program, arguments;
};

QStringList Texts() {
  QStringList texts;
  for (const MessageBox::Shown& shown : MessageBox::history()) {
    texts << shown.title + ": " + shown.text;
  }
  return texts;
}

void WriteFile(const QString& path, const QByteArray& content, bool executable = false) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(content);
  file.close();
  if (executable) file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
}

}  // namespace

class JobLineDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void typeListFollowsMirnInstallation();
  void proposesNumberAfterHighest_data();
  void proposesNumberAfterHighest();
  void remembersTypePositionForNewLines();
  void numberField_data();
  void numberField();
  void listReferences_data();
  void listReferences();
  void leavingListRestoresRememberedTextAndFiltersKeys();
  void okShowsEveryFailingCheckInOrder();
  void masksPasswords_data();
  void masksPasswords();
  void editedOptionsOfBatchLineAreStoredOnlyWhenChanged();
  void typeChangeEmptiesOptionsAndFiles();
  void optionsCommandWithStandIn_data();
  void optionsCommandWithStandIn();
  void optionsCommandArgumentLayout();
  void resultFileFieldsAndBrowsing();
  void closingByFrameIsCancel();

 private:
  // A dialog over the job 10, 20, 30 (or `numbers`), shown as for a new line or for the
  // line `changed` of the job.
  void Open(std::vector<int> numbers = {10, 20, 30}, int changed = -1);

  MapRegistry registry_;
  RecordingLauncher recording_;
  std::unique_ptr<ProcessLauncher> launcher_;
  JobLineTable table_;
  std::unique_ptr<BatchLineDialog> dialog_;
  QTemporaryDir dir_;
};

void JobLineDialogTest::init() {
  MessageBox::enableTesting();
  MessageBox::reset();
  FileDialog::enableTesting();
  FileDialog::reset();
  registry_.SetUtils(dir_.path(), "/");
  if (!launcher_) launcher_ = MakeSystemProcessLauncher();
  qunsetenv("JOBRUNNER_STANDIN_CONFIG_REPLY");
}

void JobLineDialogTest::cleanup() { dialog_.reset(); }

void JobLineDialogTest::Open(std::vector<int> numbers, int changed) {
  table_.AllocateAfresh();
  table_.SetJobLineCount(static_cast<int>(numbers.size()));
  for (size_t i = 0; i < numbers.size(); ++i) {
    table_.Set(kColNumber, static_cast<int>(i), std::to_string(numbers[i]));
  }
  if (!dialog_) {
    dialog_ = std::make_unique<BatchLineDialog>(registry_, *launcher_);
    dialog_->setLogFileDirSource([this] { return dir_.path(); });
  }
  dialog_->setJobLineTable(&table_);
  if (changed >= 0) {
    dialog_->BatchLine()->setText(QString::number(changed));
    dialog_->SelectType("Flow Runner");
  } else {
    dialog_->BatchLine()->clear();
    dialog_->ClearTypeSelection();
  }
  dialog_->show();
}

void JobLineDialogTest::typeListFollowsMirnInstallation() {
  Open();
  QCOMPARE(dialog_->BatchLineCombo()->count(), 10);
  QCOMPARE(dialog_->BatchLineCombo()->itemText(8), QString("Build Aggregates"));
  QCOMPARE(dialog_->BatchLineCombo()->itemText(9), QString("User Batchfile"));
  dialog_.reset();
  registry_.SetUtils(dir_.path(), "/opt/mirn");
  Open();
  QCOMPARE(dialog_->BatchLineCombo()->count(), 11);
  QCOMPARE(dialog_->BatchLineCombo()->itemText(8), QString("Health Inspector"));
  // A line of a type the list does not offer keeps its type.
  dialog_.reset();
  registry_.SetUtils(dir_.path(), "/");
  Open({10}, 10);
  dialog_->SelectType("???");
  QCOMPARE(dialog_->BatchLineType_Value(), QString("???"));
  dialog_->OKButton_Click();
  QVERIFY(dialog_->BatchLineChanged());
  QCOMPARE(dialog_->BatchLineType_Value(), QString("???"));
  Open({10});
  QCOMPARE(dialog_->BatchLineCombo()->count(), 10);
  QCOMPARE(dialog_->BatchLineType_Value(), QString("Run Vantor Job (UNIX)"));
}

void JobLineDialogTest::proposesNumberAfterHighest_data() {
  QTest::addColumn<std::vector<int>>("numbers");
  QTest::addColumn<QString>("proposal");
  QTest::newRow("empty job") << std::vector<int>{} << "10";
  QTest::newRow("after 20") << std::vector<int>{10, 20} << "30";
  QTest::newRow("last row, not largest text") << std::vector<int>{9, 100} << "110";
  QTest::newRow("beyond 999999") << std::vector<int>{999990} << "";
}

void JobLineDialogTest::proposesNumberAfterHighest() {
  QFETCH(std::vector<int>, numbers);
  QFETCH(QString, proposal);
  Open(numbers);
  QCOMPARE(dialog_->BatchLine_Value(), proposal);
  QCOMPARE(dialog_->StartingNumber(), -1);
}

void JobLineDialogTest::remembersTypePositionForNewLines() {
  Open();
  QCOMPARE(dialog_->BatchLineType_Value(), QString("Run Vantor Job (UNIX)"));
  QVERIFY(!dialog_->Batchfile()->isEnabled());
  // Refused OK still takes the position.
  dialog_->BatchLineCombo()->setCurrentIndex(9);
  dialog_->BatchLine()->setText("10");
  dialog_->OKButton_Click();
  QVERIFY(dialog_->isVisible());
  QCOMPARE(dialog_->RememberedTypePosition(), 9);
  dialog_->CancelButton_Click();
  Open();
  QCOMPARE(dialog_->BatchLineType_Value(), QString("User Batchfile"));
  QVERIFY(dialog_->Batchfile()->isEnabled());
  QVERIFY(!dialog_->Options()->isReadOnly());
  QVERIFY(!dialog_->findChild<QPushButton*>("OptionsBut")->isEnabled());
}

void JobLineDialogTest::numberField_data() {
  QTest::addColumn<int>("changed");
  QTest::addColumn<QString>("typed");
  QTest::addColumn<QString>("message");
  QTest::addColumn<QString>("after");
  const QString range = "Job Line: Only numeric Job Line numbers between 1 and 999999 allowed ";
  QTest::newRow("leading zeros") << -1 << "0040"
                                 << ""
                                 << "40";
  QTest::newRow("blanks around") << -1 << "  40 "
                                 << ""
                                 << "40";
  QTest::newRow("zero") << -1 << "0" << range << "";
  QTest::newRow("too large") << -1 << "1000000" << range << "";
  QTest::newRow("beyond any integer") << 20 << "123456789012345678901234567890" << range << "20";
  QTest::newRow("pasted sign") << 20 << "+40" << range << "20";
  QTest::newRow("pasted decimal") << -1 << "40.0" << range << "";
  QTest::newRow("pasted letters") << -1 << "4O" << range << "";
  QTest::newRow("number in use") << -1 << "20"
                                 << "Job Line: This Job Line number already exists"
                                 << "";
  QTest::newRow("other line's number") << 20 << "30"
                                       << "Job Line: This Job Line number already exists"
                                       << "20";
  QTest::newRow("own number kept") << 20 << "20"
                                   << ""
                                   << "20";
}

void JobLineDialogTest::numberField() {
  QFETCH(int, changed);
  QFETCH(QString, typed);
  QFETCH(QString, message);
  QFETCH(QString, after);
  Open({10, 20, 30}, changed);
  dialog_->BatchLine()->setText(typed);
  dialog_->BatchLine_LostFocus();
  QCOMPARE(Texts(), message.isEmpty() ? QStringList() : QStringList{message});
  QCOMPARE(dialog_->BatchLine_Value(), after);
  // OK refuses what leaving refused, and leaves an empty field alone.
  MessageBox::reset();
  dialog_->BatchLine()->setText(typed);
  dialog_->OKButton_Click();
  QCOMPARE(dialog_->BatchLineChanged(), message.isEmpty());
  if (message.isEmpty()) QCOMPARE(dialog_->BatchLine_Value(), after);
  Open({10, 20, 30}, changed);
  MessageBox::reset();
  dialog_->BatchLine()->setText("  ");
  dialog_->OKButton_Click();
  QCOMPARE(Texts(), QStringList{"Job Line: Please fill Job Line"});
  QCOMPARE(dialog_->BatchLine_Value(), QString("  "));
}

void JobLineDialogTest::listReferences_data() {
  QTest::addColumn<int>("changed");  // -1: a new line
  QTest::addColumn<QString>("number");
  QTest::addColumn<QString>("field");
  QTest::addColumn<QString>("list");
  QTest::addColumn<QString>("message");  // "" when accepted
  const QString cannot_skip = "Only job lines with a higher number can be skipped !";
  QTest::newRow("waits for lower") << -1 << "40"
                                   << "WaitFor"
                                   << "10,20"
                                   << "";
  QTest::newRow("doubled, leading, trailing commas") << -1 << "40"
                                                     << "WaitFor"
                                                     << ",10,, 20 ,,"
                                                     << "";
  QTest::newRow("blank between numbers") << -1 << "40"
                                         << "WaitFor"
                                         << "10 20"
                                         << "Job Line Numbers must be separated with commas !";
  QTest::newRow("new line waits for itself") << -1 << "30"
                                             << "WaitFor"
                                             << "30"
                                             << "Job Line cannot wait for itself !";
  QTest::newRow("changed line waits for itself") << 30 << "30"
                                                 << "WaitFor"
                                                 << "30"
                                                 << "Job Line cannot wait for itself !";
  QTest::newRow("waits for higher") << 20 << "20"
                                    << "WaitFor"
                                    << "30"
                                    << "Job Line can only wait for lower job line numbers !";
  QTest::newRow("skips itself") << 30 << "30"
                                << "SkipOnError"
                                << "30" << cannot_skip;
  QTest::newRow("skips lower") << 20 << "20"
                               << "SkipOnSuccess"
                               << "10" << cannot_skip;
  QTest::newRow("skips higher") << 10 << "10"
                                << "SkipOnSuccess"
                                << "20,30"
                                << "";
  QTest::newRow("repeats higher")
      << 20 << "20"
      << "RepeatOnError"
      << "30"
      << "Only this job line or job lines with a lower number can be repeated !";
  QTest::newRow("new line repeats itself") << -1 << "50"
                                           << "RepeatOnSuccess"
                                           << "50"
                                           << "Job Line 50 does not exist !";
  QTest::newRow("changed line repeats itself") << 30 << "30"
                                               << "RepeatOnSuccess"
                                               << "30"
                                               << "";
  QTest::newRow("renumbered line repeats old number") << 30 << "35"
                                                      << "RepeatOnError"
                                                      << "10,30"
                                                      << "";
  QTest::newRow("renumbered line repeats new number") << 30 << "35"
                                                      << "RepeatOnError"
                                                      << "35"
                                                      << "Job Line 35 does not exist !";
  QTest::newRow("only first bad entry") << -1 << "40"
                                        << "WaitFor"
                                        << "10, 99, 7"
                                        << "Job Line 99 does not exist !";
  QTest::newRow("leading zeros named plainly") << -1 << "40"
                                               << "WaitFor"
                                               << "0099"
                                               << "Job Line 99 does not exist !";
  QTest::newRow("pasted letters") << -1 << "40"
                                  << "WaitFor"
                                  << "1O"
                                  << "Job Line 1O does not exist !";
  QTest::newRow("pasted sign") << -1 << "40"
                               << "WaitFor"
                               << "-10"
                               << "Job Line -10 does not exist !";
  QTest::newRow("beyond any integer") << -1 << "40"
                                      << "WaitFor"
                                      << "4294967306"
                                      << "Job Line 4294967306 does not exist !";
  QTest::newRow("no number yet: anything passes") << -1 << ""
                                                  << "SkipOnError"
                                                  << "abc, 5 6"
                                                  << "";
}

void JobLineDialogTest::listReferences() {
  QFETCH(int, changed);
  QFETCH(QString, number);
  QFETCH(QString, field);
  QFETCH(QString, list);
  QFETCH(QString, message);
  Open({10, 20, 30}, changed);
  dialog_->BatchLine()->setText(number);
  auto* edit = dialog_->findChild<QLineEdit*>(field);
  edit->setText(list);
  const QMap<QString, QString> names{{"WaitFor", "Wait for JobLine(s)"},
                                     {"SkipOnError", "Skip JobLine(s) on error"},
                                     {"SkipOnSuccess", "Skip JobLine(s) on success"},
                                     {"RepeatOnError", "Repeat JobLine(s) on error"},
                                     {"RepeatOnSuccess", "Repeat JobLine(s) on success"}};
  QCOMPARE(dialog_->CheckStringWithLines(number, list, names[field]), message.isEmpty());
  QCOMPARE(Texts(), message.isEmpty() ? QStringList() : QStringList{names[field] + ": " + message});
  if (number.isEmpty()) return;
  // OK runs the same check and keeps the dialog open on a refusal, the list untouched.
  MessageBox::reset();
  dialog_->OKButton_Click();
  QCOMPARE(dialog_->BatchLineChanged(), message.isEmpty());
  QCOMPARE(edit->text(), list);
}

void JobLineDialogTest::leavingListRestoresRememberedTextAndFiltersKeys() {
  Open();
  QApplication::setActiveWindow(dialog_.get());
  QVERIFY(QTest::qWaitForWindowActive(dialog_.get()));
  dialog_->BatchLine()->clear();
  QTest::keyClicks(dialog_->BatchLine(), "4x-0.");
  QCOMPARE(dialog_->BatchLine_Value(), QString("40"));
  dialog_->WaitFor()->setText("10");
  dialog_->WaitFor()->setFocus(Qt::TabFocusReason);
  dialog_->WaitFor()->end(false);
  QTest::keyClicks(dialog_->WaitFor(), ",2;0 a3");
  QCOMPARE(dialog_->Wait_Value(), QString("10,20 3"));
  const int type_position = dialog_->BatchLineCombo()->currentIndex();
  QTest::keyClicks(dialog_->BatchLineCombo(), "U");
  QCOMPARE(dialog_->BatchLineCombo()->currentIndex(), type_position);
  // Leaving by Tab runs the check once the focus has moved; the field gets its text back.
  dialog_->WaitFor()->setFocus(Qt::TabFocusReason);
  QTest::keyClick(dialog_->WaitFor(), Qt::Key_Tab);
  QTRY_COMPARE(Texts(), QStringList{"Wait for JobLine(s): Job Line Numbers must be separated "
                                    "with commas !"});
  QCOMPARE(dialog_->Wait_Value(), QString("10"));
  QTRY_COMPARE(QApplication::focusWidget(), dialog_->WaitFor());
}

void JobLineDialogTest::okShowsEveryFailingCheckInOrder() {
  Open();
  dialog_->SelectType("User Batchfile");
  dialog_->BatchLine()->setText("40");
  dialog_->SkipOnError()->setText("10");
  dialog_->RepeatOnSuccess()->setText("99");
  dialog_->OKButton_Click();
  QCOMPARE(Texts(),
           (QStringList{"Skip JobLine(s) on error: Only job lines with a higher number can be "
                        "skipped !",
                        "Repeat JobLine(s) on success: Job Line 99 does not exist !",
                        "User-Defined Batch File: Please specify user-defined batch file"}));
  QVERIFY(dialog_->isVisible());
  QVERIFY(!dialog_->BatchLineChanged());
  MessageBox::reset();
  dialog_->SkipOnError()->clear();
  dialog_->RepeatOnSuccess()->clear();
  dialog_->Batchfile()->setText(dir_.filePath("missing.sh"));
  dialog_->OKButton_Click();
  QCOMPARE(Texts(), QStringList{"User-Defined Batch File: File " + dir_.filePath("missing.sh") +
                                " does not exist"});
  WriteFile(dir_.filePath("job.sh"), "exit 0\n");
  dialog_->Batchfile()->setText(dir_.filePath("job.sh"));
  dialog_->OKButton_Click();
  QVERIFY(dialog_->BatchLineChanged());
  QVERIFY(!dialog_->isVisible());
  QCOMPARE(MessageBox::last().icon, MessageBox::kExclamation);
}

void JobLineDialogTest::masksPasswords_data() {
  QTest::addColumn<QString>("options");
  QTest::addColumn<QString>("shown");
  QTest::newRow("none") << "-user bob -db x"
                        << "-user bob -db x";
  QTest::newRow("middle") << "-user bob -password s3cret -db x"
                          << "-user bob -password ****** -db x";
  QTest::newRow("two") << "-password a -x -password bb"
                       << "-password ****** -x -password ****** ";
  QTest::newRow("value at end") << "-u a -password abc"
                                << "-u a -password ****** ";
  QTest::newRow("word at end") << "-u a -password"
                               << "-u a -password****** ";
  QTest::newRow("other case") << "-Password a -PASSWORD b"
                              << "-Password a -PASSWORD b";
}

void JobLineDialogTest::masksPasswords() {
  QFETCH(QString, options);
  QFETCH(QString, shown);
  Open();
  dialog_->setoptions_value(options);
  QCOMPARE(dialog_->Options()->toPlainText(), shown);
  QCOMPARE(dialog_->options_value(), options);
}

void JobLineDialogTest::editedOptionsOfBatchLineAreStoredOnlyWhenChanged() {
  Open();
  dialog_->SelectType("User Batchfile");
  dialog_->setoptions_value("-password abc -v");
  dialog_->Options_LostFocus();
  QCOMPARE(dialog_->options_value(), QString("-password abc -v"));
  dialog_->Options()->setPlainText("-password ****** -v -q");
  dialog_->Options_LostFocus();
  QCOMPARE(dialog_->options_value(), QString("-password ****** -v -q"));
  // A program type's options come only from its Options command.
  dialog_->SelectType("Flow Runner");
  QVERIFY(dialog_->Options()->isReadOnly());
  dialog_->Options()->setPlainText("typed");
  dialog_->Options_LostFocus();
  QCOMPARE(dialog_->options_value(), QString());
}

void JobLineDialogTest::typeChangeEmptiesOptionsAndFiles() {
  Open();
  dialog_->SelectType("User Batchfile");
  dialog_->setoptions_value("-a");
  dialog_->Batchfile()->setText("b.sh");
  dialog_->IntLogFile()->setText("l.txt");
  dialog_->IntErrFile()->setText("s.txt");
  const QPalette scheme = QApplication::palette();
  QCOMPARE(dialog_->Batchfile()->palette().color(QPalette::Base), scheme.color(QPalette::Base));
  dialog_->BatchLineCombo()->setCurrentIndex(0);
  QCOMPARE(dialog_->options_value(), QString());
  QCOMPARE(dialog_->Options()->toPlainText(), QString());
  for (QLineEdit* field : {dialog_->Batchfile(), dialog_->IntLogFile(), dialog_->IntErrFile()}) {
    QVERIFY(field->text().isEmpty());
    QVERIFY(!field->isEnabled());
    QCOMPARE(field->palette().color(QPalette::Base), scheme.color(QPalette::Button));
  }
  QCOMPARE(dialog_->Options()->palette().color(QPalette::Base), scheme.color(QPalette::Button));
  // Selecting the same type again is no change.
  dialog_->setoptions_value("-keep");
  dialog_->SelectType("Run Vantor Job (UNIX)");
  QCOMPARE(dialog_->options_value(), QString("-keep"));
}

void JobLineDialogTest::optionsCommandWithStandIn_data() {
  QTest::addColumn<QString>("type");
  QTest::addColumn<QString>("program");  // "standin", "silent" (writes nothing) or "none"
  QTest::addColumn<QVariant>("reply");   // the stand-in's scripted reply; null: none
  QTest::addColumn<QString>("options");
  QTest::addColumn<QString>("message");
  const QVariant none;
  QTest::newRow("reply taken untrimmed")
      << "Flow Runner"
      << "standin" << QVariant(" -x $OPTIONS -password pw ") << " -x -a b -password pw "
      << "";
  QTest::newRow("switch of the UNIX type") << "Run Vantor Job (UNIX)"
                                           << "standin" << QVariant("$OPER") << "UNIX"
                                           << "";
  QTest::newRow("canceled in any case") << "Flow Runner"
                                        << "standin" << QVariant("  CanCeled ") << "-a b"
                                        << "";
  QTest::newRow("empty reply") << "Flow Runner"
                               << "standin" << QVariant("") << "-a b"
                               << "";
  QTest::newRow("nothing written") << "Flow Runner"
                                   << "silent" << none << "-a b"
                                   << "";
  QTest::newRow("missing executable") << "Flow Runner"
                                      << "none" << none << "-a b"
                                      << "Options: Executable %1/FlowRun.exe not found !";
  QTest::newRow("batch file type runs nothing") << "User Batchfile"
                                                << "none" << none << "-a b"
                                                << "";
}

void JobLineDialogTest::optionsCommandWithStandIn() {
  QFETCH(QString, type);
  QFETCH(QString, program);
  QFETCH(QVariant, reply);
  QFETCH(QString, options);
  QFETCH(QString, message);
  QTemporaryDir utils;
  registry_.SetUtils(utils.path(), "/");
  QString bin = qEnvironmentVariable("JOBRUNNER_BIN_DIR", QCoreApplication::applicationDirPath());
  const QString args_file = utils.filePath("args");
  for (const QString exe : {"FlowRun.exe", "RunVantorJob.exe"}) {
    if (program == "standin") {
      QVERIFY2(QFile::exists(bin + "/standin"), "the stand-in is built beside the tests");
      QVERIFY(QFile::link(bin + "/standin", utils.filePath(exe)));
    }
    if (program == "silent") {
      WriteFile(utils.filePath(exe), "#!/bin/sh\necho \"$@\" > " + args_file.toUtf8() + "\n", true);
    }
  }
  if (!reply.isNull()) qputenv("JOBRUNNER_STANDIN_CONFIG_REPLY", reply.toString().toUtf8());
  Open();
  dialog_->SelectType(type);
  dialog_->setoptions_value("-a b");
  dialog_->OptionsBut_Click();
  QCOMPARE(Texts().join("|"), message.arg(utils.path()));
  if (!message.isEmpty()) QCOMPARE(MessageBox::last().icon, MessageBox::kCritical);
  QCOMPARE(dialog_->options_value(), options);
  QVERIFY(dialog_->isEnabled());
  if (program == "silent") {
    QFile args(args_file);
    QVERIFY(args.open(QIODevice::ReadOnly));
    const QString reply_file = QString::fromUtf8(args.readAll()).split(' ').value(1);
    QVERIFY(reply_file.startsWith(QDir::tempPath()));
    QVERIFY(!QFile::exists(reply_file));
  }
}

void JobLineDialogTest::optionsCommandArgumentLayout() {
  BatchLineDialog dialog(registry_, recording_);
  dialog.SelectType("Run Vantor Job (NT)");
  dialog.OptionsBut_Click();  // no program in the utilities folder yet
  WriteFile(dir_.filePath("RunVantorJob.exe"), "", true);
  dialog.OptionsBut_Click();
  QCOMPARE(recording_.program, "\"" + dir_.path() + "/RunVantorJob.exe\"");
  QRegularExpression layout("^-config (\\S+) -oper NT $");
  QVERIFY2(layout.match(recording_.arguments).hasMatch(), qPrintable(recording_.arguments));
  dialog.SelectType("Flow Runner");
  WriteFile(dir_.filePath("FlowRun.exe"), "", true);
  dialog.setoptions_value(" -q");
  dialog.OptionsBut_Click();
  QVERIFY2(QRegularExpression("^-config \\S+  -q$").match(recording_.arguments).hasMatch(),
           qPrintable(recording_.arguments));
}

void JobLineDialogTest::resultFileFieldsAndBrowsing() {
  Open();
  dialog_->SelectType("User Batchfile");
  // Log file: an existing file is left alone, a new name leaves nothing behind, an
  // unwritable one is refused and the field emptied.
  WriteFile(dir_.filePath("old.txt"), "keep");
  dialog_->IntLogFile()->setText(" " + dir_.filePath("old.txt") + " ");
  dialog_->IntLogFile_LostFocus();
  dialog_->IntErrFile()->setText(dir_.filePath("new.txt"));
  dialog_->IntErrFile_LostFocus();
  QCOMPARE(Texts(), QStringList());
  QVERIFY(!QFile::exists(dir_.filePath("new.txt")));
  QFile old(dir_.filePath("old.txt"));
  QVERIFY(old.open(QIODevice::ReadOnly));
  QCOMPARE(old.readAll(), QByteArray("keep"));
  const QString bad = dir_.filePath("no/such/folder/x.txt");
  dialog_->IntErrFile()->setText(bad);
  dialog_->IntErrFile_LostFocus();
  QCOMPARE(Texts(), QStringList{"Status file: Unable to write to file '" + bad + "'"});
  QCOMPARE(dialog_->IntErrFile_Value(), QString());
  // Browsing: an empty field starts in the log-file folder with the type's filter; a
  // filled one starts at its name. Only the status file's name is trimmed first.
  dialog_->IntLogFile()->clear();
  dialog_->IntLogFileBut_Click();
  FileDialogRequest request = FileDialog::lastRequest();
  QCOMPARE(request.title, QString("Save Intermediate Log File"));
  QCOMPARE(request.directory, dir_.path());
  QCOMPARE(request.filters.value(0), QString("Orvex Log files (*.txt)"));
  QCOMPARE(request.mode, FileDialogRequest::Mode::kSave);
  dialog_->IntLogFile()->setText(" a.txt ");
  FileDialog::setNextFileName("");
  dialog_->IntLogFileBut_Click();
  QCOMPARE(FileDialog::lastRequest().file_name, QString(" a.txt "));
  QCOMPARE(dialog_->IntLogFile_Value(), QString(" a.txt "));
  dialog_->IntErrFile()->setText(" b.txt ");
  FileDialog::setNextFileName(dir_.filePath("chosen.txt"));
  dialog_->IntErrFileBut_Click();
  QCOMPARE(FileDialog::lastRequest().file_name, QString("b.txt"));
  QCOMPARE(FileDialog::lastRequest().title, QString("Save Intermediate Error File"));
  QCOMPARE(dialog_->IntErrFile_Value(), dir_.filePath("chosen.txt"));
  dialog_->BatchFileBut_Click();
  QCOMPARE(FileDialog::lastRequest().filters,
           (QStringList{"Batch Program(*.bat)", "Executables (*.exe *.com)", "Shell scripts (*.sh)",
                        "All files (*)"}));
  // A missing batch file is only a warning when the field is left.
  dialog_->Batchfile()->setText("nope.sh");
  dialog_->Batchfile_LostFocus();
  QCOMPARE(MessageBox::lastText(), QString("File nope.sh does not exist"));
  QCOMPARE(dialog_->Batchfile_Value(), QString("nope.sh"));
}

void JobLineDialogTest::closingByFrameIsCancel() {
  Open();
  dialog_->OKButton_Click();
  QVERIFY(dialog_->BatchLineChanged());
  Open();
  dialog_->close();
  QVERIFY(!dialog_->isVisible());
  QVERIFY(!dialog_->BatchLineChanged());
}

QTEST_MAIN(JobLineDialogTest)
#include "job_line_dialog_test.moc"
