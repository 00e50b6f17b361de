// The Run History window on a prepared database: the runs listed newest first with their
// badges, the chosen run's timeline and lines, the duration chart of the job and of a
// chosen line, a run going on followed, and the main window's command that opens it.

#include "ui/history/run_history_window.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QtCharts/QLineSeries>

#include "jobfile/job_file.h"
#include "platform/file_digest.h"
#include "store/run_history.h"
#include "store/run_lock_holder.h"
#include "ui/controls/message_box.h"
#include "ui/history/run_timeline.h"
#include "ui/main_window/main_window.h"

using namespace jr;
using std::chrono::seconds;

namespace {

const TimePoint kFirst = TimePoint(seconds(1796608800));  // 2026-12-07 02:00 UTC
constexpr int kRuns = 3;

RunLineRecord Line(int32_t number, int seq, TimePoint start, int from, int to, LineOutcome outcome,
                   std::optional<int32_t> repeat_of = std::nullopt) {
  RunLineRecord line;
  line.line = number;
  line.position = number;
  line.description = "line " + std::to_string(number);
  line.outcome = outcome;
  if (seq >= 0) {
    line.seq = seq;
    line.start = start + seconds(from);
    line.end = start + seconds(to);
    line.exit_code = 0;
  }
  line.repeat_of = repeat_of;
  return line;
}

// Records the reruns the main window asks for, as the run driver tells the run panel.
class RerunExecutor final : public JobExecutor {
 public:
  JobRunOutcome execute(const RunSessionRequest& request, const StopFlag&,
                        RunSessionObserver& observer) override {
    if (request.rerun) reruns.push_back(*request.rerun);
    if (request.rerun) observer.LinesOver(request.rerun->run_id, {10});
    return {true, "finished without errors."};
  }
  std::vector<RerunBasis> reruns;
};

}  // namespace

class RunHistoryWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    db_ = dir_.filePath("metadata.sqlite");
    auto history = std::move(RunHistory::OpenForWriting(db_.toStdString()).value);
    QVERIFY(history);
    // Three nightly runs in which line 20 gets slower (60, 120, 180 s); the last one
    // fails line 20, repeats it as line 40 and skips line 30; one run of another job.
    for (int night = 0; night < kRuns; ++night) {
      const TimePoint start = kFirst + std::chrono::hours(24 * night);
      const RunStart run{
          .run_id = "run" + std::to_string(night), .job_file = "/jobs/nightly.xml", .start = start};
      QVERIFY(history->BeginRun(run).ok());
      const int slow = 60 * (night + 1);
      const bool last = night == kRuns - 1;
      std::vector<RunLineRecord> lines = {
          Line(10, 0, start, 0, 30, LineOutcome::kOk),
          Line(20, 1, start, 30, 30 + slow, last ? LineOutcome::kFailed : LineOutcome::kOk),
          Line(30, last ? -1 : 2, start, 30 + slow, 40 + slow,
               last ? LineOutcome::kSkipped : LineOutcome::kOk)};
      if (last) lines[1].exit_code = 3, lines[1].exit_status = 7;
      if (last) lines.push_back(Line(40, 2, start, 30 + slow, 40 + slow, LineOutcome::kOk, 20));
      QVERIFY(history->WriteLines(run.run_id, lines).ok());
      RunEnd end{start + seconds(40 + slow), last ? RunStatus::kErrors : RunStatus::kNoErrors,
                 last ? 2 : 3, last ? 1 : 0, last ? 1 : 0};
      QVERIFY(history->EndRun(run.run_id, end).ok());
    }
    QVERIFY(history->BeginRun({.run_id = "other", .job_file = "/jobs/other.xml", .start = kFirst})
                .ok());
  }

  void listsRunsTheChosenRunItsTimelineAndTheDurationCharts() {
    RunHistoryWindow window;
    window.resize(1200, 800);
    window.showJob("/jobs/nightly.xml", db_);
    QCOMPARE(Rows(window.runsTable(), {4, 2, 3, 1}),
             QStringList({"run2|errors|20|0:03:40", "run1|ok||0:02:40", "run0|ok||0:01:40"}));
    // The newest run is chosen: its lines in the order they started, the skipped one last.
    QTableWidget* lines = window.linesTable();
    // The exit column shows the program's own exit status, "-" where there is none.
    QCOMPARE(Rows(lines, {0, 4, 5, 6}),
             QStringList({"10|ok|-|-", "20|failed|7|-", "40|ok|-|20", "30|skipped|-|-"}));
    // Its timeline: a bar for each line that ran.
    window.timeline()->resize(700, 200);
    std::vector<RunTimeline::Bar> bars = window.timeline()->bars();
    QCOMPARE(bars.size(), size_t{3});  // the skipped line has none
    QCOMPARE(bars[0].line, 10);
    QCOMPARE(bars[1].color, RunTimeline::outcomeColor(LineOutcome::kFailed));
    QVERIFY(bars[2].repeat_copy && !bars[0].repeat_copy);
    // 30 s of 220 s, then 180 s of it: the bars share one time axis.
    QVERIFY(qAbs(bars[1].rect.width() / bars[0].rect.width() - 6.0) < 0.1);
    // Its critical path, outlined and listed (the job file is gone: the rows alone tell it),
    // and the usual durations from the runs before: 20's 60 and 120 s, its copy's as its.
    QVERIFY(bars[0].on_path && bars[1].on_path && bars[2].on_path && !bars[1].slow);
    QVERIFY(window.pathLabel()->text().startsWith("Critical path: 10 > 20 > 40 (100 % of"));
    QCOMPARE(lines->item(1, 7)->text() + lines->item(2, 7)->text(), QString("0:01:300:01:30"));
    // The duration chart of the job, then of a chosen line.
    const QList<QPointF> job = window.jobSeries()->points();
    QCOMPARE(job.size(), kRuns);
    // Oldest first, in minutes (the longest run takes 4 minutes): 100, 160, 220 s.
    const double minutes[] = {100 / 60.0, 160 / 60.0, 220 / 60.0};
    for (int i = 0; i < kRuns; ++i) QVERIFY(qAbs(job[i].y() - minutes[i]) < 1e-9);
    window.linesTable()->setCurrentCell(1, 0);  // line 20
    const QList<QPointF> line = window.lineSeries()->points();
    QCOMPARE(window.lineSeries()->name(), QString("Line 20"));
    QCOMPARE(line.size(), kRuns);
    for (int i = 0; i < kRuns; ++i) QVERIFY(qAbs(line[i].y() - (i + 1)) < 1e-9);
    // The chosen line stays chosen when another run is chosen.
    window.runsTable()->setCurrentCell(1, 0);
    QCOMPARE(window.linesTable()->currentRow(), 1);
  }

  void aRunGoingOnIsListedFirstAndFollowed() {
    const std::string job = dir_.filePath("live.xml").toStdString();
    auto history = std::move(RunHistory::OpenForWriting(db_.toStdString()).value);
    const TimePoint start = std::chrono::system_clock::now() - seconds(20);
    // A run going on, and a later one that took no lock and was interrupted.
    RunStart run{.run_id = "going", .job_file = job, .start = start};
    QVERIFY(history->BeginRun(run).ok());
    run.run_id = "later", run.start += seconds(1);
    QVERIFY(history->BeginRun(run).ok());
    std::vector<RunLineRecord> lines = {Line(20, 0, start, 5, 5, LineOutcome::kNotRun),
                                        Line(30, -1, start, 0, 0, LineOutcome::kNotRun)};
    lines[0].end.reset();
    QVERIFY(history->WriteLines("going", lines).ok());
    RunLock lock = std::move(TryTakeRunLock(RunLockPath(db_.toStdString(), job).value).value);
    QVERIFY(SetRunLockHolder(lock, {"going", 4711, start, job}).ok());
    RunHistoryWindow window;
    window.showJob(QString::fromStdString(job), db_);
    window.show();
    QTableWidget* runs = window.runsTable();
    QCOMPARE(runs->item(0, 4)->text() + runs->item(0, 2)->text(), QString("goingrunning"));
    QCOMPARE(window.linesTable()->item(1, 4)->text(), QString("waiting"));
    // The running line's bar reaches the present moment, which moves on.
    const double width = window.timeline()->bars()[0].rect.width();
    QTRY_VERIFY(window.timeline()->bars()[0].rect.width() > width + 1);
    // Once it ended it takes its place among the others, once more read.
    QVERIFY(
        history->EndRun("going", {std::chrono::system_clock::now(), RunStatus::kNoErrors, 1, 0, 0})
            .ok());
    lock.Release();
    QTRY_COMPARE(runs->item(1, 4)->text() + runs->item(1, 2)->text(), QString("goingok"));
  }

  void emptyAndBrokenDatabases() {
    const std::pair<QString, QString> cases[] = {
        {dir_.filePath("absent.sqlite"), "no runs recorded"},
        {db_, "no runs recorded"},  // a job without runs
        {dir_.filePath("broken.sqlite"), "file is not a database"}};
    QFile broken(dir_.filePath("broken.sqlite"));
    QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write(QByteArray(4096, 'x')) == 4096);
    broken.close();
    for (const auto& [database, text] : cases) {
      RunHistoryWindow window;
      window.showJob("/jobs/none.xml", database);
      QCOMPARE(window.runsTable()->rowCount(), 0);
      QVERIFY2(window.statusLabel()->text().contains(text),
               qPrintable(window.statusLabel()->text()));
      QVERIFY(window.timeline()->bars().empty());
    }
  }

  void mainWindowCommandsShowTheJobRefreshAfterARunAndRunFailedLinesAgain() {
    const QString job_file = dir_.filePath("nightly.xml");
    JobDocument job;
    job.Description = "Nightly";
    job.LogFile = "/tmp/r.htm", job.UserFile = "/tmp/u.htm";
    job.TempLogDir = "/tmp";
    job.MaxParallel = "4";
    job.table.SetJobLineCount(1);
    job.table.Set(kColNumber, 0, "10"), job.table.Set(kColActive, 0, "true");
    QVERIFY(WriteJobFile(job_file.toStdString(), job, "2026-12-07 12:00:00").ok);
    qputenv("JOBRUNNER_METADATA_DB", db_.toUtf8());
    MessageBox::enableTesting();
    auto executor = std::make_unique<RerunExecutor>();
    RerunExecutor& runs = *executor;
    MainWindow main(std::move(executor));
    QVERIFY(main.openJobFile(job_file, false));
    QAction* command = main.findChild<QAction*>("runHistory");
    QVERIFY(command);
    QCOMPARE(command->shortcut(), QKeySequence("Ctrl+H"));
    QVERIFY(main.findChild<QToolBar*>("toolBar")->actions().contains(command));
    command->trigger();
    auto* window = main.findChild<RunHistoryWindow*>();
    QVERIFY(window && window->isVisible());
    QCOMPARE(window->runsTable()->rowCount(), 0);
    // A run of this job file ends: the window shows it.
    {
      auto history = std::move(RunHistory::OpenForWriting(db_.toStdString()).value);
      RunStart run;
      run.run_id = "night";
      run.job_file = job_file.toStdString();
      run.job_sha256 = FileSha256(job_file.toStdString()).value;
      run.start = kFirst;
      QVERIFY(history->BeginRun(run).ok());
      QVERIFY(history->WriteLines("night", {Line(10, 0, kFirst, 0, 5, LineOutcome::kOk)}).ok());
    }
    emit main.runEnded();
    QCOMPARE(window->runsTable()->rowCount(), 1);
    QCOMPARE(window->runsTable()->item(0, 2)->text(), QString("interrupted"));

    // Run Failed Lines Again on the unchanged job: one question, then the rerun of the
    // chosen run, the panel naming the lines over; the button is off while it runs.
    QPushButton* button = window->rerunButton();
    QCOMPARE(button->text(), QString("Run Failed Lines &Again"));
    QSignalSpy ended(&main, &MainWindow::runEnded);
    MessageBox::setNextAnswer(MessageBox::Answer::kYes);
    button->click();
    QVERIFY(!button->isEnabled() && ended.wait());
    QVERIFY(runs.reruns.size() == 1 && runs.reruns[0].run_id == "night" &&
            !runs.reruns[0].job_changed);
    QCOMPARE(MessageBox::lastText(), QString("Run the failed lines of run night again ?"));
    QVERIFY(button->isEnabled());
    QVERIFY(main.findChild<QLabel*>("runProgress")
                ->text()
                .startsWith("Rerun of night, job lines over, not run again: 10.  Last run:"));
    // An unsaved change is saved first, so the file differs from the run's: the window says
    // what the command line would refuse; No runs nothing, Yes runs it as --force does.
    main.findChild<QLineEdit*>("description")->insert(" again");
    for (const MessageBox::Answer answer : {MessageBox::Answer::kNo, MessageBox::Answer::kYes}) {
      MessageBox::setNextAnswer(answer);
      button->click();
      const MessageBox::Shown asked = MessageBox::last();
      QVERIFY2(asked.text.contains("changed since run night (its SHA-256 differs)") &&
                   asked.text.contains("refuses it without --force"),
               qPrintable(asked.text));
      QCOMPARE(asked.default_answer, MessageBox::Answer::kNo);
    }
    QVERIFY(ended.wait());
    QVERIFY(runs.reruns.size() == 2 && runs.reruns[1].job_changed);
  }

 private:
  // The given columns of every row of `table`, each row's joined by "|".
  static QStringList Rows(QTableWidget* table, std::initializer_list<int> columns) {
    QStringList rows;
    for (int row = 0; row < table->rowCount(); ++row) {
      QStringList cells;
      for (int column : columns) cells << table->item(row, column)->text();
      rows << cells.join("|");
    }
    return rows;
  }

  QTemporaryDir dir_;
  QString db_;
};

QTEST_MAIN(RunHistoryWindowTest)
#include "run_history_window_test.moc"
