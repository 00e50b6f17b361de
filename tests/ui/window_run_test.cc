// Execute Job from the window with the real run driver, stand-in programs and a
// temporary registry, event log and metadata database.

#include <QLabel>
#include <QProcess>
#include <QtTest>

#include "ui/main_window/job_executor.h"
#include "window_fixture.h"

using jr::MessageBox;

class WindowRunTest : public QObject {
  Q_OBJECT

 private slots:
  void executeRunsTheJobAndWritesItsReports() {
    jr::testing::WindowFixture fixture(jr::MakeDriverJobExecutor());
    const QString bin = qEnvironmentVariable("JOBRUNNER_BIN_DIR");
    QCOMPARE(QProcess::execute("/bin/bash", {QString(JOBRUNNER_SOURCE_DIR) +
                                                 "/scripts/make-utilities.sh",
                                             fixture.path("install"), bin}),
             0);
    qputenv("JOBRUNNER_REGISTRY", fixture.path("install/registry.reg").toUtf8());
    qputenv("JOBRUNNER_EVENT_LOG", fixture.path("events.log").toUtf8());
    qputenv("JOBRUNNER_METADATA_DB", fixture.path("metadata.sqlite").toUtf8());

    fixture.FillValidHeader();
    fixture.field<QCheckBox>("chkLogToEventLog")->setChecked(true);
    fixture.AddLines({10, 20});
    fixture.window->table().Set(jr::kColOptions, 0, "-sleep 300");
    fixture.window->table().Set(jr::kColWait, 1, "10");
    fixture.window->table().Set(jr::kColOptions, 1, "-status failure");
    fixture.SaveAs("job.xml");
    MessageBox::setNextAnswer(MessageBox::kYes);
    QElapsedTimer timer;
    timer.start();
    fixture.window->ExecuteJob_Click();
    // Two short lines, one after the other: noticed as they end, not a second later each.
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));

    const QString admin = jr::testing::ReadAll(fixture.path("admin.htm"));
    QVERIFY(admin.contains("Flow Runner"));
    QVERIFY(!jr::testing::ReadAll(fixture.path("user.htm")).isEmpty());
    QCOMPARE(jr::testing::ReadAll(fixture.path("events.log")),
             QString("Extraction Job Runner\t1\t0\t1\t\\r\\n\\r\\nJob 'Nightly load' finished "
                     "with error(s).\n"));
    const QString progress = fixture.field<QLabel>("runProgress")->text();
    QVERIFY2(progress.contains("finished with error(s).") && progress.contains("1 failed"),
             qPrintable(progress));
  }
};

QTEST_MAIN(WindowRunTest)
#include "window_run_test.moc"
