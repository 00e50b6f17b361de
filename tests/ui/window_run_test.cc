// Execute Job from the window with the real run driver, stand-in programs and a
// temporary registry, event log and metadata database.

#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>

#include "ui/main_window/job_executor.h"
#include "window_fixture.h"

using jr::testing::ReadAll;

class WindowRunTest : public jr::testing::WindowTest {
  Q_OBJECT

 private slots:
  void executeRunsTheJobAndWritesItsReports() {
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
    jr::MessageBox::setNextAnswer(jr::MessageBox::kYes);
    QElapsedTimer timer;
    timer.start();
    w_->ExecuteJob_Click();
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
    Stop();
  }
};

QTEST_MAIN(WindowRunTest)
#include "window_run_test.moc"
