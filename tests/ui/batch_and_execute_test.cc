// Make Batch File's script, Execute Job's refusals and what it saves and asks first, the
// window during a run (progress, blocked commands, Stop, closing), and Help.

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

namespace {

// Plays a run: starts every active line, calls `during`, pauses until stopped or for
// `passes` pauses, then ends the lines (line 20 fails).
class ScriptedExecutor final : public jr::JobExecutor {
 public:
  jr::JobRunOutcome Execute(const jr::JobDocument& job, int32_t max_parallel,
                            jr::RunHooks& hooks) override {
    ++runs;
    description = job.Description;
    max = max_parallel;
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
    for (auto& line : lines) {
      line->setErrorOccured(line->JobLineNr() == 20);
      hooks.LineFinished(*line);
    }
    return {true, "finished with error(s)."};
  }

  int runs = 0;
  std::string description;
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
    fixture_ = std::make_unique<jr::testing::WindowFixture>(std::move(executor));
    window_ = fixture_->window.get();
    fixture_->FillValidHeader();
  }
  void cleanup() { fixture_.reset(); }

  void batchFileRunsTheProgramWithTheSavedJob() {
    window_->MakeBatch_Click();
    QCOMPARE(MessageBox::lastText(), QString("Please first save this job"));
    QCOMPARE(MessageBox::lastTitle(), QString("Make .bat file"));
    // A stand-in program that writes each argument it gets on a line of its own.
    QFile program(fixture_->path("fake runner"));
    QVERIFY(program.open(QIODevice::WriteOnly));
    program.write("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.args\"\n");
    program.close();
    program.setPermissions(program.permissions() | QFileDevice::ExeOwner);
    window_->setProgramPath(program.fileName());
    fixture_->AddLines({10});
    const QString job = fixture_->path("it's a $HOME; night  run.xml");
    fixture_->SaveAs("it's a $HOME; night  run.xml");

    const QString script = fixture_->path("run job.sh");
    FileDialog::setNextFileName(script);
    window_->MakeBatch_Click();
    QCOMPARE(FileDialog::lastRequest().filters,
             (QStringList{"Batch program(*.bat)", "Shell scripts (*.sh)", "All files (*)"}));
    QCOMPARE(ReadAll(script).count('\n'), 2);  // the interpreter and the command
    QProcess run;
    run.start(script, {});
    QVERIFY(run.waitForFinished(10000) && run.exitCode() == 0);
    QCOMPARE(ReadAll(program.fileName() + ".args"), job + "\n");  // one argument, unchanged

    FileDialog::setNextFileName(fixture_->path("missing/run.sh"));
    window_->MakeBatch_Click();
    QCOMPARE(MessageBox::lastText(),
             "Unable to create .bat file: " + fixture_->path("missing/run.sh"));
  }

  void executeRefusesAJobWithoutActiveLines() {
    for (const char* active : {"", "false", "True"}) {  // no lines, inactive, not "true"
      if (*active) fixture_->AddLines({10, 20}, active);
      MessageBox::reset();
      window_->ExecuteJob_Click();
      QCOMPARE(MessageBox::history().size(), 1);
      QCOMPARE(MessageBox::lastText(), QString("No batchlines to execute"));
      QCOMPARE(MessageBox::lastTitle(), QString("Execute"));
      QCOMPARE(FileDialog::shownCount(), 0);  // not saved either
    }
  }

  void executeStopsBeforeItsQuestionWhenTheJobIsNotSaved() {
    fixture_->AddLines({10});
    fixture_->field("LogFile")->clear();
    window_->ExecuteJob_Click();
    QCOMPARE(MessageBox::lastText(), QString("Please enter Log File (Administrators)"));
    fixture_->FillValidHeader();
    window_->ExecuteJob_Click();  // Save As cancelled
    fixture_->field<jr::uTextBox>("txtMaxParallel")->setText("12.5");
    window_->ExecuteJob_Click();
    QVERIFY(MessageBox::lastText().startsWith("Maximum Parallel Running Job Lines"));
    QCOMPARE(MessageBox::history().size(), 2);
    QCOMPARE(executor_->runs, 0);

    fixture_->field<jr::uTextBox>("txtMaxParallel")->setText("4");
    FileDialog::setNextFileName(fixture_->path("job.xml"));
    MessageBox::setNextAnswer(MessageBox::kNo);
    window_->ExecuteJob_Click();
    QCOMPARE(MessageBox::lastText(), QString("Execute Job ?"));
    QVERIFY(!window_->HasUnsavedChanges());  // saved, though not run
    QCOMPARE(executor_->runs, 0);
  }

  void runShowsProgressAndBlocksJobChanges() {
    fixture_->AddLines({10, 20, 30});
    window_->table().Set(jr::kColActive, 2, "false");
    fixture_->field<jr::uTextBox>("txtMaxParallel")->setText("4");
    fixture_->SaveAs("job.xml");
    MessageBox::setNextAnswer(MessageBox::kYes);
    auto* progress = fixture_->field<QLabel>("runProgress");
    auto* stop = fixture_->field<QPushButton>("StopRun");
    QStringList blocked;
    QString during_text;
    executor_->during = [&] {
      for (QAction* action : window_->findChildren<QAction*>())
        if (!action->isEnabled()) blocked << action->objectName();
      QVERIFY(!stop->isHidden() && stop->isEnabled());
      during_text = progress->text();
      window_->ExecuteJob_Click();  // no second run inside the first
    };
    window_->ExecuteJob_Click();
    QCOMPARE(executor_->runs, 1);
    QCOMPARE(executor_->description, std::string("Nightly load"));
    QCOMPARE(executor_->max, 4);
    blocked.sort();
    QCOMPARE(blocked,
             (QStringList{"AddBline", "ChangeBline", "DeleteBline", "ExecuteJob", "NewBatch",
                          "OpenBatch", "tbAdd", "tbChange", "tbDelete", "tbNew", "tbOpen"}));
    QVERIFY2(during_text.contains("2 running") && during_text.contains("10, 20"),
             qPrintable(during_text));
    QVERIFY(window_->findChild<QAction*>("NewBatch")->isEnabled());
    QVERIFY(stop->isHidden());
    QVERIFY2(progress->text().contains("1 done, 1 failed"), qPrintable(progress->text()));
  }

  void stopAndClosingDuringARun() {
    window_->show();
    fixture_->AddLines({10});
    fixture_->SaveAs("job.xml");
    executor_->passes = 1000;  // 20 s unless stopped
    executor_->during = [&] {
      QTimer::singleShot(50, fixture_->field<QPushButton>("StopRun"), &QPushButton::click);
    };
    QElapsedTimer timer;
    timer.start();
    MessageBox::setNextAnswer(MessageBox::kYes);
    window_->ExecuteJob_Click();
    QVERIFY(executor_->stopped);
    QVERIFY(timer.elapsed() < 5000);

    executor_->during = [&] {
      MessageBox::setNextAnswer(MessageBox::kNo);
      QVERIFY(!window_->close());
      MessageBox::setNextAnswer(MessageBox::kYes);
      QVERIFY(!window_->close());  // stops now, closes once the run is over
    };
    MessageBox::setNextAnswer(MessageBox::kYes);
    window_->ExecuteJob_Click();
    QVERIFY(executor_->stopped);
    QCOMPARE(MessageBox::lastTitle(), QString("Execute"));
    QTRY_VERIFY(!window_->isVisible());
  }

  void helpOpensAtTheWindowTopic() {
    window_->setHelpFile(QFINDTESTDATA("../../docs/help/index.html"));
    window_->Help_Click();
    auto* browser = window_->findChild<QTextBrowser*>("helpBrowser");
    QVERIFY(browser && browser->window()->isVisible());
    QCOMPARE(browser->source().fragment(), QString("topic150"));
    QVERIFY(browser->toPlainText().contains("Exit statuses"));
    window_->setHelpFile(fixture_->path("none.html"));
    window_->Help_Click();
    QCOMPARE(MessageBox::lastTitle(), QString("Help"));
  }

 private:
  std::unique_ptr<jr::testing::WindowFixture> fixture_;
  jr::BatchDefinitionFrm* window_ = nullptr;
  ScriptedExecutor* executor_ = nullptr;
};

QTEST_MAIN(BatchAndExecuteTest)
#include "batch_and_execute_test.moc"
