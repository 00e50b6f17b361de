// The main window as a desktop user meets it: the whole-header check, the checks when a
// field is left, every edit that must be saved; New, Open, Save, Save As and Exit with the
// save question and the overwrite question, files that cannot be read or written leaving the
// window as it was; menu keys that win over the header fields, the grid's cut-off cells,
// recent files, drops and `--edit`; Make Batch File's script, Execute Job's refusals, the
// window during a scripted run (progress, blocked commands, Stop, closing), and one run
// through the real run driver with stand-in programs.

#include <QClipboard>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
#include <QProcess>
#include <QSignalSpy>
#include <QTableView>
#include <QToolTip>
#include <QUrl>

#include "app/cli.h"
#include "ui/main_window/job_executor.h"
#include "window_fixture.h"

using jr::FileDialog;
using jr::MessageBox;
using jr::testing::Messages;
using jr::testing::ReadAll;

namespace {

// Plays a run: starts every active line, calls `during`, pauses until stopped or for
// `passes` pauses, then ends the lines (line 20 fails).
class ScriptedExecutor final : public jr::JobExecutor {
 public:
  jr::JobRunOutcome Execute(const jr::JobDocument& job, int32_t max_parallel,
                            jr::RunHooks& hooks) override {
    ++runs, description = job.Description, max = max_parallel;
    std::vector<std::unique_ptr<jr::clsJobLine>> lines;
    for (int row = 0; row < job.table.Get_BatchLine_Count(); ++row) {
      if (job.table.Text(jr::kColActive, row) != "true") continue;
      lines.push_back(std::make_unique<jr::clsJobLine>());
      lines.back()->setJobLineNr(job.table.Get_BatchLine_Number(row));
      hooks.LineStarted(*lines.back());
    }
    if (during) during();
    for (int pass = 0; pass < passes && !hooks.StopRequested(); ++pass)
      hooks.Pause(std::chrono::milliseconds(20));
    stopped = hooks.StopRequested();
    for (auto& line : lines)
      line->setErrorOccured(line->JobLineNr() == 20), hooks.LineFinished(*line);
    return {true, "finished with error(s)."};
  }

  int runs = 0, passes = 3;
  int32_t max = 0;
  std::string description;
  bool stopped = false;
  std::function<void()> during;
};

}  // namespace

class MainWindowTest : public jr::testing::WindowTest {
  Q_OBJECT

 private slots:
  void init() {
    auto executor = std::make_unique<ScriptedExecutor>();
    executor_ = executor.get();
    Start(std::move(executor));
  }
  void cleanup() { Stop(); }

  void headerChecksStopAtTheFirstFault_data() {
    QTest::addColumn<QStringList>("fields");  // description, admin, user, folder; @ = temp
    QTest::addColumn<QString>("message");
    // clang-format off
    QTest::newRow("blank description") << QStringList{" ", "", "", ""} << "Job Description: Please enter description";
    QTest::newRow("no admin file") << QStringList{"d", "", "", ""} << "Log File (Administrators): Please enter Log File (Administrators)";
    QTest::newRow("no user file") << QStringList{"d", "@/a.htm", "", ""} << "Log File (Users): Please enter Log File (End Users)";
    QTest::newRow("same but for case and blanks") << QStringList{"d", "@/A.htm ", " @/a.htm", ""} << "Log File: Log Files for administrators and for end users must be different files";
    QTest::newRow("no folder") << QStringList{"d", "@/a.htm", "@/u.htm", ""} << "Log File Directory: Please enter Log File Directory";
    QTest::newRow("user file before admin file") << QStringList{"d", "@/a.html", "u.ht", "@"} << "Log File: The log-filename is not correct";
    QTest::newRow("upper-case extension") << QStringList{"d", "@/r.HTM", "@/u.htm", "@"} << "Log File: The extension of the log-file must be 'htm'";
    QTest::newRow("a folder of that name") << QStringList{"d", "@/dir.htm", "@/u.htm", "@"} << "Log File: Unable to write to file '@/dir.htm'";
    QTest::newRow("missing folder") << QStringList{"d", "@/a.htm", "@/u.htm", "@/no"} << "Log file directory: Directory @/no does not exist !";
    QTest::newRow("all valid") << QStringList{"d", "  @/x.htm", "@/old.htm", " @ "} << "";
    // clang-format on
  }
  void headerChecksStopAtTheFirstFault() {
    QFETCH(QStringList, fields);
    QFETCH(QString, message);
    QDir(temp_->path()).mkdir("dir.htm");
    jr::testing::WriteFile(path("old.htm"), "report");
    const char* names[] = {"BatchDescription", "LogFile", "UserFile", "LogFileDir"};
    for (int i = 0; i < 4; ++i) field(names[i])->setText(fields[i].replace("@", temp_->path()));
    QCOMPARE(header()->CheckJobSettings(), message.isEmpty());
    QCOMPARE(Messages(), message.replace("@", temp_->path()));
    // The probe leaves nothing behind and never touches an existing report.
    QCOMPARE(QDir(temp_->path()).entryList(QDir::Files), QStringList{"old.htm"});
    QCOMPARE(ReadAll(path("old.htm")), QString("report"));
  }

  void leavingFields() {
    Show("LogFile")->setText("report.html");
    field("UserFile")->setFocus();
    field("BatchDescription")->setFocus();  // an empty field is not checked
    QCOMPARE(Messages(), QString("Log File: The extension of the log-file must be 'htm'"));
    const QString folder = path("new/sub");
    field("LogFileDir")->setText(folder);
    for (int answer : {MessageBox::kNo, MessageBox::kYes, MessageBox::kYes}) {
      MessageBox::setNextAnswer(answer);
      field("LogFileDir")->setFocus();
      field("BatchDescription")->setFocus();
      QCOMPARE(QFileInfo(folder).isDir(), answer == MessageBox::kYes);
    }
    const QString question = "Log file directory: The directory " + folder +
                             " does not exist !\r\nWould you like to create this directory now?";
    QCOMPARE(Messages(), question + "|" + question);  // once it exists, nothing is asked
  }

  void everyHeaderEditMarksTheJobChanged() {
    FillValidHeader();
    AddLines({10});
    SaveAs("job.xml");
    auto* box = field<jr::uTextBox>("txtMaxParallel")->inner();
    const std::function<void()> edits[] = {
        [&] { field("BatchDescription")->setText("x"); },
        [&] { FileDialog::setNextFileName(path("c.htm")), field<QPushButton>("UserFileBut")->click(); },
        [&] { FileDialog::setNextDirectory(temp_->path()), field<QPushButton>("LogDirBut")->click(); },
        [&] { box->selectAll(), QTest::keyClicks(box, "0"), box->selectAll(), QTest::keyClicks(box, "42"); },
        [&] { field<QCheckBox>("chkLogToEventLog")->toggle(); },
    };
    for (const auto& edit : edits) {
      Trigger("SaveBatch");
      QVERIFY(!w_->HasUnsavedChanges());
      edit();
      QVERIFY(w_->HasUnsavedChanges());
    }
    // What was chosen or typed is what the job keeps; a maximum of 0 was never taken.
    QCOMPARE(field("UserFile")->text() + "|" + field("LogFileDir")->text() + "|" + box->text(),
             path("c.htm") + "|" + temp_->path() + "|42");
  }

  void saveQuestion_data() {
    QTest::addColumn<bool>("hasFile");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("saveAsChoice");
    QTest::addColumn<bool>("validHeader");
    QTest::addColumn<int>("result");  // 6 saved and closed, 7 closed unsaved, 2 kept open
    // clang-format off
    QTest::newRow("yes saves to the current file") << true << 6 << "" << true << 6;
    QTest::newRow("yes without a file saves as") << false << 6 << "job.xml" << true << 6;
    QTest::newRow("yes, save as cancelled") << false << 6 << "" << true << 2;
    QTest::newRow("yes, header check fails") << true << 6 << "" << false << 2;
    QTest::newRow("no goes on unsaved") << true << 7 << "" << true << 7;
    QTest::newRow("cancel stops") << true << 2 << "" << true << 2;
    // clang-format on
  }
  void saveQuestion() {
    QFETCH(bool, hasFile);
    QFETCH(QString, saveAsChoice);
    QFETCH(int, result);
    QFETCH(bool, validHeader);
    QFETCH(int, answer);
    FillValidHeader();
    w_->show();
    QVERIFY(w_->close() && MessageBox::history().isEmpty());  // no job lines: nothing asked
    w_->show();
    AddLines({10, 20});
    if (hasFile) SaveAs("job.xml"), QFile::remove(path("job.xml")), AddLines({30});
    if (!validHeader) field("BatchDescription")->setText("  ");
    if (!saveAsChoice.isEmpty()) FileDialog::setNextFileName(path(saveAsChoice));
    MessageBox::setNextAnswer(answer);
    Trigger("Exit");
    QCOMPARE(w_->isVisible(), result == 2);
    QCOMPARE(MessageBox::history().first().buttons, MessageBox::kYesNoCancel);
    QCOMPARE(Messages(), QString("Save Job: Do you want to save current job ?") +
                             (validHeader ? "" : "|Job Description: Please enter description"));
    QCOMPARE(QFile::exists(path("job.xml")), result == 6);
    QCOMPARE(w_->HasUnsavedChanges(), result != 6);
  }

  void newAndOpenFollowTheAnswer() {
    FillValidHeader();
    AddLines({10});
    field<jr::uTextBox>("txtMaxParallel")->setText("7");
    const QString name = path("a job.xml");
    FileDialog::setNextFileName(name + " ");  // blanks are no part of the name
    Trigger("SaveAsBatch");
    const QString saved = "Extraction Job Runner (" + name + ")|1|Nightly load|saved";
    QCOMPARE(Job(), saved);
    AddLines({20});
    MessageBox::setNextAnswer(MessageBox::kCancel);
    Trigger("NewBatch");
    QCOMPARE(Job(), "Extraction Job Runner (" + name + ")|2|Nightly load|unsaved");
    MessageBox::setNextAnswer(MessageBox::kNo);
    Trigger("NewBatch");
    QCOMPARE(Job() + field("LogFile")->text(), QString("Extraction Job Runner|0||unsaved"));
    field<jr::uTextBox>("txtMaxParallel")->setText("5");
    FileDialog::setNextFileName(name);
    Trigger("OpenBatch");
    QCOMPARE(field<jr::uTextBox>("txtMaxParallel")->Text(), QString("7"));
    QCOMPARE(Job(), saved);
  }

  void failedOpenLeavesTheWindowAsItWas_data() {
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing") << QString() << "Job file does not exist";
    QTest::newRow("malformed") << "<VANTORSOREL_Job_specification" << "Job file does not exist";
    QTest::newRow("other") << "<other/>" << "This is no Orvex Job Extraction specification file";
  }
  void failedOpenLeavesTheWindowAsItWas() {
    QFETCH(QString, content);
    QFETCH(QString, message);
    FillValidHeader();
    AddLines({10, 20});
    SaveAs("good.xml");
    field("BatchDescription")->setText("edited");
    if (!content.isNull()) jr::testing::WriteFile(path("bad.xml"), content.toUtf8());
    MessageBox::setNextAnswer(MessageBox::kNo);
    FileDialog::setNextFileName(path("bad.xml"));
    Trigger("OpenBatch");
    QCOMPARE(Messages(), "Save Job: Do you want to save current job ?|Open: " + message);
    QCOMPARE(Job(), "Extraction Job Runner (" + path("good.xml") + ")|2|edited|unsaved");
  }

  void saveAsAsksBeforeReplacingAnotherFileAndSaveNever() {
    FillValidHeader();
    AddLines({10});
    FileDialog::setNextFileName(path("missing folder/job.xml"));
    Trigger("SaveBatch");  // no file yet: Save As, which fails with its cause
    QVERIFY(MessageBox::lastText().contains("missing folder"));
    QCOMPARE(Job(), "Extraction Job Runner|1|Nightly load|unsaved");
    const QString current = path("current.xml"), other = path("other.xml");
    SaveAs("current.xml");
    AddLines({20});
    Trigger("tbSave");  // Save asks nothing
    QVERIFY(FileDialog::shownCount() == 0 && MessageBox::history().isEmpty());
    QVERIFY(ReadAll(current).contains("batch_line=\"20\""));
    jr::testing::WriteFile(other, "keep me");
    AddLines({30});
    FileDialog::setNextFileName(other);
    MessageBox::setNextAnswer(MessageBox::kNo);
    Trigger("SaveAsBatch");
    QCOMPARE(Messages(), "Save as " + other + ": File " + other + " already exists. Overwrite?");
    QCOMPARE(ReadAll(other), QString("keep me"));
    QCOMPARE(Job(), "Extraction Job Runner (" + current + ")|3|Nightly load|unsaved");
    FileDialog::setNextFileName(other);
    MessageBox::setNextAnswer(MessageBox::kYes);
    Trigger("SaveAsBatch");
    QVERIFY(ReadAll(other).contains("batch_line=\"30\""));
    QCOMPARE(w_->CurrentJobFile(), other);
  }

  void commandKeysWinOverTheHeaderFields_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QKeySequence>("key");
    QTest::addColumn<QString>("command");
    const std::pair<const char*, const char*> keys[] = {{"Ctrl+E", "ExecuteJob"},
                                                        {"Ctrl+A", "ChangeBline"},
                                                        {"Shift+Ins", "AddBline"},
                                                        {"Shift+Del", "DeleteBline"}};
    for (const char* name :
         {"BatchDescription", "LogFile", "UserFile", "LogFileDir", "txtMaxParallel"})
      for (const auto& [key, command] : keys)
        QTest::addRow("%s in %s", key, name) << name << QKeySequence(key) << command;
  }
  void commandKeysWinOverTheHeaderFields() {
    QFETCH(QString, name);
    QFETCH(QKeySequence, key);
    QFETCH(QString, command);
    // Only which command a key reaches matters here, not what the command then does.
    for (QAction* action : w_->findChildren<QAction*>())
      QObject::disconnect(action, &QAction::triggered, nullptr, nullptr);
    QSignalSpy triggered(field<QAction>(command.toLatin1().constData()), &QAction::triggered);
    QLineEdit* edit = Show(name);
    QApplication::clipboard()->setText("99");
    edit->setText("12");
    edit->setCursorPosition(1);
    QTest::keySequence(edit, key);
    QCOMPARE(triggered.count(), 1);
    QCOMPARE(edit->text() + "|" + edit->selectedText(), QString("12|"));
  }

  void aCutOffCellShowsItsText() {
    AddLines({10});
    const QString description = "Export customer accounts of every branch to the warehouse";
    w_->table().Set(jr::kColDescription, 0, description.toStdString());
    Show("BatchDescription");
    auto* grid = field<QTableView>("Grid");
    grid->horizontalHeader()->resizeSection(jr::kColDescription, 80);
    const QRect cell = grid->visualRect(grid->model()->index(0, jr::kColDescription));
    QHelpEvent help(QEvent::ToolTip, cell.center(), grid->viewport()->mapToGlobal(cell.center()));
    QApplication::sendEvent(grid->viewport(), &help);
    QTRY_COMPARE(QToolTip::text(), description);
  }

  void recentFilesKeepTheLastEightOpened() {
    FillValidHeader();
    AddLines({10});
    for (int i = 1; i <= 9; ++i) SaveAs(QString("job%1.xml").arg(i));
    QCOMPARE(Recent(), QString("&1 job9.xml,&2 job8.xml,&3 job7.xml,&4 job6.xml,&5 job5.xml,"
                               "&6 job4.xml,&7 job3.xml,&8 job2.xml"));
    FileDialog::setNextFileName(path("job5.xml"));
    Trigger("OpenBatch");
    // A file that is gone is named and dropped from the list; the job stays as it was.
    QFile::remove(path("job9.xml"));
    Trigger("RecentFile2");
    QCOMPARE(Messages(), "Open: The job file " + path("job9.xml") +
                             " no longer exists. It has been removed from the recent files.");
    QCOMPARE(w_->CurrentJobFile(), path("job5.xml"));
    Trigger("RecentFile3");
    QCOMPARE(w_->CurrentJobFile(), path("job7.xml"));
    // The list is the user's, not the window's.
    w_ = std::make_unique<jr::BatchDefinitionFrm>();
    QVERIFY(Recent().startsWith("&1 job7.xml,&2 job5.xml,&3 job8.xml,"));
  }

  void aDroppedJobFileOpensAsOpenDoes() {
    FillValidHeader();
    AddLines({10, 20});
    SaveAs("dropped.xml");
    Trigger("NewBatch");
    AddLines({30});
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path("dropped.xml"))});
    // A drop goes where the drag entered, and only when it was welcome there.
    auto drop = [](QWidget* target, const QMimeData& data) {
      QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(target, &enter);
      QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(target, &drop);
      return enter.isAccepted();
    };
    MessageBox::setNextAnswer(MessageBox::kNo);
    QVERIFY(drop(Show("LogFile"), data));
    QTRY_COMPARE(Job(), "Extraction Job Runner (" + path("dropped.xml") + ")|2|Nightly load|saved");
    QCOMPARE(Messages(), QString("Save Job: Do you want to save current job ?"));
    QVERIFY(!drop(w_.get(), QMimeData()));
  }

  void editOptionOpensTheEditorWithTheJob() {
    QCOMPARE(jr::EditorJobFile({"--edit", "night", " run.xml"}).value(), "night  run.xml");
    QVERIFY(!jr::EditorJobFile({"job.xml", "--edit"}));
    QVERIFY(!jr::RunCommandLine({"--edit", "no such.xml"}));  // the window, not a run
    FillValidHeader();
    AddLines({10});
    SaveAs("night  run.xml");
    w_ = std::make_unique<jr::BatchDefinitionFrm>();
    QVERIFY(w_->OpenJobFile(path("night  run.xml"), true));
    QCOMPARE(Job(), "Extraction Job Runner (" + path("night  run.xml") + ")|1|Nightly load|saved");
    w_ = std::make_unique<jr::BatchDefinitionFrm>();
    QVERIFY(!w_->OpenJobFile(path("missing.xml"), true));
    QCOMPARE(Messages() + "|" + Job(), "Open: Job file does not exist|Extraction Job Runner|0||unsaved");
  }

  void batchFileRunsTheProgramWithTheSavedJob() {
    Trigger("MakeBatch");
    QCOMPARE(Messages(), QString("Make .bat file: Please first save this job"));
    // A stand-in program that writes each argument it gets on a line of its own.
    const QString program = path("fake runner"), script = path("run job.sh");
    jr::testing::WriteFile(
        program, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.args\"\n",
        true);
    w_->setProgramPath(program);
    FillValidHeader();
    AddLines({10});
    SaveAs("it's a $HOME; night  run.xml");
    FileDialog::setNextFileName(script);
    Trigger("MakeBatch");
    QProcess run;
    run.start(script, {});
    QVERIFY(run.waitForFinished(10000) && run.exitCode() == 0);
    // One argument, unchanged.
    QCOMPARE(ReadAll(program + ".args"), path("it's a $HOME; night  run.xml") + "\n");
    FileDialog::setNextFileName(path("missing/run.sh"));
    Trigger("MakeBatch");
    QCOMPARE(Messages(), "Make .bat file: Unable to create .bat file: " + path("missing/run.sh"));
  }

  void executeRefusesOrStopsBeforeItsQuestion() {
    FillValidHeader();
    for (const char* active : {"", "True"}) {  // no lines, or none of them "true"
      if (*active) AddLines({10, 20}, active);
      Trigger("ExecuteJob");
      QCOMPARE(Messages(), QString("Execute: No batchlines to execute"));
    }
    AddLines({30});
    field("LogFile")->clear();
    Trigger("ExecuteJob");
    FillValidHeader();
    Trigger("ExecuteJob");  // Save As cancelled
    field<jr::uTextBox>("txtMaxParallel")->setText("12.5");
    Trigger("ExecuteJob");
    QCOMPARE(Messages(),
             "Log File (Administrators): Please enter Log File (Administrators)|Execute: Maximum "
             "Parallel Running Job Lines must be a whole number from 1 to 99");
    field<jr::uTextBox>("txtMaxParallel")->setText("4");
    FileDialog::setNextFileName(path("job.xml"));
    MessageBox::setNextAnswer(MessageBox::kNo);
    Trigger("ExecuteJob");
    QCOMPARE(Messages(), QString("Execute: Execute Job ?"));
    QVERIFY(!w_->HasUnsavedChanges() && executor_->runs == 0);  // saved, though not run
  }

  void runShowsProgressBlocksJobChangesAndStopsOrCloses() {
    w_->show();
    FillValidHeader();
    AddLines({10, 20, 30});
    w_->table().Set(jr::kColActive, 2, "false");
    // Converted as an unattended run converts it.
    field<jr::uTextBox>("txtMaxParallel")->setText(" 04");
    SaveAs("job.xml");
    auto* progress = field<QLabel>("runProgress");
    auto* stop = field<QPushButton>("StopRun");
    QStringList blocked;
    QString during_text;
    executor_->passes = 1000;  // 20 s unless stopped
    executor_->during = [&] {
      for (QAction* action : w_->findChildren<QAction*>())
        if (!action->isEnabled()) blocked << action->objectName();
      QVERIFY(!stop->isHidden() && stop->isEnabled());
      during_text = progress->text();
      Trigger("ExecuteJob");  // no second run inside the first
      QTimer::singleShot(50, stop, &QPushButton::click);
    };
    QElapsedTimer timer;
    timer.start();
    MessageBox::setNextAnswer(MessageBox::kYes);
    Trigger("ExecuteJob");
    QVERIFY(executor_->stopped && timer.elapsed() < 5000);
    QCOMPARE(QString::number(executor_->runs) + " " + executor_->description.c_str() + " " +
                 QString::number(executor_->max),
             QString("1 Nightly load 4"));
    blocked.sort();
    QCOMPARE(blocked.join(" "),
             QString("AddBline ChangeBline DeleteBline ExecuteJob NewBatch OpenBatch RecentFile1 "
                     "RecentFile2 RecentFile3 RecentFile4 RecentFile5 RecentFile6 RecentFile7 "
                     "RecentFile8 tbAdd tbChange tbDelete tbNew tbOpen"));
    QVERIFY2(during_text.contains("2 running") && during_text.contains("10, 20"),
             qPrintable(during_text));
    QVERIFY(field<QAction>("NewBatch")->isEnabled() && stop->isHidden());
    QVERIFY2(progress->text().contains("1 done, 1 failed"), qPrintable(progress->text()));
    // Closing during a run asks; Yes stops the run and closes once it is over.
    executor_->during = [&] {
      MessageBox::setNextAnswer(MessageBox::kNo);
      QVERIFY(!w_->close());
      MessageBox::setNextAnswer(MessageBox::kYes);
      QVERIFY(!w_->close());
    };
    MessageBox::setNextAnswer(MessageBox::kYes);
    Trigger("ExecuteJob");
    QVERIFY(executor_->stopped);
    QTRY_VERIFY(!w_->isVisible());
  }

  void executeRunsTheJobAndWritesItsReports() {
    Stop();
    Start(jr::MakeDriverJobExecutor());
    QCOMPARE(QProcess::execute("/bin/bash", {JOBRUNNER_SOURCE_DIR "/scripts/make-utilities.sh",
                                             path("install"), qgetenv("JOBRUNNER_BIN_DIR")}),
             0);
    qputenv("JOBRUNNER_REGISTRY", path("install/registry.reg").toUtf8());
    qputenv("JOBRUNNER_EVENT_LOG", path("events.log").toUtf8());
    qputenv("JOBRUNNER_METADATA_DB", path("metadata.sqlite").toUtf8());
    FillValidHeader();
    field<QCheckBox>("chkLogToEventLog")->setChecked(true);
    AddLines({10, 20});
    w_->table().Set(jr::kColOptions, 0, "-sleep 300");
    w_->table().Set(jr::kColWait, 1, "10");
    w_->table().Set(jr::kColOptions, 1, "-status failure");
    SaveAs("job.xml");
    MessageBox::setNextAnswer(MessageBox::kYes);
    QElapsedTimer timer;
    timer.start();
    Trigger("ExecuteJob");
    // Two short lines, one after the other: noticed as they end, not a second later each.
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(ReadAll(path("admin.htm")).contains("Flow Runner") && QFile::exists(path("user.htm")));
    QCOMPARE(ReadAll(path("events.log")),
             QString("Extraction Job Runner\t1\t0\t1\t\\r\\n\\r\\nJob 'Nightly load' finished "
                     "with error(s).\n"));
    QVERIFY(field<QLabel>("runProgress")->text().contains("finished with error(s)."));
  }

 private:
  // Shows the window, active, with the focus in that header field.
  QLineEdit* Show(const QString& name) {
    w_->show();
    w_->activateWindow();
    if (!QTest::qWaitForWindowActive(w_.get())) qFatal("the window is not active");
    QLineEdit* edit = name == "txtMaxParallel" ? field<jr::uTextBox>("txtMaxParallel")->inner()
                                               : field(name.toLatin1().constData());
    edit->setFocus();
    return edit;
  }

  // The visible recent files' captions, joined by ",".
  QString Recent() const {
    QStringList captions;
    for (int i = 1; i <= 8; ++i) {
      auto* action = field<QAction>(QString("RecentFile%1").arg(i).toLatin1().constData());
      if (action->isVisible()) captions << action->text();
    }
    return captions.join(",");
  }

  ScriptedExecutor* executor_ = nullptr;
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
