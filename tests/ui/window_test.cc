// The window tests, as an administrator meets the program: the main window's header checks
// and every edit that must be saved; New, Open, Save, Save As and Exit with the save question
// and the overwrite question, files that cannot be read or written leaving the window as it
// was; menu keys that win over the header fields, recent files, drops and `--edit`; Make
// Batch File's script, Execute Job's refusals, the window during a scripted run (progress,
// blocked commands, Stop, closing) and one run through the real run driver; Insert, Details
// and Delete over a grid whose model Qt's model tester watches; and the job line dialog as its
// user drives it, the stand-in program answering its Options button. The rules behind the
// messages are tested in tests/core/job_rules_test.cc; here, that the windows show them.

#include <QAbstractItemModelTester>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGraphicsItem>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableView>
#include <QTableWidget>
#include <QToolTip>
#include <QUndoStack>
#include <QUrl>
#include <thread>

#include "app/cli.h"
#include "platform/process_launcher.h"
#include "support/fakes.h"
#include "support/run_program.h"
#include "ui/graph/job_graph_view.h"
#include "ui/history/run_history_window.h"
#include "ui/main_window/job_executor.h"
#include "ui/notify_dialog/notify_dialog.h"
#include "ui/schedule_dialog/schedule_dialog.h"
#include "window_fixture.h"

using namespace jr;
using testing::Find;
using testing::Messages;
using testing::ReadAll;
using testing::WriteFile;
using DialogStep = std::function<void(JobLineDialog&)>;

namespace {

// Plays a run on the run thread: starts every active line, pauses until stopped or for
// `passes` pauses of 20 ms, then ends the lines (line 20 fails).
class ScriptedExecutor final : public jr::JobExecutor {
 public:
  jr::JobRunOutcome execute(const jr::RunSessionRequest& request, const jr::StopFlag& stop,
                            jr::RunSessionObserver& observers) override {
    const jr::JobDocument& job = request.job;
    ++runs, handed = job, may_wait = request.may_wait;
    max = jr::CheckJob(job).settings.maximum;
    std::vector<std::unique_ptr<jr::RunLine>> lines;
    for (int row = 0; row < job.table.LineCount(); ++row) {
      if (job.table.Text(jr::kColActive, row) != "true") continue;
      lines.push_back(std::make_unique<jr::RunLine>());
      lines.back()->SetJobLineNr(job.table.LineNumberAt(row));
      observers.LineStarted(*lines.back());
    }
    for (int pass = 0; pass < passes && !stop.Requested(); ++pass)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    stopped = stop.Requested();
    for (auto& line : lines)
      line->SetState(line->JobLineNr() == 20 ? LineState::kFailed : LineState::kSucceeded),
          observers.LineFinished(*line);
    return {true, "finished with error(s)."};
  }

  int runs = 0, passes = 3, max = 0;
  bool stopped = false, may_wait = true;
  jr::JobDocument handed;  // the job of the last run
};

// A row as the window hands it over: a new line has neither number nor type.
JobLineTable::Row Row(const char* number = "", const char* type = "") {
  JobLineTable::Row row;
  row.fill(std::string());
  row[kColNumber] = number, row[kColType] = type, row[kColActive] = "true";
  return row;
}

void SelectType(JobLineDialog& d, const char* type) {
  auto* types = Find<QComboBox>(&d, "type");
  types->setCurrentIndex(types->findText(type));
}
// Fills in a number (and the type, for a new line) and presses OK, or Cancel.
DialogStep Answer(const QString& number, const char* button = "okButton") {
  return [=](JobLineDialog& d) {
    Find(&d, "number")->setText(number);
    SelectType(d, "Flow Runner");
    Find<QPushButton>(&d, button)->click();
  };
}

}  // namespace

class JobRunnerWindowTest : public testing::WindowTest {
  Q_OBJECT

 private slots:
  void init() {
    qputenv("JOBRUNNER_REGISTRY", "/nonexistent/registry.reg");
    qunsetenv("JOBRUNNER_STANDIN_CONFIG_REPLY");
    qunsetenv("JOBRUNNER_EVENT_LOG");
    auto executor = std::make_unique<ScriptedExecutor>();
    executor_ = executor.get();
    Start(std::move(executor));
    qputenv("JOBRUNNER_METADATA_DB", path("metadata.sqlite").toUtf8());  // and its run locks
    FillValidHeader();
    w_->show();
    tester_ = std::make_unique<QAbstractItemModelTester>(
        field<QTableView>("jobLines")->model(),
        QAbstractItemModelTester::FailureReportingMode::QtTest);
    registry_ = test::MapRegistry();
    registry_.InstallKeld("7", temp_->path().toStdString());
  }
  void cleanup() { dialog_.reset(), tester_.reset(), Stop(); }

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
    const char* names[] = {"description", "adminReport", "userReport", "logFolder"};
    for (int i = 0; i < 4; ++i) field(names[i])->setText(fields[i].replace("@", temp_->path()));
    QCOMPARE(field<JobHeaderForm>("jobHeader")->checkJobSettings(), message.isEmpty());
    QCOMPARE(Messages(), message.replace("@", temp_->path()));
    // The probe leaves nothing behind and never touches an existing report.
    QCOMPARE(QDir(temp_->path()).entryList(QDir::Files), QStringList{"old.htm"});
    QCOMPARE(ReadAll(path("old.htm")), QString("report"));
  }

  void saveQuestion_data() {
    QTest::addColumn<bool>("hasFile");
    QTest::addColumn<MessageBox::Answer>("answer");
    QTest::addColumn<QString>("saveAsChoice");
    // Yes: saved and closed, No: closed unsaved, Cancel: kept open.
    QTest::addColumn<MessageBox::Answer>("result");
    using enum MessageBox::Answer;
    // clang-format off
    QTest::newRow("yes saves to the current file") << true << kYes << "" << kYes;
    QTest::newRow("yes without a file saves as") << false << kYes << "job.xml" << kYes;
    QTest::newRow("yes, save as cancelled") << false << kYes << "" << kCancel;
    QTest::newRow("no goes on unsaved") << true << kNo << "" << kNo;
    QTest::newRow("cancel stops") << true << kCancel << "" << kCancel;
    // clang-format on
  }
  void saveQuestion() {
    QFETCH(bool, hasFile);
    QFETCH(QString, saveAsChoice);
    QFETCH(MessageBox::Answer, result);
    QFETCH(MessageBox::Answer, answer);
    AddLines({10, 20});
    if (hasFile) SaveAs("job.xml"), QFile::remove(path("job.xml")), AddLines({30});
    if (!saveAsChoice.isEmpty()) FileDialog::setNextFileName(path(saveAsChoice));
    MessageBox::setNextAnswer(answer);
    Trigger("exit");
    QCOMPARE(w_->isVisible(), result == MessageBox::Answer::kCancel);
    QCOMPARE(MessageBox::history().first().buttons, MessageBox::kYesNoCancel);
    QCOMPARE(Messages(), QString("Save Job: Do you want to save current job ?"));
    QCOMPARE(QFile::exists(path("job.xml")), result == MessageBox::Answer::kYes);
    QCOMPARE(w_->hasUnsavedChanges(), result != MessageBox::Answer::kYes);
  }

  void newAndOpenFollowTheAnswer() {
    AddLines({10});
    QTest::keyClicks(field("jobTimeLimit"), "0x7200");  // whole numbers from 1 only
    const QString name = path("a job.xml");
    FileDialog::setNextFileName(name + " ");  // blanks are no part of the name
    Trigger("saveJobAs");
    const QString saved = "Extraction Job Runner (" + name + ")|1|Nightly load|saved";
    QCOMPARE(Job(), saved);
    AddLines({20});
    MessageBox::setNextAnswer(MessageBox::Answer::kCancel);
    Trigger("newJob");
    QCOMPARE(Job(), "Extraction Job Runner (" + name + ")|2|Nightly load|unsaved");
    MessageBox::setNextAnswer(MessageBox::Answer::kNo);
    Trigger("newJob");
    QCOMPARE(Job() + field("adminReport")->text() + field("jobTimeLimit")->text(),
             QString("Extraction Job Runner|0||saved"));
    FileDialog::setNextFileName(name);
    Trigger("openJob");
    QCOMPARE(Job() + "|" + field("jobTimeLimit")->text(), saved + "|7200");
  }

  void failedOpenLeavesTheWindowAsItWas_data() {
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("message");
    // clang-format off
    QTest::newRow("malformed") << "<VANTORSOREL_Job_specification" << "This is no Orvex Job Extraction specification file\n@:1:30: error parsing start element tag";
    QTest::newRow("other") << "<other/>" << "This is no Orvex Job Extraction specification file\n\"@\": the root element is \"other\"";
    // clang-format on
  }
  void failedOpenLeavesTheWindowAsItWas() {
    QFETCH(QString, content);
    QFETCH(QString, message);
    AddLines({10, 20});
    SaveAs("good.xml");
    field("description")->setText("edited");
    if (!content.isNull()) jr::testing::WriteFile(path("bad.xml"), content.toUtf8());
    MessageBox::setNextAnswer(MessageBox::Answer::kNo);
    FileDialog::setNextFileName(path("bad.xml"));
    Trigger("openJob");
    QCOMPARE(Messages(), "Save Job: Do you want to save current job ?|Open: " +
                             message.replace("@", path("bad.xml")));
    QCOMPARE(Job(), "Extraction Job Runner (" + path("good.xml") + ")|2|edited|unsaved");
  }

  void anUnusableRegistryIsNamedAsARunNamesIt() {
    w_->warnAboutRegistry();  // a missing file is no fault: the defaults hold
    QCOMPARE(Messages(), "");
    qputenv("JOBRUNNER_REGISTRY", "/dev/zero");
    w_->warnAboutRegistry();
    QCOMPARE(Messages(),
             "Extraction Job Runner: the registry file \"/dev/zero\" cannot be read: "
             "it is a character device, not a file; no registry values are used");
  }

  void saveAsAsksBeforeReplacingAnotherFileAndSaveNever() {
    AddLines({10});
    FileDialog::setNextFileName(path("missing folder/job.xml"));
    Trigger("saveJob");  // no file yet: Save As, which fails with its cause
    QVERIFY(MessageBox::lastText().contains("missing folder"));
    QCOMPARE(Job(), "Extraction Job Runner|1|Nightly load|unsaved");
    const QString current = path("current.xml"), other = path("other.xml");
    SaveAs("current.xml");
    AddLines({20});
    Trigger("saveJobTool");  // Save asks nothing
    QVERIFY(FileDialog::shownCount() == 0 && MessageBox::history().isEmpty());
    QVERIFY(ReadAll(current).contains("batch_line=\"20\""));
    jr::testing::WriteFile(other, "keep me");
    AddLines({30});
    FileDialog::setNextFileName(other);
    MessageBox::setNextAnswer(MessageBox::Answer::kNo);
    Trigger("saveJobAs");
    QCOMPARE(Messages(), "Save as " + other + ": File " + other + " already exists. Overwrite?");
    QCOMPARE(ReadAll(other), QString("keep me"));
    QCOMPARE(Job(), "Extraction Job Runner (" + current + ")|3|Nightly load|unsaved");
    FileDialog::setNextFileName(other);
    MessageBox::setNextAnswer(MessageBox::Answer::kYes);
    Trigger("saveJobAs");
    QVERIFY(ReadAll(other).contains("batch_line=\"30\"") && w_->currentJobFile() == other);
  }

  void commandKeysWinOverTheHeaderFields_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QKeySequence>("key");
    QTest::addColumn<QString>("command");
    const std::pair<const char*, const char*> keys[] = {{"Ctrl+E", "executeJob"},
                                                        {"Ctrl+A", "editJobLine"},
                                                        {"Shift+Ins", "insertJobLine"},
                                                        {"Shift+Del", "deleteJobLine"}};
    for (const char* name :
         {"description", "adminReport", "userReport", "logFolder", "maxParallel"})
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

  // However large the font and however small the window, every header label and field is
  // whole and apart, and the grid has the height that is left; a saved layout the window
  // cannot read is passed over; Tab keeps its order.
  void headerFollowsTheFontAndUnreadableLayoutsArePassedOver() {
    const QFont normal = QApplication::font();
    for (const int scale : {1, 2}) {
      QFont font = normal;
      font.setPointSizeF(normal.pointSizeF() * scale);
      QApplication::setFont(font);
      QSettings settings;
      settings.setValue("window/geometry", QByteArray("a layout of another version"));
      settings.setValue("window/gridColumns", QByteArray("\x01\x02"));
      w_ = std::make_unique<jr::MainWindow>();
      w_->show();
      w_->resize(w_->minimumSizeHint());
      QVERIFY(QTest::qWaitForWindowExposed(w_.get()));
      QApplication::processEvents();
      QList<QWidget*> parts;
      for (QWidget* part : field<QWidget>("jobHeader")->findChildren<QWidget*>()) {
        if (!part->isVisible() || qobject_cast<jr::JobHeaderForm*>(part->parentWidget()) == nullptr)
          continue;
        if (qobject_cast<QLabel*>(part) || qobject_cast<QCheckBox*>(part))
          QVERIFY2(part->width() >= part->sizeHint().width(), qPrintable(part->objectName()));
        for (QWidget* other : parts)
          QVERIFY2(!part->geometry().intersects(other->geometry()),
                   qPrintable(part->objectName() + " " + other->objectName()));
        parts << part;
      }
      QVERIFY(parts.size() >= 15);
      auto* grid = field<QTableView>("jobLines");
      const QPoint grid_top = grid->mapTo(w_.get(), QPoint(0, 0));
      QVERIFY(grid_top.y() > field<QWidget>("jobHeader")->geometry().bottom());
      QVERIFY(grid->height() > 2 * grid->verticalHeader()->defaultSectionSize());
    }
    QApplication::setFont(normal);
    // Tab visits the header in reading order, then the grid.
    QStringList order;
    for (QWidget* at = field("description"); at != field<QTableView>("jobLines");
         at = at->nextInFocusChain())
      if (at->focusPolicy() & Qt::TabFocus) order << at->objectName();
    QCOMPARE(order.join(" "), QString("description adminReport adminReportBrowse userReport "
                                      "userReportBrowse logFolder logFolderBrowse maxParallel "
                                      "logToEventLog jobTimeLimit overlap"));
  }

  // The user sizes every column; Description and Options take the spare width, and a
  // cut-off cell shows its whole text as its tool tip.
  void gridColumnsAreTheUsersAndCutOffTextIsReachable() {
    AddLines({10});
    const QString description = "Export customer accounts of every branch to the warehouse";
    SetCell(kColDescription, 0, description.toStdString());
    w_->show();
    auto* grid = field<QTableView>("jobLines");
    QHeaderView* header = grid->horizontalHeader();
    const int description_width = header->sectionSize(kColDescription);
    w_->resize(w_->width() + 300, w_->height());
    QTRY_VERIFY(header->sectionSize(kColDescription) > description_width);
    for (int column = 0; column < header->count(); ++column)
      QCOMPARE(header->sectionResizeMode(column), QHeaderView::Interactive);
    header->resizeSection(kColDescription, 80);
    const QRect cell = grid->visualRect(grid->model()->index(0, kColDescription));
    QHelpEvent help(QEvent::ToolTip, cell.center(), grid->viewport()->mapToGlobal(cell.center()));
    QApplication::sendEvent(grid->viewport(), &help);
    QTRY_COMPARE(QToolTip::text(), description);
  }

  void recentFilesKeepTheLastEightOpened() {
    AddLines({10});
    for (int i = 1; i <= 9; ++i) SaveAs(QString("job%1.xml").arg(i));
    QCOMPARE(Recent(), QString("&1 job9.xml,&2 job8.xml,&3 job7.xml,&4 job6.xml,&5 job5.xml,"
                               "&6 job4.xml,&7 job3.xml,&8 job2.xml"));
    FileDialog::setNextFileName(path("job5.xml"));
    Trigger("openJob");
    // A file that is gone is named and dropped from the list; the job stays as it was.
    QFile::remove(path("job9.xml"));
    Trigger("recentFile2");
    QCOMPARE(Messages(), "Open: The job file " + path("job9.xml") +
                             " no longer exists. It has been removed from the recent files.");
    Trigger("recentFile3");
    QCOMPARE(w_->currentJobFile(), path("job7.xml"));
    // The list is the user's, not the window's.
    w_ = std::make_unique<jr::MainWindow>();
    QVERIFY(Recent().startsWith("&1 job7.xml,&2 job5.xml,&3 job8.xml,"));
  }

  void aDroppedJobFileOpensAsOpenDoes() {
    AddLines({10, 20});
    SaveAs("dropped.xml");
    Trigger("newJob");
    AddLines({30});
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path("dropped.xml"))});
    data.setText(path("dropped.xml"));  // which a text field would take as typed
    // A drop goes where the drag entered, here a header field.
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Show("adminReport"), &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    MessageBox::setNextAnswer(MessageBox::Answer::kNo);
    QApplication::sendEvent(field("adminReport"), &drop);
    QTRY_COMPARE(Job(), "Extraction Job Runner (" + path("dropped.xml") + ")|2|Nightly load|saved");
    QCOMPARE(Messages(), QString("Save Job: Do you want to save current job ?"));
  }

  void editOptionOpensTheEditorWithTheJob() {
    QCOMPARE(jr::EditorJobFile({"--edit", "night", " run.xml"}).value(), "night  run.xml");
    QVERIFY(!jr::RunCommandLine({"--edit", "no such.xml"}));  // the window, not a run
    AddLines({10});
    SaveAs("night  run.xml");
    const QString name = path("night  run.xml");
    w_ = std::make_unique<jr::MainWindow>();
    // A file that cannot be loaded is named as Open names it (what it leaves is as Open's).
    QVERIFY(!w_->openJobFile(path("missing.xml"), true));
    QCOMPARE(Messages(), QString("Open: Job file does not exist"));
    QVERIFY(w_->openJobFile(name, true));
    QCOMPARE(Job(), "Extraction Job Runner (" + name + ")|1|Nightly load|saved");
  }

  void batchFileRunsTheProgramWithTheSavedJob() {
    Trigger("makeBatchFile");
    QCOMPARE(Messages(), QString("Make .bat file: Please first save this job"));
    // A stand-in program that writes each argument it gets on a line of its own.
    const QString program = path("fake runner"), script = path("run job.sh");
    jr::testing::WriteFile(
        program, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.args\"\n",
        true);
    w_->setProgramPath(program);
    AddLines({10});
    SaveAs("it's a $HOME; night  run.xml");
    FileDialog::setNextFileName(script);
    Trigger("makeBatchFile");
    QCOMPARE(RunToEnd(script, {}).status, 0);
    // One argument, unchanged.
    QCOMPARE(ReadAll(program + ".args"), path("it's a $HOME; night  run.xml") + "\n");
    // The script's text and what it sets under cron are jobrunner --batch-file's (run_test).
    FileDialog::setNextFileName(path("missing/run.sh"));
    Trigger("makeBatchFile");
    QCOMPARE(Messages(), "Make .bat file: Unable to create .bat file: " + path("missing/run.sh"));
  }

  void executeRefusesOrStopsBeforeItsQuestion() {
    AddLines({10, 20}, "True");  // only "true" is active
    Trigger("executeJob");
    QCOMPARE(Messages(), QString("Execute: No batchlines to execute"));
    AddLines({30});
    field("adminReport")->clear();
    Trigger("executeJob");
    FillValidHeader();
    Trigger("executeJob");  // Save As cancelled
    field("maxParallel")->setText("12.5");
    Trigger("executeJob");
    QCOMPARE(Messages(),
             "Log File (Administrators): Please enter Log File (Administrators)|Execute: The job "
             "cannot run: the maximum number of parallel job lines \"12.5\" is not a whole number "
             "from 1 to 99.");
    field("maxParallel")->setText("4");
    FileDialog::setNextFileName(path("job.xml"));
    Execute(MessageBox::Answer::kNo);
    QVERIFY(!w_->hasUnsavedChanges() && executor_->runs == 0);  // saved, though not run
    // The window never waits for another run of the job; one that goes on refuses this one
    // in the words of the command line.
    field<QComboBox>("overlap")->setCurrentText("Wait");
    Execute();
    QTRY_VERIFY(!w_->isRunning());
    QVERIFY(executor_->runs == 1 && !executor_->may_wait);
    QVERIFY(ReadAll(path("job.xml")).contains(" Overlap=\"wait\">"));
    jr::RunSessionOutcome busy;
    busy.end = jr::RunSessionOutcome::End::kBusy;
    busy.busy = jr::RunLockHolder{"20261207_021500_SorelJob~7", 4242, {}, "job.xml"};
    const jr::JobRunOutcome told = jr::WindowOutcomeOf(busy, path("job.xml").toStdString());
    QVERIFY(!told.ran && told.title == "Execute Job");
    QVERIFY(QString::fromStdString(told.message)
                .startsWith("The job \"" + path("job.xml") +
                            "\" is already running (run 20261207_021500_SorelJob~7, process 4242, "
                            "started "));
    // A run's final status, a stop while its reports were written included, is the
    // command line's.
    jr::RunSessionOutcome stopped;
    stopped.end = jr::RunSessionOutcome::End::kRan;
    stopped.level = jr::ErrorLevel::kFatal;
    stopped.run.report.status_text = "finished without errors.";
    QCOMPARE(jr::WindowOutcomeOf(stopped, "").message, std::string("finished with fatal error."));
  }

  void notificationsAreCheckedSavedClearedAndRefuseARun() {
    AddLines({10});
    SaveAs("job.xml");
    const QStringList shown = {Notify("a@b.org, ops@", "", 1),
                               Notify("", "https://u:pw@h/x?token=1 2")};
    QVERIFY(!w_->hasUnsavedChanges());
    QCOMPARE(Notify(" a@b.org ", " https://h/x ", 1), QString("closed"));
    QVERIFY(w_->hasUnsavedChanges());
    Trigger("saveJob");
    QCOMPARE(Notify("a@b.org", "https://h/x", 1), QString("closed"));  // no change
    QCOMPARE(shown, QStringList({"Notifications: NotifyMail: \"ops@\" is not a mail address",
                                 "Notifications: NotifyWebhook: \"https://h/x\" is not an http:// "
                                 "or https:// URL"}));
    QVERIFY(!w_->hasUnsavedChanges() &&
            ReadAll(path("job.xml"))
                .contains(
                    " NotifyMail=\"a@b.org\" NotifyWebhook=\"https://h/x\" NotifyOn=\"always\">"));
    // A hand-edited value refuses a run: aHandEditedFaultRefusesExecuteAsARunDoes.
    Trigger("newJob");
    QVERIFY(w_->currentDocument().NotifyOn.empty() && w_->currentDocument().NotifyMail.empty());
  }

  // systemd's own reading in the dialog, off the window's thread; a day off is asked about.
  void scheduleDialogPreviewsSystemdsRunsAndTheWindowAsksOnADayOff() {
    AddLines({10});
    SaveAs("job.xml");
    const QString today = QDate::currentDate().toString(Qt::ISODate);
    WriteFile(path("days.txt"), "# closed\n" + today.toUtf8() + "..2099-12-31\n");
    QStringList seen;  // per preview: its verdict, its first run, whether OK takes it
    QVERIFY(Run<ScheduleDialog>(
        [&] { Trigger("editSchedule"); },
        [&](ScheduleDialog& d) {
          QSignalSpy shown(&d, &ScheduleDialog::previewShown);
          auto* runs = Find<QListWidget>(&d, "scheduleNextRuns");
          for (const auto& [expression, calendar] :
               {std::pair{"bogus", ""}, {"Mon..Fri *-*-* 02:30:00", ""}, {"daily", "days.txt"}}) {
            Find(&d, "scheduleExpression")->setText(expression);
            Find(&d, "scheduleCalendar")->setText(calendar);
            QVERIFY(shown.wait(5000));
            seen << Find<QLabel>(&d, "scheduleVerdict")->text() + "|" +
                        QString::number(runs->count()) + "|" +
                        (runs->count() ? runs->item(0)->text() : "") + "|" +
                        (Find<QPushButton>(&d, "okButton")->isEnabled() ? "ok" : "no ok");
          }
          Find<QCheckBox>(&d, "scheduleCatchUp")->setChecked(false);
          Find<QSpinBox>(&d, "scheduleRandomDelay")->setValue(90);
          Find<QPushButton>(&d, "okButton")->click();
        }));
    QCOMPARE(seen[0],
             "the schedule \"bogus\" is no calendar expression systemd takes: Failed to "
             "parse calendar specification 'bogus': Invalid argument|0||no ok");
    QVERIFY(seen[1].startsWith("systemd reads it as: Mon..Fri *-*-* 02:30:00|5|"));
    QVERIFY(seen[1].endsWith(" 02:30:00|ok") && seen[2].endsWith(" day off: nothing runs|ok"));
    QVERIFY2(seen[2].contains("|12|"), qPrintable(seen[2]));
    Trigger("saveJob");
    QVERIFY(
        ReadAll(path("job.xml"))
            .contains(
                " Schedule=\"daily\" CatchUp=\"false\" RandomDelay=\"90\" Calendar=\"days.txt\">"));
    Execute(MessageBox::Answer::kNo);
    QCOMPARE(Messages(), "Execute: Today (" + today + ") is a day off in " + path("days.txt") +
                             ". Run the job anyway?");
    QVERIFY(!w_->isRunning());
  }

  // A hand-edited header that a run refuses is refused by Execute in the run's own sentences
  // (the job's check), a URL without its secrets; each value's rule is the check's own test,
  // and how an unattended run and --check frame the same sentences, theirs.
  void aHandEditedFaultRefusesExecuteAsARunDoes_data() {
    QTest::addColumn<QString>("attribute");
    QTest::addColumn<QString>("fault");
    QTest::newRow("maximum")
        << "MaxParallel=\"1x7\""
        << "the maximum number of parallel job lines \"1x7\" is not a whole number from 1 to 99";
    QTest::newRow("webhook") << "MaxParallel=\"4\" NotifyWebhook=\"ftp://u:pw@h/x?t=1\""
                             << "NotifyWebhook: \"ftp://h/x\" is not an http:// or https:// URL";
  }
  void aHandEditedFaultRefusesExecuteAsARunDoes() {
    QFETCH(QString, attribute);
    QFETCH(QString, fault);
    AddLines({10});
    SaveAs("job.xml");
    WriteFile(path("job.xml"),
              ReadAll(path("job.xml")).replace("MaxParallel=\"99\"", attribute).toUtf8());
    QVERIFY(w_->openJobFile(path("job.xml"), false));
    Trigger("executeJob");
    QCOMPARE(Messages(), "Execute: The job cannot run: " + fault + ".");
    QVERIFY(executor_->runs == 0);
  }

  // What the list reading passes over, set in the table or by hand in the file (`from` to
  // `to`), is said first by a run in the window, as a run and --check say it (their own tests
  // show how); what the file's reading passed over is named when the window opens it.
  void aWarningIsSaidFirstByARunInTheWindow_data() {
    QTest::addColumn<QString>("wait");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("warning");
    // clang-format off
    QTest::newRow("none") << "10" << "" << "" << "";
    QTest::newRow("itself") << "10,20" << "" << "" << "job line 20: wait entry \"20\" names the line itself; the line will never start";
    QTest::newRow("unread") << "" << "skip_on_error=\"\"" << "repeat_on_error=\"20\"" << "job line 10: repeat_on_error was not read: the lists of a job line are read only when it has skip_on_error";
    // clang-format on
  }
  void aWarningIsSaidFirstByARunInTheWindow() {
    QFETCH(QString, wait);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, warning);
    StartWithTheRunDriver();
    AddLines({10, 20});
    WriteFile(path("ok.sh"), "#!/bin/sh\nexit 0\n", true);
    for (int row : {0, 1}) {
      SetCell(jr::kColType, row, "User Batchfile");
      SetCell(jr::kColBatchFile, row, path("ok.sh").toStdString());
    }
    SetCell(jr::kColWait, 1, wait.toStdString());
    SaveAs("job.xml");
    const QString file = path("job.xml");
    if (!from.isEmpty()) WriteFile(file, ReadAll(file).replace(from, to).toUtf8());
    QVERIFY(w_->openJobFile(file, false));
    QCOMPARE(Messages().contains(warning), !from.isEmpty() || warning.isEmpty());
    QSignalSpy ended(w_.get(), &MainWindow::runEnded);
    Execute();
    QVERIFY(ended.wait(20000));
    QCOMPARE(field<QLabel>("runProgress")->toolTip().split('\n').front(), warning);
  }

  void runShowsProgressBlocksJobChangesAndStopsOrCloses() {
    AddLines({10, 20, 30});
    SetCell(jr::kColActive, 2, "false");
    // Converted as an unattended run converts it.
    field("maxParallel")->setText(" 04");
    QCOMPARE(Notify("", "https://h/x"), QString("closed"));  // the run tells its webhook too
    SaveAs("job.xml");
    auto* progress = field<QLabel>("runProgress");
    auto* stop = field<QPushButton>("stopRun");
    QSignalSpy ended(w_.get(), &MainWindow::runEnded);
    executor_->passes = 1000;  // 20 s unless stopped
    Execute();
    QTRY_VERIFY(progress->text().contains("2 running"));
    QVERIFY2(progress->text().contains("10, 20"), qPrintable(progress->text()));
    QStringList blocked;
    for (QAction* action : w_->findChildren<QAction*>())
      if (!action->isEnabled()) blocked << action->objectName();
    QVERIFY(!stop->isHidden() && stop->isEnabled());
    Trigger("executeJob");  // no second run inside the first
    stop->click();
    QVERIFY(ended.wait());
    QVERIFY(executor_->stopped);
    const jr::JobDocument& ran = executor_->handed;
    QCOMPARE(QString::number(executor_->runs) + " " + ran.Description.c_str() + " " +
                 QString::number(executor_->max) + " " + ran.NotifyWebhook.c_str(),
             QString("1 Nightly load 4 https://h/x"));
    blocked.sort();
    QCOMPARE(blocked.join(" "),
             QString("deleteJobLine deleteJobLineTool editJobLine editJobLineTool executeJob "
                     "insertJobLine insertJobLineTool newJob newJobTool openJob openJobTool "
                     "recentFile1 recentFile2 recentFile3 recentFile4 recentFile5 recentFile6 "
                     "recentFile7 recentFile8 redo undo"));
    QVERIFY(field<QAction>("newJob")->isEnabled() && stop->isHidden());
    QVERIFY2(progress->text().contains("1 done, 1 failed"), qPrintable(progress->text()));
    // Closing during a run asks; Yes stops the run and closes once it is over.
    Execute();
    MessageBox::setNextAnswer(MessageBox::Answer::kNo);
    QVERIFY(!w_->close());
    MessageBox::setNextAnswer(MessageBox::Answer::kYes);
    QVERIFY(!w_->close() && w_->isVisible());
    QTRY_VERIFY(!w_->isVisible());
    QVERIFY(executor_->stopped && executor_->runs == 2);
  }

  void executeRunsTheJobAndWritesItsReports() {
    StartWithTheRunDriver();
    AddLines({10, 20, 30});
    SetCell(jr::kColOptions, 0, "-sleep 300");
    SetCell(jr::kColWait, 1, "10");
    SetCell(jr::kColOptions, 1, "-status failure");
    SetCell(jr::kColType, 2, "User Batchfile");
    SetCell(jr::kColDescription, 2, "script");
    SetCell(jr::kColBatchFile, 2, path("gone.sh").toStdString());
    field<QCheckBox>("logToEventLog")->setChecked(true);
    qputenv("JOBRUNNER_EVENT_LOG", path("logs").toUtf8());  // a folder: the entry fails
    SaveAs("job.xml");
    QSignalSpy ended(w_.get(), &MainWindow::runEnded);
    Execute();
    QVERIFY(ended.wait(20000));
    // What the engine said on the run's thread, the window shows once the run is over.
    QVERIFY2(Messages().contains("while writing event to NT Event Log."), "no event-log message");
    QVERIFY(ReadAll(path("admin.htm")).contains("Flow Runner") && QFile::exists(path("user.htm")));
    auto* progress = field<QLabel>("runProgress");
    QVERIFY(progress->text().contains("finished with error(s)."));
    // The run panel names what the run looked at before it started, as the command line
    // prints it, and every warning of the run stays readable after the run.
    QVERIFY(progress->text().endsWith("  2 warnings (point here to read them)."));
    QCOMPARE(progress->toolTip().split('\n').front(),
             "job line 30 (script): the program \"" + path("gone.sh") +
                 "\" is not found; the line will fail to start");
    // A line whose program could not be started says why.
    QCOMPARE(
        w_->statusBar()->currentMessage(),
        "job line 30 (script): could not start " + path("gone.sh") + ": No such file or directory");
    // While a line runs for a minute the run history follows it; Stop ends the run.
    SetCell(jr::kColOptions, 0, "-sleep 60000");
    Execute();
    QTRY_VERIFY(progress->text().contains("Current job lines: 10"));
    Trigger("runHistory");
    QTableWidget* runs = field<RunHistoryWindow>("RunHistoryWindow")->runsTable();
    QTRY_COMPARE(runs->rowCount() ? runs->item(0, 2)->text() : QString(), QString("running"));
    const QString duration = runs->item(0, 1)->text();
    QTRY_VERIFY(runs->item(0, 1)->text() != duration);
    auto* menu = field<QMenu>("fileMenu");
    menu->popup(w_->mapToGlobal(QPoint(0, 0)));
    QTRY_VERIFY(menu->isVisible() && !field<QAction>("executeJob")->isEnabled());
    menu->close();
    QElapsedTimer stopping;
    stopping.start();
    field<QPushButton>("stopRun")->click();
    QVERIFY(ended.wait(20000) && stopping.elapsed() < 10000);
    QVERIFY2(progress->text().contains("finished with fatal error."), qPrintable(progress->text()));
  }

  void insertAndRenumberKeepTheTableSortedAndTheLineCurrent() {
    Insert({"30", "10", "100"});
    // Cancelled, or refused until cancelled: the table stays as it was.
    QVERIFY(Command("insertJobLine", Answer("20", "cancelButton")));
    QVERIFY(Command("insertJobLine", Answer("10")));
    QCOMPARE(State(), "10 30 100 @2");
    // Renumbering resorts and follows the line.
    w_->showTableRow(0);
    QVERIFY(Command("editJobLine", Answer("50")));
    QCOMPARE(State(), "30 50 100 @1");
  }

  void jobGraphFollowsTheJobAndADoubleClickOpensTheLine() {
    QDir(temp_->path()).mkpath("reports");
    WriteFile(path("demo.xml"), ReadAll(JOBRUNNER_SOURCE_DIR "/examples/demo-job.xml.in")
                                    .replace("@DEMO@", temp_->path())
                                    .toUtf8());
    QVERIFY(w_->openJobFile(path("demo.xml"), false));
    Trigger("showJobGraph");
    auto* graph = field<JobGraphView>("jobGraph");
    QSignalSpy laid_out(graph, &JobGraphView::laidOut);
    auto nodes = [graph] {
      std::map<int, QGraphicsItem*> found;
      for (QGraphicsItem* item : graph->scene()->items()) {
        const QVariant number = item->data(JobGraphView::kLineNumberKey);
        if (number.isValid()) found[number.toInt()] = item;
      }
      return found;
    };
    QTRY_COMPARE(nodes().size(), size_t{9});
    w_->showTableRow(8);
    const QModelIndex last = field<QTableView>("jobLines")->model()->index(8, 0);
    const QString gone = last.data().toString();
    MessageBox::setNextAnswer(MessageBox::Answer::kOk);
    Trigger("deleteJobLine");
    QTRY_COMPARE(nodes().size(), size_t{8});
    // An undo brings the line back in both.
    Trigger("undo");
    QTRY_COMPARE(nodes().size(), size_t{9});
    QCOMPARE(last.data().toString(), gone);
    Trigger("redo");
    QTRY_COMPARE(nodes().size(), size_t{8});
    // Changes while a layout is made: only the newest job is drawn, once.
    while (laid_out.wait(300)) {
    }
    laid_out.clear();
    w_->job().undoStack().undo();
    graph->relayout();
    w_->job().undoStack().redo();
    graph->relayout();
    QVERIFY(laid_out.wait(10000));
    QCOMPARE(nodes().size(), size_t{8});
    QVERIFY(!laid_out.wait(300));
    QCOMPARE(laid_out.size(), 1);
    QVERIFY(QTest::qWaitForWindowExposed(graph));
    const QPoint at = graph->mapFromScene(nodes()[60]->sceneBoundingRect().center());
    QString shown;
    QVERIFY(Run([&] { QTest::mouseDClick(graph->viewport(), Qt::LeftButton, {}, at); },
                [&](JobLineDialog& d) { shown = Find(&d, "number")->text(); }));
    QCOMPARE(shown, QString("60"));
    // A job too large to lay out in a few seconds: the view says so instead.
    JobDocument large;
    large.table.SetJobLineCount(JobGraphView::kMostLines + 1);
    for (int row = 0; row <= JobGraphView::kMostLines; ++row)
      large.table.Set(kColNumber, row, std::to_string(row + 1));
    laid_out.clear();
    w_->job().replace(large);
    QVERIFY(laid_out.wait(10000));
    const QList<QGraphicsItem*> items = graph->scene()->items();
    QCOMPARE(items.size(), 1);
    QVERIFY(static_cast<QGraphicsSimpleTextItem*>(items[0])->text().contains("1001 job lines"));
  }

  // Each kind of edit, undone, leaves the job as it was saved and asks nothing on closing;
  // redone, it is the edited job again and the save question comes back. A cancelled dialog
  // is no edit at all.
  void everyEditUndoesAndRedoesExactly() {
    AddLines({10, 20, 30});
    SaveAs("job.xml");
    auto schedule = [this](const char* button) {
      return [this, button] {
        QVERIFY(Run<ScheduleDialog>([&] { Trigger("editSchedule"); },
                                    [&](ScheduleDialog& d) {
                                      QSignalSpy shown(&d, &ScheduleDialog::previewShown);
                                      Find(&d, "scheduleExpression")->setText("daily");
                                      QVERIFY(shown.wait(5000));
                                      Find<QPushButton>(&d, button)->click();
                                    }));
      };
    };
    // On line 20; without a dialog step, the command's question gets `answer`.
    using enum MessageBox::Answer;
    auto line = [this](const char* action, DialogStep step, MessageBox::Answer answer = kOk) {
      return [=, this] {
        w_->showTableRow(1), MessageBox::setNextAnswer(answer);
        QVERIFY(step ? Command(action, step) : (Trigger(action), true));
      };
    };
    const struct {
      std::function<void()> edit;
      const char* text;  // of the one command it makes; "" for none
    } edits[] = {
        {[&] { QTest::keyClicks(field("description"), " in full"); }, "Change Job Description"},
        {[&] { field("adminReport")->setText(path("a.htm")); }, "Change Log File (Administrator)"},
        {[&] {
           FileDialog::setNextFileName(path("c.htm"));
           field<QPushButton>("userReportBrowse")->click();
           QCOMPARE(field("userReport")->text(), path("c.htm"));
         },
         "Change Log File (End Users)"},
        {[&] {
           FileDialog::setNextDirectory(temp_->path());
           field<QPushButton>("logFolderBrowse")->click();
           QCOMPARE(field("logFolder")->text(), temp_->path());
         },
         "Change Log File Folder"},
        {[&] {
           field("maxParallel")->selectAll(), QTest::keyClicks(field("maxParallel"), "42");
           QCOMPARE(field("maxParallel")->text(), QString("42"));
         },
         "Change Maximum Parallel Running Job Lines"},
        {[&] { QTest::keyClicks(field("jobTimeLimit"), "600"); },
         "Change Job time limit (seconds)"},
        {[&] { field<QCheckBox>("logToEventLog")->toggle(); },
         "Change Log result of job to NT Event Log"},
        {[&] { field<QComboBox>("overlap")->setCurrentIndex(2); }, "Change Overlapping runs"},
        {[&] { QCOMPARE(Notify("ops@example.org"), QString("closed")); }, "Change Notifications"},
        {[&] { QCOMPARE(Notify("ops@example.org", "", 0, "cancelButton"), QString("closed")); },
         ""},
        {schedule("okButton"), "Change Schedule"},
        {schedule("cancelButton"), ""},
        {line("insertJobLine", Answer("15")), "Insert Job Line 15"},
        {line("insertJobLine", Answer("15", "cancelButton")), ""},
        {line("editJobLine", Answer("50")), "Change Job Line 50"},
        {line("editJobLine", Answer("50", "cancelButton")), ""},
        {line("deleteJobLine", {}), "Delete Job Line 20"},
        {line("deleteJobLine", {}, kCancel), ""},
    };
    QUndoStack& stack = w_->job().undoStack();
    const QString saved = Text();
    for (const auto& edit : edits) {
      stack.clear();
      edit.edit();
      MessageBox::reset();
      QCOMPARE(QString::number(stack.count()) + stack.undoText(),
               QString::number(*edit.text ? 1 : 0) + edit.text);
      QCOMPARE(Text() == saved, !*edit.text);
      if (!*edit.text) continue;
      const QString edited = Text();
      QCOMPARE(field<QAction>("undo")->text(), QString("&Undo ") + edit.text);
      Trigger("undo");
      QVERIFY(Text() == saved && w_->close() && Messages().isEmpty());
      w_->show(), Trigger("redo"), MessageBox::setNextAnswer(kCancel);
      QVERIFY(Text() == edited && !w_->close());
      QCOMPARE(Messages(), QString("Save Job: Do you want to save current job ?"));
      Trigger("undo");
    }
  }

  void everyColumnGoesThereAndBack() {
    Insert({"10", "30"});
    WriteFile(path("job.sh"), "exit 0\n");
    QVERIFY(Command("insertJobLine", [&](JobLineDialog& d) {
      Find(&d, "number")->setText("20");
      Find(&d, "description")->setText("load");
      SelectType(d, "User Batchfile");
      // Options typed in are taken when the field is left.
      Find<QPlainTextEdit>(&d, "options")->setFocus(Qt::TabFocusReason);
      Find<QPlainTextEdit>(&d, "options")->setPlainText("-password pw -v");
      Find(&d, "waitFor")->setFocus(Qt::TabFocusReason);
      QTest::qWait(10);
      const char* fields[] = {"waitFor",         "skipOnError", "skipOnSuccess", "repeatOnError",
                              "repeatOnSuccess", "batchFile",   "logFile",       "statusFile"};
      const QString texts[] = {"10", "30", "30 ", " 10,", "10", path("job.sh"), "l.txt", "s.txt"};
      for (int i = 0; i < 8; ++i) Find(&d, fields[i])->setText(texts[i]);
      QTest::keyClicks(Find(&d, "timeLimit"), "90");
      // A repeat delay may be 0, a repeat limit starts at 1.
      QTest::keyClicks(Find(&d, "repeatDelay"), "0x5");
      QTest::keyClicks(Find(&d, "repeatLimit"), "0x3");
      Find<QCheckBox>(&d, "stopOnError")->setChecked(true);
      Find<QCheckBox>(&d, "active")->setChecked(false);
      Find<QPushButton>(&d, "okButton")->click();
    }));
    const QString stored = "20|load|User Batchfile|-password pw -v|10|true|false|" +
                           path("job.sh") + "|l.txt|s.txt|30|30 | 10,|10|90|0|3";
    QCOMPARE(Line(w_->table().RowAt(1)), stored);
    // Details shows the line again, its options masked.
    QStringList seen;
    QVERIFY(Command("editJobLine", [&](JobLineDialog& d) {
      seen << Find<QPlainTextEdit>(&d, "options")->toPlainText() << Line(d.jobLine());
    }));
    QCOMPARE(seen, (QStringList{"-password ****** -v", stored}));
  }

  // The password goes into a credential file of mode 0600, the saved job keeps its name.
  void storePasswordAsCredentialLeavesOnlyTheReference() {
    qputenv("JOBRUNNER_CREDENTIALS_DIR", path("credentials").toUtf8());
    AddLines({10});
    SaveAs("nightly.xml");
    WriteFile(path("job.sh"), "exit 0\n");
    QString shown;
    QVERIFY(Command("insertJobLine", [&](JobLineDialog& d) {
      Find(&d, "number")->setText("30");
      SelectType(d, "User Batchfile");
      Find<QPlainTextEdit>(&d, "options")->setPlainText("-password @cred:db -password \"s3 cr\"");
      Find(&d, "batchFile")->setText(path("job.sh"));
      Find<QPushButton>(&d, "storeCredentialButton")->click();
      shown = Find<QPlainTextEdit>(&d, "options")->toPlainText();
      Find<QPushButton>(&d, "okButton")->click();
    }));
    Trigger("saveJob");
    QCOMPARE(shown, QString("-password @cred:db -password @cred:nightly-30"));
    QCOMPARE(TextInput::lastProposed(), QString("nightly-30"));
    const QString job = ReadAll(path("nightly.xml"));
    QVERIFY2(!job.contains("s3 cr") && job.contains("@cred:nightly-30"), qPrintable(job));
    QCOMPARE(ReadAll(path("credentials/nightly-30")), QString("s3 cr"));
    QCOMPARE(QFile(path("credentials/nightly-30")).permissions() & 0x0077, 0);
    qunsetenv("JOBRUNNER_CREDENTIALS_DIR");
  }

  void deleteAsksAndKeepsTheRightRowCurrent_data() {
    QTest::addColumn<int>("selected");
    QTest::addColumn<MessageBox::Answer>("answer");
    QTest::addColumn<QString>("state");
    QTest::newRow("middle") << 1 << MessageBox::Answer::kOk << "10 30 @1";
    QTest::newRow("cancelled") << 1 << MessageBox::Answer::kCancel << "10 20 30 @1";
    QTest::newRow("last") << 2 << MessageBox::Answer::kOk << "10 20 @1";
  }
  void deleteAsksAndKeepsTheRightRowCurrent() {
    QFETCH(int, selected);
    QFETCH(MessageBox::Answer, answer);
    Insert({"10", "20", "30"});
    w_->showTableRow(selected);
    MessageBox::setNextAnswer(answer);
    Trigger("deleteJobLine");
    QCOMPARE(MessageBox::last().default_answer, MessageBox::Answer::kCancel);
    QCOMPARE(Messages(), QString("Delete: Delete Job Line ?"));
    QTEST(State(), "state");
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
    // clang-format off
    QTest::newRow("zeros and blanks") << "number" << true << "  0040 " << "" << "40";
    QTest::newRow("number in use")    << "number" << true << "20" << "Job Line: This Job Line number already exists" << "";
    QTest::newRow("list accepted")    << "skipOnSuccess" << false << ",30, " << "" << ",30, ";
    QTest::newRow("wait higher")      << "waitFor" << false << "30" << "Wait for JobLine(s): Job Line can only wait for lower job line numbers !" << "10";
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
    const bool list = field != "number";
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

  void okRefusesAMissingNumberOrBatchFile() {
    Open({10}, Row("  ", "User Batchfile"));
    Ok();  // a missing number stops the checks at once
    QCOMPARE(Messages(), QString("Job Line: Please fill Job Line"));
    Get("number")->setText("40");
    Ok();
    QCOMPARE(Messages(),
             QString("User-Defined Batch File: Please specify user-defined batch file"));
    Get("batchFile")->setText(path("job.sh"));
    Ok();
    QCOMPARE(Messages(), "User-Defined Batch File: File " + path("job.sh") + " does not exist");
    jr::testing::WriteFile(path("job.sh"), "");
    Get("statusFile")->setText("/srv/a\"b.txt");
    Ok();
    QCOMPARE(Messages(),
             "Job Line: The status file name \"/srv/a\"b.txt\" contains a double "
             "quote, which cannot be passed on a program's command line.");
  }

  void optionsAreMaskedAndEmptiedByATypeChange() {
    JobLineTable::Row row = Row("20", "User Batchfile");
    row[kColOptions] = "-u x -password  s3cret -v";  // two blanks hide it as well as one
    Open({20}, row);
    auto* options = Get<QPlainTextEdit>("options");
    QCOMPARE(options->toPlainText(), QString("-u x -password  ****** -v"));
    // Passing through the field keeps the password, and so does an edit that leaves the
    // mask in its place; only a value typed over the mask replaces it.
    Leave(options);
    QCOMPARE(Cell(kColOptions), QString("-u x -password  s3cret -v"));
    for (const auto& [typed, stored] :
         {std::pair{"-password ****** -v -q", "-password s3cret -v -q"},
          {"-password new -v", "-password new -v"}}) {
      options->setFocus(Qt::TabFocusReason);
      options->setPlainText(typed);
      Leave(options);
      QCOMPARE(Cell(kColOptions), QString(stored));
    }
    // Another type empties and locks the options and the files.
    const QList<QLineEdit*> files{Get("batchFile"), Get("logFile"), Get("statusFile")};
    for (QLineEdit* field : files) field->setText("f.txt");
    Get<QComboBox>("type")->setCurrentIndex(0);
    QCOMPARE(Cell(kColOptions) + options->toPlainText(), QString());
    for (QLineEdit* field : files) QVERIFY(field->text().isEmpty() && !field->isEnabled());
    QVERIFY(options->isReadOnly());
  }

  void optionsCommand_data() {
    QTest::addColumn<QString>("type");
    // "standin", "recorder" (records its arguments), "sleeper" (outlasts its limit), "none"
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("reply");  // the stand-in's scripted reply
    QTest::addColumn<QString>("options");
    QTest::addColumn<QString>("message");  // the recorder's arguments, R the reply file
    // clang-format off
    QTest::newRow("untrimmed reply") << "Flow Runner" << "standin" << " -x $OPTIONS -password p " << " -x -a b -password p " << "";
    QTest::newRow("canceled")        << "Flow Runner" << "standin" << "  CanCeled " << "-a b" << "";
    QTest::newRow("empty reply")     << "Flow Runner" << "standin" << "" << "-a b" << "";
    QTest::newRow("NT switch")       << "Run Vantor Job (NT)" << "recorder" << "" << "-a b" << "-config R -oper NT -a b";
    QTest::newRow("no executable")   << "Flow Runner" << "none" << "" << "-a b" << "Options: Executable %1/FlowRun.exe not found !";
    QTest::newRow("time limit")      << "Flow Runner" << "sleeper" << "" << "-a b" << "Options: The program %1/FlowRun.exe did not end within 1 s and was ended.";
    // clang-format on
  }
  void optionsCommand() {
    QFETCH(QString, type);
    QFETCH(QString, program);
    QFETCH(QString, reply);
    QFETCH(QString, message);
    const QString standin = qEnvironmentVariable("JOBRUNNER_BIN_DIR") + "/standin";
    const QByteArray args = path("args").toUtf8();
    for (const QString exe : {"FlowRun.exe", "RunVantorJob.exe"}) {
      if (program == "standin") QVERIFY2(QFile::link(standin, path(exe)), "stand-in built?");
      if (program == "recorder")
        WriteFile(path(exe), "#!/bin/sh\necho \"$@\" > " + args + "\nsleep 0.2\n", true);
    }
    if (program == "sleeper") {
      WriteFile(path("FlowRun.exe"), "#!/bin/sh\nsleep 30\n", true);
      registry_.SetString("SOFTWARE\\Extraction Job Runner\\Launcher", "HelperTimeLimit", "1");
    }
    qputenv("JOBRUNNER_STANDIN_CONFIG_REPLY", reply.toUtf8());
    JobLineTable::Row row = Row("10", qPrintable(type));
    row[kColOptions] = "-a b";
    Open({10}, row);
    Get<QPushButton>("configureButton")->click();
    // The click returns at once; the end of the program comes as an event.
    QCOMPARE(dialog_->isEnabled(), program == "none");
    QTRY_VERIFY(dialog_->isEnabled());
    QTEST(Cell(kColOptions), "options");
    if (program != "recorder") {
      QCOMPARE(Messages(), message.arg(temp_->path()));
      return;
    }
    QString recorded = testing::ReadAll(args).trimmed();
    QCOMPARE(recorded.replace(recorded.split(' ').value(1), "R"), message);
  }

  void lineTimeLimitIsTypedInRange() {
    // Only whole numbers from 1 to 604800, or nothing; a type the list does not offer is
    // kept.
    Open({10}, Row("10", "???"));
    QLineEdit* line_box = Get("timeLimit");
    QTest::keyClicks(line_box, "0x6048019");
    QCOMPARE(Cell(kColTimeLimit), QString("60480"));
    line_box->clear();
    QVERIFY(!dialog_->jobLine()[kColTimeLimit].has_value());
    Ok();
    QCOMPARE(Cell(kColType) + "|" + QString::number(dialog_->result()), "???|1");
  }

  void resultFilesAreProbedAndLeftAlone() {
    Open({10}, Row("10", "User Batchfile"));
    WriteFile(path("old.txt"), "keep");
    const QString bad = path("no/folder/x.txt");
    for (const QString& name : {path("old.txt"), path("new.txt"), bad}) {
      Get("statusFile")->setText(name);
      Leave(Get("statusFile"));
    }
    QCOMPARE(Messages(), "Status file: Unable to write to file '" + bad + "'");
    QCOMPARE(Cell(kColStatusFile), QString());
    QVERIFY(!QFile::exists(path("new.txt")));
    QCOMPARE(testing::ReadAll(path("old.txt")), QString("keep"));
  }

 private:
  // Shows the window, active, with the focus in that header field.
  QLineEdit* Show(const QString& name) {
    w_->show();
    w_->activateWindow();
    if (!QTest::qWaitForWindowActive(w_.get())) qFatal("the window is not active");
    QLineEdit* edit = field(name.toLatin1().constData());
    edit->setFocus();
    return edit;
  }

  // The visible recent files' captions, joined by ",".
  QString Recent() const {
    QStringList captions;
    for (int i = 1; i <= 8; ++i)
      if (auto* action = field<QAction>(qPrintable(QString("recentFile%1").arg(i)));
          action->isVisible())
        captions << action->text();
    return captions.join(",");
  }

  // Notifications with these entries, left by `button`: what the dialog then said, or
  // "closed" once it closed.
  QString Notify(const QString& mail, const QString& hook = {}, int on = 0,
                 const char* button = "okButton") {
    QString said = "not shown";
    Run<NotifyDialog>([&] { Trigger("editNotifications"); }, [&](NotifyDialog& d) {
      Find(&d, "notifyMail")->setText(mail), Find(&d, "notifyWebhook")->setText(hook);
      Find<QComboBox>(&d, "notifyOn")->setCurrentIndex(on);
      Find<QPushButton>(&d, button)->click();
      said = d.isVisible() ? Messages() : "closed";
    });
    return said;
  }

  // Execute Job, its question answered with `answer`.
  void Execute(MessageBox::Answer answer = MessageBox::Answer::kYes) {
    MessageBox::setNextAnswer(answer);
    Trigger("executeJob");
  }

  // The job as a save would write it now.
  QString Text() const { return QString::fromStdString(JobFileText(w_->currentDocument(), "")); }
  bool Command(const char* action, const DialogStep& step) {
    return Run([&] { Trigger(action); }, step);
  }
  void Insert(std::initializer_list<const char*> numbers) {
    for (const char* number : numbers) QVERIFY(Command("insertJobLine", Answer(number)));
  }
  // The job's numbers in table order and the current row: "10 20 @1".
  QString State() const {
    QStringList numbers;
    for (int row = 0; row < w_->table().LineCount(); ++row)
      numbers << QString::fromStdString(w_->table().Text(kColNumber, row));
    return numbers.join(" ") + " @" + QString::number(w_->currentJobLineRow());
  }
  static QString Line(const JobLineTable::Row& row) {
    QStringList cells;
    for (const auto& cell : row) cells << QString::fromStdString(cell.value_or("?"));
    return cells.join("|");
  }

  // The dialog on its own over the job `numbers`, active, showing `row`.
  void Open(std::vector<int> numbers, const JobLineTable::Row& row) {
    table_.SetJobLineCount(static_cast<int>(numbers.size()));
    for (size_t i = 0; i < numbers.size(); ++i)
      table_.Set(kColNumber, static_cast<int>(i), std::to_string(numbers[i]));
    dialog_ = std::make_unique<JobLineDialog>(registry_, *launcher_);
    dialog_->setLogFolderSource([this] { return temp_->path(); });
    dialog_->setJobLineTable(&table_);
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
  void Ok() { Get<QPushButton>("okButton")->click(); }
  // Tabs out of `field` and lets its leave-field check run.
  void Leave(QWidget* field) {
    if (!field->hasFocus()) field->setFocus(Qt::TabFocusReason);
    QTest::keyClick(field, Qt::Key_Tab);
    QTest::qWait(10);
  }

  // A window whose runs go through the run driver, on a stand-in installation.
  void StartWithTheRunDriver() {
    tester_.reset(), Stop();
    Start(MakeDriverJobExecutor());
    QCOMPARE(RunToEnd("/bin/bash", {JOBRUNNER_SOURCE_DIR "/scripts/make-utilities.sh",
                                    path("install"), qgetenv("JOBRUNNER_BIN_DIR")})
                 .status,
             0);
    qputenv("JOBRUNNER_REGISTRY", path("install/registry.reg").toUtf8());
    qputenv("JOBRUNNER_METADATA_DB", path("metadata.sqlite").toUtf8());
    FillValidHeader();
  }

  // Runs `program` to its end. Not through QProcess: its children share the test's memory
  // until they start their program (vfork), and what ThreadSanitizer records in such a
  // child lands in the test itself and ends it at its next thread.
  test::ProgramOutcome RunToEnd(const QString& program, const QStringList& arguments) const {
    std::vector<std::string> words;
    for (const QString& argument : arguments) words.push_back(argument.toStdString());
    return test::RunProgram(program.toStdString(), words, {}, path().toStdString());
  }

  std::unique_ptr<QAbstractItemModelTester> tester_;
  test::MapRegistry registry_;
  std::unique_ptr<ProcessLauncher> launcher_ = MakeSystemProcessLauncher();
  JobLineTable table_;
  std::unique_ptr<JobLineDialog> dialog_;
  ScriptedExecutor* executor_ = nullptr;
};

QTEST_MAIN(JobRunnerWindowTest)
#include "window_test.moc"
