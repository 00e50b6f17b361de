// New, Open, Save, Save As and Exit: the save question's answers, the overwrite
// question, the caption, and files that cannot be read or written leaving the window as
// it was.

#include <QAction>

#include "window_fixture.h"

using jr::FileDialog;
using jr::MessageBox;
using jr::testing::Messages;
using jr::testing::ReadAll;

class JobFileCommandsTest : public jr::testing::WindowTest {
  Q_OBJECT

 private slots:
  void init() {
    Start();
    FillValidHeader();
  }
  void cleanup() { Stop(); }

  void saveQuestion_data() {
    QTest::addColumn<bool>("hasFile");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("saveAsChoice");
    QTest::addColumn<bool>("validHeader");
    QTest::addColumn<int>("result");
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
    w_->show();
    QVERIFY(w_->close());  // no job lines: nothing asked
    QVERIFY(MessageBox::history().isEmpty());
    w_->show();
    AddLines({10, 20});
    if (hasFile) SaveAs("job.xml"), QFile::remove(path("job.xml")), AddLines({30});
    QFETCH(bool, validHeader);
    if (!validHeader) field("BatchDescription")->setText("  ");
    if (!saveAsChoice.isEmpty()) FileDialog::setNextFileName(path(saveAsChoice));
    QFETCH(int, answer);
    MessageBox::setNextAnswer(answer);
    Trigger("Exit");
    QCOMPARE(w_->isVisible(), result == 2);
    QCOMPARE(MessageBox::history().first().buttons, MessageBox::kYesNoCancel);
    QCOMPARE(Messages(), QString("Save Job: Do you want to save current job ?") +
                             (validHeader ? "" : "|Job Description: Please enter description"));
    QCOMPARE(QFile::exists(path("job.xml")), result == 6);
    QCOMPARE(w_->HasUnsavedChanges(), result != 6);
  }

  void newAndOpenFollowTheAnswerAndSetTheCaption() {
    AddLines({10});
    field<jr::uTextBox>("txtMaxParallel")->setText("7");
    const QString name = path("a job.xml");
    FileDialog::setNextFileName(name + " ");  // blanks are no part of the name
    Trigger("SaveAsBatch");
    QCOMPARE(w_->windowTitle(), "Extraction Job Runner (" + name + ")");
    AddLines({20});
    MessageBox::setNextAnswer(MessageBox::kCancel);
    Trigger("NewBatch");
    QCOMPARE(w_->table().Get_BatchLine_Count(), 2);
    MessageBox::setNextAnswer(MessageBox::kNo);
    Trigger("NewBatch");
    QCOMPARE(w_->table().Get_BatchLine_Count(), 0);
    QCOMPARE(field("LogFile")->text(), QString());
    QCOMPARE(w_->windowTitle(), QString("Extraction Job Runner"));
    QCOMPARE(field<jr::uTextBox>("txtMaxParallel")->Text(), QString("7"));

    FileDialog::setNextFileName(name);
    Trigger("OpenBatch");
    QCOMPARE(FileDialog::lastRequest().filters, QStringList{"Extraction Jobs (*.xml)"});
    QCOMPARE(w_->windowTitle(), "Extraction Job Runner (" + name + ")");
    QCOMPARE(w_->table().Get_BatchLine_Count(), 1);
    QCOMPARE(field("BatchDescription")->text(), QString("Nightly load"));
    QVERIFY(!w_->HasUnsavedChanges());
  }

  void failedOpenLeavesTheWindowAsItWas_data() {
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing") << QString() << "Job file does not exist";
    QTest::newRow("malformed") << "<VANTORSOREL_Job_specification"
                               << "Job file does not exist";
    QTest::newRow("other") << "<other/>"
                           << "This is no Orvex Job Extraction specification file";
  }
  void failedOpenLeavesTheWindowAsItWas() {
    QFETCH(QString, content);
    AddLines({10, 20});
    SaveAs("good.xml");
    field("BatchDescription")->setText("edited");
    if (!content.isNull()) jr::testing::WriteFile(path("bad.xml"), content.toUtf8());
    MessageBox::setNextAnswer(MessageBox::kNo);
    FileDialog::setNextFileName(path("bad.xml"));
    Trigger("OpenBatch");
    QCOMPARE(MessageBox::last().icon, MessageBox::kExclamation);
    QFETCH(QString, message);
    QCOMPARE(Messages(), "Save Job: Do you want to save current job ?|Open: " + message);
    QCOMPARE(w_->windowTitle(), "Extraction Job Runner (" + path("good.xml") + ")");
    QCOMPARE(field("BatchDescription")->text(), QString("edited"));
    QCOMPARE(w_->table().Get_BatchLine_Count(), 2);
    QVERIFY(w_->HasUnsavedChanges());
    QVERIFY(!w_->Import(path("bad.xml"), true));
    QCOMPARE(MessageBox::last().icon, MessageBox::kCritical);
  }

  void saveAsAsksBeforeReplacingAnotherFile() {
    AddLines({10});
    const QString current = path("current.xml"), other = path("other.xml");
    SaveAs("current.xml");
    AddLines({20});
    FileDialog::setNextFileName(" " + current);  // the same name: no question
    Trigger("SaveAsBatch");
    QVERIFY(ReadAll(current).contains("batch_line=\"20\""));
    jr::testing::WriteFile(other, "keep me");
    AddLines({30});
    FileDialog::setNextFileName(other);
    MessageBox::setNextAnswer(MessageBox::kNo);
    Trigger("SaveAsBatch");
    QCOMPARE(Messages(), "Save as " + other + ": File " + other + " already exists. Overwrite?");
    QCOMPARE(ReadAll(other), QString("keep me"));
    QCOMPARE(w_->CurrentJobFile(), " " + current);
    // Declined, the job is still unsaved, so closing would still ask.
    QVERIFY(w_->HasUnsavedChanges());
    FileDialog::setNextFileName(other);
    MessageBox::setNextAnswer(MessageBox::kYes);
    Trigger("SaveAsBatch");
    QVERIFY(ReadAll(other).contains("batch_line=\"30\""));
    QCOMPARE(w_->CurrentJobFile(), other);
  }

  void saveNeverAsksAndAFailedWriteShowsTheCause() {
    AddLines({10});
    FileDialog::setNextFileName(path("missing folder/job.xml"));
    Trigger("SaveBatch");  // no file yet: Save As
    QVERIFY(MessageBox::lastText().contains("missing folder"));
    QVERIFY(w_->HasUnsavedChanges());
    QCOMPARE(w_->CurrentJobFile(), QString());
    SaveAs("job.xml");
    AddLines({20});
    Trigger("tbSave");
    QCOMPARE(FileDialog::shownCount(), 0);
    QVERIFY(MessageBox::history().isEmpty() && !w_->HasUnsavedChanges());
  }
};

QTEST_MAIN(JobFileCommandsTest)
#include "job_file_commands_test.moc"
