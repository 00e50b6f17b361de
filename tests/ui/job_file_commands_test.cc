// New, Open, Save, Save As and closing: the save question's answers, the overwrite
// question, the caption, and files that cannot be read or written leaving the window as
// it was.

#include <QAction>
#include <QTest>

#include "window_fixture.h"

using jr::FileDialog;
using jr::MessageBox;
using jr::testing::ReadAll;

class JobFileCommandsTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    fixture_ = std::make_unique<jr::testing::WindowFixture>();
    window_ = fixture_->window.get();
    fixture_->FillValidHeader();
  }
  void cleanup() { fixture_.reset(); }

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
    QFETCH(int, answer);
    QFETCH(QString, saveAsChoice);
    QFETCH(bool, validHeader);
    QFETCH(int, result);
    QCOMPARE(window_->check_save(), int(MessageBox::kYes));  // no job lines: nothing asked
    QVERIFY(MessageBox::history().isEmpty());
    fixture_->AddLines({10, 20});
    const QString target = fixture_->path("job.xml");
    if (hasFile) {
      fixture_->SaveAs("job.xml");
      QFile::remove(target);
      fixture_->AddLines({30});
    }
    if (!validHeader) fixture_->field("BatchDescription")->setText("  ");
    if (!saveAsChoice.isEmpty()) FileDialog::setNextFileName(fixture_->path(saveAsChoice));
    MessageBox::setNextAnswer(answer);

    QCOMPARE(window_->check_save(), result);
    QCOMPARE(MessageBox::history().first().text, QString("Do you want to save current job ?"));
    QCOMPARE(MessageBox::history().first().buttons, MessageBox::kYesNoCancel);
    QCOMPARE(QFile::exists(target), result == 6);
    QCOMPARE(window_->HasUnsavedChanges(), result != 6);
    if (!validHeader) QCOMPARE(MessageBox::lastText(), QString("Please enter description"));
  }

  void newAndOpenFollowTheAnswerAndSetTheCaption() {
    fixture_->AddLines({10});
    fixture_->field<jr::uTextBox>("txtMaxParallel")->setText("7");
    const QString name = fixture_->path("a job.xml");
    FileDialog::setNextFileName(name + " ");  // blanks are no part of the name
    window_->SaveAsBatch_Click();
    QCOMPARE(window_->windowTitle(), "Extraction Job Runner (" + name + ")");
    QVERIFY(QFile::exists(name));

    fixture_->AddLines({20});
    MessageBox::setNextAnswer(MessageBox::kCancel);
    window_->NewBatch_Click();
    QCOMPARE(window_->table().Get_BatchLine_Count(), 2);
    MessageBox::setNextAnswer(MessageBox::kNo);
    window_->NewBatch_Click();
    QCOMPARE(window_->table().Get_BatchLine_Count(), 0);
    QCOMPARE(fixture_->field("LogFile")->text(), QString());
    QCOMPARE(window_->windowTitle(), QString("Extraction Job Runner"));
    QCOMPARE(fixture_->field<jr::uTextBox>("txtMaxParallel")->Text(), QString("7"));

    FileDialog::setNextFileName(name);
    window_->OpenBatch_Click();
    QCOMPARE(FileDialog::lastRequest().filters, QStringList{"Extraction Jobs (*.xml)"});
    QCOMPARE(window_->windowTitle(), "Extraction Job Runner (" + name + ")");
    QCOMPARE(window_->table().Get_BatchLine_Count(), 1);
    QCOMPARE(fixture_->field("BatchDescription")->text(), QString("Nightly load"));
    QVERIFY(!window_->HasUnsavedChanges());
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
    QFETCH(QString, message);
    fixture_->AddLines({10, 20});
    fixture_->SaveAs("good.xml");
    fixture_->field("BatchDescription")->setText("edited");
    QFile bad(fixture_->path("bad.xml"));
    if (!content.isNull() && bad.open(QIODevice::WriteOnly)) bad.write(content.toUtf8());
    bad.close();
    MessageBox::setNextAnswer(MessageBox::kNo);
    FileDialog::setNextFileName(bad.fileName());
    window_->OpenBatch_Click();
    QCOMPARE(MessageBox::lastText(), message);
    QCOMPARE(MessageBox::lastTitle(), QString("Open"));
    QCOMPARE(MessageBox::last().icon, MessageBox::kExclamation);
    QCOMPARE(window_->CurrentJobFile(), fixture_->path("good.xml"));
    QVERIFY(window_->windowTitle().endsWith("good.xml)"));
    QCOMPARE(fixture_->field("BatchDescription")->text(), QString("edited"));
    QCOMPARE(window_->table().Get_BatchLine_Count(), 2);
    QVERIFY(window_->HasUnsavedChanges());
    QVERIFY(!window_->Import(bad.fileName(), true));
    QCOMPARE(MessageBox::last().icon, MessageBox::kCritical);
  }

  void saveAsAsksBeforeReplacingAnotherFile() {
    fixture_->AddLines({10});
    const QString current = fixture_->path("current.xml");
    fixture_->SaveAs("current.xml");
    fixture_->AddLines({20});
    FileDialog::setNextFileName(" " + current);  // the same name: no question
    window_->SaveAsBatch_Click();
    QVERIFY(MessageBox::history().isEmpty());
    QVERIFY(ReadAll(current).contains("batch_line=\"20\""));

    const QString other = fixture_->path("other.xml");
    QFile file(other);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("keep me") == 7);
    file.close();
    fixture_->AddLines({30});
    FileDialog::setNextFileName(other);
    MessageBox::setNextAnswer(MessageBox::kNo);
    window_->SaveAsBatch_Click();
    QCOMPARE(MessageBox::lastText(), "File " + other + " already exists. Overwrite?");
    QCOMPARE(MessageBox::lastTitle(), "Save as " + other);
    QCOMPARE(ReadAll(other), QString("keep me"));
    QCOMPARE(window_->CurrentJobFile(), " " + current);
    // Declined, the job is still unsaved, so closing would still ask.
    QVERIFY(window_->HasUnsavedChanges());
    QVERIFY(window_->SaveFailed());

    FileDialog::setNextFileName(other);
    MessageBox::setNextAnswer(MessageBox::kYes);
    window_->SaveAsBatch_Click();
    QVERIFY(ReadAll(other).contains("batch_line=\"30\""));
    QCOMPARE(window_->CurrentJobFile(), other);
  }

  void saveNeverAsksAndAFailedWriteShowsTheCause() {
    fixture_->AddLines({10});
    FileDialog::setNextFileName(fixture_->path("missing folder/job.xml"));
    window_->SaveBatch_Click();  // no file yet: Save As
    QVERIFY(MessageBox::lastText().contains("missing folder"));
    QVERIFY(window_->HasUnsavedChanges());
    QCOMPARE(window_->CurrentJobFile(), QString());

    fixture_->SaveAs("job.xml");
    fixture_->AddLines({20});
    window_->tbToolBar_ButtonClick("save");  // keys compare exactly
    QVERIFY(window_->HasUnsavedChanges());
    window_->tbToolBar_ButtonClick("Save");
    QCOMPARE(FileDialog::shownCount(), 0);
    QVERIFY(MessageBox::history().isEmpty());
    QVERIFY(!window_->HasUnsavedChanges());
  }

  void closingAsksAndCancelKeepsTheWindowOpen() {
    window_->show();
    QVERIFY(window_->close());  // no job lines: no question
    window_->show();
    fixture_->AddLines({10});
    MessageBox::setNextAnswer(MessageBox::kCancel);
    QVERIFY(!window_->close());
    MessageBox::setNextAnswer(MessageBox::kCancel);
    window_->findChild<QAction*>("Exit")->trigger();
    QVERIFY(window_->isVisible());
    MessageBox::setNextAnswer(MessageBox::kNo);
    QVERIFY(window_->close());
    QCOMPARE(MessageBox::history().size(), 3);
  }

 private:
  std::unique_ptr<jr::testing::WindowFixture> fixture_;
  jr::BatchDefinitionFrm* window_ = nullptr;
};

QTEST_MAIN(JobFileCommandsTest)
#include "job_file_commands_test.moc"
