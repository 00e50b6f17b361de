// Make Batch File's script, Execute Job's refusals and what it saves and asks first, the
// window during a scripted run (progress, blocked commands, Stop, closing), Help, and one
// run through the real run driver with stand-in programs and a temporary registry, event
// log and metadata database.

#include <sys/stat.h>

#include <QAction>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <functional>

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

class BatchAndExecuteTest : public jr::testing::WindowTest {
  Q_OBJECT

 private slots:
  void init() {
    auto executor = std::make_unique<ScriptedExecutor>();
    executor_ = executor.get();
    Start(std::move(executor));
    FillValidHeader();
  }
  void cleanup() { Stop(); }

  void batchFileRunsTheProgramWithTheSavedJob() {
    Trigger("MakeBatch");
    QCOMPARE(Messages(), QString("Make .bat file: Please first save this job"));
    // A stand-in program that writes each argument it gets on a line of its own.
    const QString program = path("fake runner");
    jr::testing::WriteFile(
        program, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.args\"\n",
        true);
    w_->setProgramPath(program);
    AddLines({10});
    const QString job = path("it's a $HOME; night  run.xml");
    SaveAs("it's a $HOME; night  run.xml");

    const QString script = path("run job.sh");
    FileDialog::setNextFileName(script);
    Trigger("MakeBatch");
    QCOMPARE(FileDialog::lastRequest().filters,
             (QStringList{"Shell scripts (*.sh)", "Batch program(*.bat)", "All files (*)"}));
    QCOMPARE(FileDialog::lastRequest().default_suffix, QString("sh"));
    QCOMPARE(ReadAll(script).count('\n'), 2);  // the interpreter and the command
    const mode_t umask_bits = ::umask(0);
    ::umask(umask_bits);
    struct stat status {};
    QVERIFY(::stat(QFile::encodeName(script).constData(), &status) == 0);
    QCOMPARE(status.st_mode & 07777, 0755 & ~umask_bits);
    QProcess run;
    run.start(script, {});
    QVERIFY(run.waitForFinished(10000) && run.exitCode() == 0);
    QCOMPARE(ReadAll(program + ".args"), job + "\n");  // one argument, unchanged

    FileDialog::setNextFileName(path("missing/run.sh"));
    Trigger("MakeBatch");
    QCOMPARE(Messages(), "Make .bat file: Unable to create .bat file: " + path("missing/run.sh"));
  }

  void executeRefusesOrStopsBeforeItsQuestion() {
    for (const char* active : {"", "false", "True"}) {  // no lines, inactive, not "true"
      if (*active) AddLines({10, 20}, active);
      Trigger("ExecuteJob");
      QCOMPARE(Messages(), QString("Execute: No batchlines to execute"));
      QCOMPARE(FileDialog::shownCount(), 0);  // not saved either
    }
    w_->table().AllocateAfresh();
    AddLines({10});
    field("LogFile")->clear();
    Trigger("ExecuteJob");
    QCOMPARE(MessageBox::lastText(), QString("Please enter Log File (Administrators)"));
    FillValidHeader();
    Trigger("ExecuteJob");  // Save As cancelled
    field<jr::uTextBox>("txtMaxParallel")->setText("12.5");
    Trigger("ExecuteJob");
    QVERIFY(MessageBox::lastText().startsWith("Maximum Parallel Running Job Lines"));
    QCOMPARE(MessageBox::history().size(), 2);
    QCOMPARE(executor_->runs, 0);

    field<jr::uTextBox>("txtMaxParallel")->setText("4");
    FileDialog::setNextFileName(path("job.xml"));
    MessageBox::setNextAnswer(MessageBox::kNo);
    Trigger("ExecuteJob");
    QCOMPARE(MessageBox::lastText(), QString("Execute Job ?"));
    QVERIFY(!w_->HasUnsavedChanges());  // saved, though not run
    QCOMPARE(executor_->runs, 0);
  }

  void runShowsProgressBlocksJobChangesAndStopsOrCloses() {
    w_->show();
    AddLines({10, 20, 30});
    w_->table().Set(jr::kColActive, 2, "false");
    field<jr::uTextBox>("txtMaxParallel")
        ->setText(" 04");  // converted as an unattended run converts it
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
    QCOMPARE(QString("%1 %2 %3")
                 .arg(executor_->runs)
                 .arg(executor_->description.c_str())
                 .arg(executor_->max),
             QString("1 Nightly load 4"));
    blocked.sort();
    QStringList expected{"AddBline", "ChangeBline", "DeleteBline", "ExecuteJob",
                         "NewBatch", "OpenBatch",   "tbAdd",       "tbChange",
                         "tbDelete", "tbNew",       "tbOpen"};
    for (int i = 1; i <= 8; ++i) expected << QString("RecentFile%1").arg(i);
    expected.sort();
    QCOMPARE(blocked, expected);
    QVERIFY2(during_text.contains("2 running") && during_text.contains("10, 20"),
             qPrintable(during_text));
    QVERIFY(w_->findChild<QAction*>("NewBatch")->isEnabled() && stop->isHidden());
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
    QCOMPARE(MessageBox::lastTitle(), QString("Execute"));
    QTRY_VERIFY(!w_->isVisible());
  }

  void helpOpensAtTheWindowTopic() {
    w_->setHelpFile(QFINDTESTDATA("../../docs/help/index.html"));
    Trigger("Help");
    auto* browser = field<QTextBrowser>("helpBrowser");
    QVERIFY(browser->window()->isVisible() && browser->toPlainText().contains("Exit statuses"));
    QCOMPARE(browser->source().fragment(), QString("topic150"));
    w_->setHelpFile(path("none.html"));
    Trigger("Help");
    QCOMPARE(MessageBox::lastTitle(), QString("Help"));
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
    QVERIFY(ReadAll(path("admin.htm")).contains("Flow Runner"));
    QVERIFY(!ReadAll(path("user.htm")).isEmpty());
    QCOMPARE(ReadAll(path("events.log")),
             QString("Extraction Job Runner\t1\t0\t1\t\\r\\n\\r\\nJob 'Nightly load' finished "
                     "with error(s).\n"));
    const QString progress = field<QLabel>("runProgress")->text();
    QVERIFY2(progress.contains("finished with error(s).") && progress.contains("1 failed"),
             qPrintable(progress));
  }

 private:
  ScriptedExecutor* executor_ = nullptr;
};

QTEST_MAIN(BatchAndExecuteTest)
#include "batch_and_execute_test.moc"
