// Make Batch File's line and file, and Execute Job: when it refuses, what it saves and
// asks first, and the window during a run (progress, blocked commands, Stop, closing).

#include <QAction>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <functional>

#include "window_fixture.h"

using jr::FileDialog;
using jr::MessageBox;
using jr::testing::ReadAll;
using jr::testing::WindowFixture;

namespace {

// Plays a run: starts every active line, pauses until stopped or for `passes` pauses, calls
// `during` once while the lines run, then ends them (line 20 fails).
class ScriptedExecutor final : public jr::JobExecutor {
 public:
  jr::JobRunOutcome Execute(const jr::JobDocument& job, int32_t max_parallel,
                            jr::RunHooks& hooks) override {
    ++runs;
    description = job.Description;
    line_count = job.table.Get_BatchLine_Count();
    max = max_parallel;
    std::vector<std::unique_ptr<jr::clsJobLine>> lines;
    for (int row = 0; row < line_count; ++row) {
      if (job.table.Text(jr::kColActive, row) != "true") continue;
      auto line = std::make_unique<jr::clsJobLine>();
      line->setJobLineNr(job.table.Get_BatchLine_Number(row));
      hooks.LineStarted(*line);
      lines.push_back(std::move(line));
    }
    if (during) during();
    for (int pass = 0; pass < passes && !hooks.StopRequested(); ++pass)
      hooks.Pause(std::chrono::milliseconds(20));
    stopped = hooks.StopRequested();
    for (auto& line : lines) {
      line->setErrorOccured(line->JobLineNr() == 20);
      hooks.LineFinished(*line);
    }
    return {true, stopped ? "was interrupted." : "finished with error(s)."};
  }

  int runs = 0;
  std::string description;
  int line_count = 0;
  int32_t max = 0;
  int passes = 3;
  bool stopped = false;
  std::function<void()> during;
};

}  // namespace

class BatchAndExecuteTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    auto executor = std::make_unique<ScriptedExecutor>();
    executor_ = executor.get();
    fixture_ = std::make_unique<WindowFixture>(std::move(executor));
    window_ = fixture_->window.get();
  }
  void cleanup() { fixture_.reset(); }

  void batchFileLineQuotesBothNames() {
    QCOMPARE(jr::MakeBatchFileLine("/usr/bin/jobrunner", "/jobs/Night run.xml"),
             QString("'/usr/bin/jobrunner' '/jobs/Night run.xml'\n"));
    QCOMPARE(jr::MakeBatchFileLine("/a b/jr", "/j/it's.xml"),
             QString("'/a b/jr' '/j/it'\\''s.xml'\n"));
  }

  void makeBatchFileNeedsASavedJob() {
    window_->MakeBatch_Click();
    QCOMPARE(MessageBox::lastText(), QString("Please first save this job"));
    QCOMPARE(MessageBox::lastTitle(), QString("Make .bat file"));
    QCOMPARE(FileDialog::shownCount(), 0);
  }

  void batchFileStartsTheProgramWithTheSavedJob() {
    // A stand-in program that writes each argument it gets on a line of its own.
    const QString program = fixture_->path("fake runner");
    const QString args_out = fixture_->path("args.txt");
    {
      QFile file(program);
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write(QString("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '%1'\n")
                     .arg(args_out)
                     .toUtf8());
      file.close();
      file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
    }
    window_->setProgramPath(program);
    fixture_->FillValidHeader();
    fixture_->AddLines({10});
    const QString job = fixture_->path("it's a $HOME; night  run.xml");
    FileDialog::setNextFileName(job);
    window_->SaveAsBatch_Click();
    QVERIFY(QFile::exists(job));

    const QString script = fixture_->path("run job.sh");
    FileDialog::setNextFileName(script);
    window_->MakeBatch_Click();
    const jr::FileDialogRequest request = FileDialog::lastRequest();
    QCOMPARE(request.title, QString("Create .bat file that executes this job"));
    QCOMPARE(request.filters,
             (QStringList{"Batch program(*.bat)", "Shell scripts (*.sh)", "All files (*)"}));
    QCOMPARE(request.default_suffix, QString("bat"));
    QCOMPARE(ReadAll(script), "#!/bin/sh\n" + jr::MakeBatchFileLine(program, job));
    QVERIFY(QFileInfo(script).isExecutable());

    QProcess run;
    run.start(script, {});
    QVERIFY(run.waitForFinished(10000));
    QCOMPARE(run.exitCode(), 0);
    QCOMPARE(ReadAll(args_out), job + "\n");  // one argument: the job file, unchanged
  }

  void batchFileThatCannotBeWritten() {
    fixture_->FillValidHeader();
    fixture_->AddLines({10});
    FileDialog::setNextFileName(fixture_->path("job.xml"));
    window_->SaveBatch_Click();
    FileDialog::setNextFileName(fixture_->path("missing/run.sh"));
    window_->MakeBatch_Click();
    QCOMPARE(MessageBox::lastText(),
             "Unable to create .bat file: " + fixture_->path("missing/run.sh"));
    MessageBox::reset();
    window_->MakeBatch_Click();  // dialog cancelled: nothing
    QVERIFY(MessageBox::history().isEmpty());
  }

  void executeRefusesAJobWithoutActiveLines_data() {
    QTest::addColumn<QString>("active");
    QTest::addColumn<bool>("anyLines");
    QTest::newRow("no lines") << "true" << false;
    QTest::newRow("all inactive") << "false" << true;
    QTest::newRow("capital True is not active") << "True" << true;
  }
  void executeRefusesAJobWithoutActiveLines() {
    QFETCH(QString, active);
    QFETCH(bool, anyLines);
    fixture_->FillValidHeader();
    if (anyLines) fixture_->AddLines({10, 20}, active.toUtf8().constData());
    window_->ExecuteJob_Click();
    QCOMPARE(MessageBox::history().size(), 1);
    QCOMPARE(MessageBox::lastText(), QString("No batchlines to execute"));
    QCOMPARE(MessageBox::lastTitle(), QString("Execute"));
    QCOMPARE(FileDialog::shownCount(), 0);  // not saved either
    QCOMPARE(executor_->runs, 0);
  }

  void executeStopsWhenTheSaveFails() {
    fixture_->AddLines({10});
    window_->ExecuteJob_Click();  // header incomplete
    QCOMPARE(MessageBox::history().size(), 1);
    QCOMPARE(MessageBox::lastText(), QString("Please enter description"));
    fixture_->FillValidHeader();
    MessageBox::reset();
    window_->ExecuteJob_Click();  // Save As cancelled
    QCOMPARE(FileDialog::shownCount(), 1);
    QVERIFY(MessageBox::history().isEmpty());
    QCOMPARE(executor_->runs, 0);
  }

  void executeRefusesAMaximumThatIsNoNumber() {
    fixture_->FillValidHeader();
    fixture_->AddLines({10});
    fixture_->field<jr::uTextBox>("txtMaxParallel")->setText("12.5");
    window_->ExecuteJob_Click();
    QVERIFY(MessageBox::lastText().startsWith("Maximum Parallel Running Job Lines"));
    QCOMPARE(executor_->runs, 0);
  }

  void answeringNoLeavesTheJobSavedButNotRun() {
    fixture_->FillValidHeader();
    fixture_->AddLines({10});
    FileDialog::setNextFileName(fixture_->path("job.xml"));
    MessageBox::setNextAnswer(MessageBox::kNo);
    window_->ExecuteJob_Click();
    QCOMPARE(MessageBox::lastText(), QString("Execute Job ?"));
    QCOMPARE(MessageBox::last().buttons, MessageBox::kYesNo);
    QVERIFY(QFile::exists(fixture_->path("job.xml")));
    QVERIFY(!window_->HasUnsavedChanges());
    QCOMPARE(executor_->runs, 0);
  }

  void runShowsProgressAndBlocksJobChanges() {
    fixture_->FillValidHeader();
    fixture_->AddLines({10, 20, 30});
    window_->table().Set(jr::kColActive, 2, "false");
    fixture_->field<jr::uTextBox>("txtMaxParallel")->setText("4");
    FileDialog::setNextFileName(fixture_->path("job.xml"));
    MessageBox::setNextAnswer(MessageBox::kYes);
    auto* progress = fixture_->field<QLabel>("runProgress");
    auto* stop = fixture_->field<QPushButton>("StopRun");
    QStringList blocked;
    bool save_enabled = false;
    bool stop_shown = false;
    QString during_text;
    executor_->during = [&] {
      for (QAction* action : window_->findChildren<QAction*>()) {
        if (!action->isEnabled()) blocked << action->objectName();
      }
      save_enabled = window_->findChild<QAction*>("SaveBatch")->isEnabled();
      stop_shown = !stop->isHidden() && stop->isEnabled();
      during_text = progress->text();
      window_->ExecuteJob_Click();  // a second run cannot start inside the first
      window_->tbToolBar_ButtonClick("Add");
    };
    window_->ExecuteJob_Click();

    QCOMPARE(executor_->runs, 1);
    QCOMPARE(executor_->description, std::string("Nightly load"));
    QCOMPARE(executor_->line_count, 3);
    QCOMPARE(executor_->max, 4);
    blocked.sort();
    QCOMPARE(blocked,
             (QStringList{"AddBline", "ChangeBline", "DeleteBline", "ExecuteJob", "NewBatch",
                          "OpenBatch", "tbAdd", "tbChange", "tbDelete", "tbNew", "tbOpen"}));
    QVERIFY(save_enabled);
    QVERIFY(stop_shown);
    QVERIFY2(during_text.contains("2 running") && during_text.contains("10, 20"),
             qPrintable(during_text));
    QVERIFY(!window_->IsRunning());
    QVERIFY(window_->findChild<QAction*>("NewBatch")->isEnabled());
    QVERIFY(stop->isHidden());
    QVERIFY2(progress->text().contains("1 done, 1 failed"), qPrintable(progress->text()));
  }

  void stopEndsTheRunEarly() {
    fixture_->FillValidHeader();
    fixture_->AddLines({10});
    FileDialog::setNextFileName(fixture_->path("job.xml"));
    MessageBox::setNextAnswer(MessageBox::kYes);
    executor_->passes = 1000;  // 20 s unless stopped
    executor_->during = [&] {
      QTimer::singleShot(50, fixture_->field<QPushButton>("StopRun"), &QPushButton::click);
    };
    QElapsedTimer timer;
    timer.start();
    window_->ExecuteJob_Click();
    QVERIFY(executor_->stopped);
    QVERIFY(timer.elapsed() < 5000);
  }

  void closingDuringARunAsksWhetherToStop() {
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_));
    fixture_->FillValidHeader();
    fixture_->AddLines({10});
    FileDialog::setNextFileName(fixture_->path("job.xml"));
    MessageBox::setNextAnswer(MessageBox::kYes);  // Execute Job ?
    executor_->passes = 1000;
    bool closed_while_running = true;
    executor_->during = [&] {
      MessageBox::setNextAnswer(MessageBox::kNo);
      closed_while_running = window_->close();
      QVERIFY(window_->isVisible());
      MessageBox::setNextAnswer(MessageBox::kYes);
      window_->close();  // stops, and closes once the run is over
    };
    window_->ExecuteJob_Click();
    QVERIFY(!closed_while_running);
    QVERIFY(executor_->stopped);
    QCOMPARE(MessageBox::lastTitle(), QString("Execute"));
    QTRY_VERIFY(!window_->isVisible());
  }

  void helpOpensAtTheWindowTopic() {
    const QString help = QFINDTESTDATA("../../docs/help/index.html");
    QVERIFY(!help.isEmpty());
    window_->setHelpFile(help);
    window_->Help_Click();
    auto* browser = window_->findChild<QTextBrowser*>("helpBrowser");
    QVERIFY(browser);
    QVERIFY(browser->window()->isVisible());
    QCOMPARE(browser->source().fragment(), QString("topic150"));
    QVERIFY(browser->toPlainText().contains("Exit statuses"));
    QVERIFY(MessageBox::history().isEmpty());

    window_->setHelpFile(fixture_->path("none.html"));
    window_->Help_Click();
    QCOMPARE(MessageBox::lastTitle(), QString("Help"));
  }

  void withoutARunDriverExecuteSaysSo() {
    WindowFixture plain;
    plain.FillValidHeader();
    plain.AddLines({10});
    FileDialog::setNextFileName(plain.path("job.xml"));
    MessageBox::setNextAnswer(MessageBox::kYes);
    plain.window->ExecuteJob_Click();
    QVERIFY(MessageBox::lastText().contains("not available"));
    QVERIFY(plain.window->findChild<QAction*>("ExecuteJob")->isEnabled());
  }

 private:
  std::unique_ptr<WindowFixture> fixture_;
  jr::BatchDefinitionFrm* window_ = nullptr;
  ScriptedExecutor* executor_ = nullptr;
};

QTEST_MAIN(BatchAndExecuteTest)
#include "batch_and_execute_test.moc"
