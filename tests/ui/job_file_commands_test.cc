// New, Open, Save, Save As and closing: the save question's answers, the overwrite
// question, the caption, and files that cannot be read or written leaving the window as
// it was.

#include <QAction>
#include <QTableView>
#include <QTest>

#include "window_fixture.h"

using jr::FileDialog;
using jr::MessageBox;
using jr::testing::ReadAll;
using jr::testing::WindowFixture;

namespace {

const QString kCaption = "Extraction Job Runner";

}  // namespace

class JobFileCommandsTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    fixture_ = std::make_unique<WindowFixture>();
    window_ = fixture_->window.get();
  }
  void cleanup() { fixture_.reset(); }

  void saveQuestionIsAskedOnlyWithLinesAndChanges() {
    fixture_->FillValidHeader();
    QCOMPARE(window_->check_save(), int(MessageBox::kYes));  // no job lines yet
    QVERIFY(MessageBox::history().isEmpty());
    fixture_->AddLines({10});
    MessageBox::setNextAnswer(MessageBox::kNo);
    QCOMPARE(window_->check_save(), int(MessageBox::kNo));
    QCOMPARE(MessageBox::lastText(), QString("Do you want to save current job ?"));
    QCOMPARE(MessageBox::lastTitle(), QString("Save Job"));
    QCOMPARE(MessageBox::last().buttons, MessageBox::kYesNoCancel);
    QCOMPARE(MessageBox::last().icon, MessageBox::kQuestion);
  }

  void saveQuestionAnswers_data() {
    QTest::addColumn<bool>("hasFile");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("saveAsChoice");
    QTest::addColumn<bool>("validHeader");
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("written");
    QTest::newRow("yes saves to the current file") << true << 6 << "" << true << 6 << true;
    QTest::newRow("yes without a file saves as") << false << 6 << "job.xml" << true << 6 << true;
    QTest::newRow("yes but save as cancelled") << false << 6 << "" << true << 2 << false;
    QTest::newRow("yes with a failing header") << true << 6 << "" << false << 2 << false;
    QTest::newRow("no goes on unsaved") << true << 7 << "" << true << 7 << false;
    QTest::newRow("cancel stops") << true << 2 << "" << true << 2 << false;
  }
  void saveQuestionAnswers() {
    QFETCH(bool, hasFile);
    QFETCH(int, answer);
    QFETCH(QString, saveAsChoice);
    QFETCH(bool, validHeader);
    QFETCH(int, result);
    QFETCH(bool, written);
    fixture_->FillValidHeader();
    fixture_->AddLines({10, 20});
    const QString target = fixture_->path("job.xml");
    if (hasFile) {
      FileDialog::setNextFileName(target);
      window_->SaveAsBatch_Click();
      QFile::remove(target);
      fixture_->AddLines({30});
    }
    if (!validHeader) fixture_->field("BatchDescription")->setText("  ");
    if (!saveAsChoice.isEmpty()) FileDialog::setNextFileName(fixture_->path(saveAsChoice));
    MessageBox::reset();
    MessageBox::setNextAnswer(answer);

    QCOMPARE(window_->check_save(), result);
    QCOMPARE(QFile::exists(target), written);
    QCOMPARE(window_->HasUnsavedChanges(), !written);
    if (!validHeader) QCOMPARE(MessageBox::lastText(), QString("Please enter description"));
  }

  void newWithCancelledQuestionKeepsTheJob() {
    fixture_->FillValidHeader();
    fixture_->AddLines({10});
    MessageBox::setNextAnswer(MessageBox::kCancel);
    window_->NewBatch_Click();
    QCOMPARE(window_->table().Get_BatchLine_Count(), 1);
    MessageBox::setNextAnswer(MessageBox::kNo);
    window_->NewBatch_Click();
    QCOMPARE(window_->table().Get_BatchLine_Count(), 0);
    QCOMPARE(fixture_->field("BatchDescription")->text(), QString());
    QCOMPARE(fixture_->field<QTableView>("Grid")->model()->rowCount(), 0);
  }

  void newKeepsMaximumAndEventLogSwitch() {
    fixture_->field<jr::uTextBox>("txtMaxParallel")->setText("7");
    fixture_->field<QCheckBox>("chkLogToEventLog")->setChecked(true);
    window_->NewBatch_Click();
    QCOMPARE(fixture_->field<jr::uTextBox>("txtMaxParallel")->Text(), QString("7"));
    QVERIFY(fixture_->field<QCheckBox>("chkLogToEventLog")->isChecked());
  }

  void captionFollowsTheJobFile() {
    QCOMPARE(window_->windowTitle(), kCaption);
    fixture_->FillValidHeader();
    fixture_->AddLines({10});
    const QString name = fixture_->path("a job.xml");
    // Surrounding blanks are not part of the name: not in the caption, not on disk.
    FileDialog::setNextFileName(name + " ");
    window_->SaveAsBatch_Click();
    QCOMPARE(window_->windowTitle(), kCaption + " (" + name + ")");
    QCOMPARE(window_->CurrentJobFile(), name + " ");
    QVERIFY(QFile::exists(name));

    window_->NewBatch_Click();
    QCOMPARE(window_->windowTitle(), kCaption);
    QCOMPARE(window_->CurrentJobFile(), QString());

    FileDialog::setNextFileName(name);
    window_->OpenBatch_Click();
    QCOMPARE(window_->windowTitle(), kCaption + " (" + name + ")");
    QCOMPARE(window_->table().Get_BatchLine_Count(), 1);
    QVERIFY(!window_->HasUnsavedChanges());
    QCOMPARE(FileDialog::lastRequest().title, QString("Open Extraction Job"));
    QCOMPARE(FileDialog::lastRequest().filters, QStringList{"Extraction Jobs (*.xml)"});
  }

  void failedOpenLeavesTheWindowAsItWas_data() {
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing file") << QString() << "Job file does not exist";
    QTest::newRow("malformed") << "<VANTORSOREL_Job_specification"
                               << "Job file does not exist";
    QTest::newRow("other document") << "<other/>"
                                    << "This is no Orvex Job Extraction specification file";
  }
  void failedOpenLeavesTheWindowAsItWas() {
    QFETCH(QString, content);
    QFETCH(QString, message);
    fixture_->FillValidHeader();
    fixture_->AddLines({10, 20});
    const QString good = fixture_->path("good.xml");
    FileDialog::setNextFileName(good);
    window_->SaveAsBatch_Click();
    fixture_->field("BatchDescription")->setText("edited");
    const QString bad = fixture_->path("bad.xml");
    if (!content.isNull()) {
      QFile file(bad);
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write(content.toUtf8());
    }
    MessageBox::reset();
    MessageBox::setNextAnswer(MessageBox::kNo);  // the save question
    FileDialog::setNextFileName(bad);
    window_->OpenBatch_Click();

    QCOMPARE(MessageBox::lastText(), message);
    QCOMPARE(MessageBox::lastTitle(), QString("Open"));
    QCOMPARE(MessageBox::last().icon, MessageBox::kExclamation);
    QCOMPARE(window_->CurrentJobFile(), good);
    QCOMPARE(window_->windowTitle(), kCaption + " (" + good + ")");
    QCOMPARE(fixture_->field("BatchDescription")->text(), QString("edited"));
    QCOMPARE(window_->table().Get_BatchLine_Count(), 2);
    QVERIFY(window_->HasUnsavedChanges());
  }

  void importFromCommandLineUsesTheCriticalIcon() {
    QVERIFY(!window_->Import(fixture_->path("none.xml"), true));
    QCOMPARE(MessageBox::last().icon, MessageBox::kCritical);
  }

  void saveAsOverwriteQuestion() {
    fixture_->FillValidHeader();
    fixture_->AddLines({10});
    const QString current = fixture_->path("current.xml");
    FileDialog::setNextFileName(current);
    window_->SaveAsBatch_Click();
    QVERIFY(MessageBox::history().isEmpty());  // a new file: nothing to ask

    // The same name, but for blanks: written without a question.
    fixture_->AddLines({20});
    FileDialog::setNextFileName(" " + current);
    window_->SaveAsBatch_Click();
    QVERIFY(MessageBox::history().isEmpty());
    QVERIFY(!window_->HasUnsavedChanges());

    // Another existing file: asked first; No writes nothing and changes nothing.
    const QString other = fixture_->path("other.xml");
    QFile file(other);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("keep me");
    file.close();
    fixture_->AddLines({30});
    FileDialog::setNextFileName(other);
    MessageBox::setNextAnswer(MessageBox::kNo);
    window_->SaveAsBatch_Click();
    QCOMPARE(MessageBox::lastText(), "File " + other + " already exists. Overwrite?");
    QCOMPARE(MessageBox::lastTitle(), "Save as " + other);
    QCOMPARE(MessageBox::last().buttons, MessageBox::kYesNo);
    QCOMPARE(ReadAll(other), QString("keep me"));
    QCOMPARE(window_->CurrentJobFile(), " " + current);
    QVERIFY(window_->HasUnsavedChanges());
    QVERIFY(window_->SaveFailed());

    FileDialog::setNextFileName(other);
    MessageBox::setNextAnswer(MessageBox::kYes);
    window_->SaveAsBatch_Click();
    QVERIFY(ReadAll(other).contains("VANTORSOREL_Job_specification"));
    QCOMPARE(window_->CurrentJobFile(), other);
  }

  void saveWithoutFileRunsSaveAsAndSaveNeverAsks() {
    fixture_->FillValidHeader();
    fixture_->AddLines({10});
    const QString name = fixture_->path("job.xml");
    FileDialog::setNextFileName(name);
    window_->SaveBatch_Click();
    QCOMPARE(FileDialog::shownCount(), 1);
    QCOMPARE(FileDialog::lastRequest().title, QString("Save Extraction Job"));
    QVERIFY(QFile::exists(name));
    fixture_->AddLines({20});
    window_->SaveBatch_Click();
    QCOMPARE(FileDialog::shownCount(), 1);
    QVERIFY(MessageBox::history().isEmpty());
    QVERIFY(ReadAll(name).contains("batch_line=\"20\""));
  }

  void failedWriteShowsTheCauseAndKeepsTheJobUnsaved() {
    fixture_->FillValidHeader();
    fixture_->AddLines({10});
    FileDialog::setNextFileName(fixture_->path("no such folder/job.xml"));
    window_->SaveAsBatch_Click();
    QCOMPARE(MessageBox::history().size(), 1);
    QVERIFY(MessageBox::lastText().contains("no such folder"));
    QVERIFY(window_->HasUnsavedChanges());
    QVERIFY(window_->SaveFailed());
    QCOMPARE(window_->CurrentJobFile(), QString());
    QCOMPARE(window_->windowTitle(), kCaption);
  }

  void closingAsksAndCancelKeepsTheWindowOpen() {
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_));
    fixture_->FillValidHeader();
    fixture_->AddLines({10});
    MessageBox::setNextAnswer(MessageBox::kCancel);
    QVERIFY(!window_->close());
    QVERIFY(window_->isVisible());
    MessageBox::setNextAnswer(MessageBox::kCancel);
    window_->findChild<QAction*>("Exit")->trigger();
    QVERIFY(window_->isVisible());
    QCOMPARE(MessageBox::history().size(), 2);
    MessageBox::setNextAnswer(MessageBox::kNo);
    QVERIFY(window_->close());
  }

  void closingWithoutJobLinesAsksNothing() {
    window_->show();
    fixture_->FillValidHeader();
    QVERIFY(window_->close());
    QVERIFY(MessageBox::history().isEmpty());
  }

  void toolbarKeysCompareExactly() {
    fixture_->FillValidHeader();
    fixture_->AddLines({10});
    window_->tbToolBar_ButtonClick("save");
    QCOMPARE(FileDialog::shownCount(), 0);
    FileDialog::setNextFileName(fixture_->path("job.xml"));
    window_->tbToolBar_ButtonClick("Save");
    QCOMPARE(FileDialog::shownCount(), 1);
    QVERIFY(QFile::exists(fixture_->path("job.xml")));
  }

  void menusCarryTheirCaptionsAndShortcuts_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("shortcut");
    QTest::newRow("new") << "NewBatch"
                         << "&New Job"
                         << "Ctrl+N";
    QTest::newRow("open") << "OpenBatch"
                          << "&Open Job ..."
                          << "Ctrl+O";
    QTest::newRow("save") << "SaveBatch"
                          << "Sa&ve Job"
                          << "Ctrl+S";
    QTest::newRow("save as") << "SaveAsBatch"
                             << "Sav&e Job As ..."
                             << "";
    QTest::newRow("batch") << "MakeBatch"
                           << "Make &Batch File ..."
                           << "Ctrl+B";
    QTest::newRow("execute") << "ExecuteJob"
                             << "&Execute Job"
                             << "Ctrl+E";
    QTest::newRow("exit") << "Exit"
                          << "E&xit"
                          << "";
    QTest::newRow("insert") << "AddBline"
                            << "&Insert Job Line ..."
                            << "Shift+Ins";
    QTest::newRow("details") << "ChangeBline"
                             << "&Job Line Details..."
                             << "Ctrl+A";
    QTest::newRow("delete") << "DeleteBline"
                            << "&Delete Job Line ..."
                            << "Shift+Del";
    QTest::newRow("help") << "Help"
                          << "Extraction Job Runner &Help"
                          << "";
    QTest::newRow("tb new") << "tbNew"
                            << "New Job"
                            << "";
    QTest::newRow("tb change") << "tbChange"
                               << "Job Line Details"
                               << "";
  }
  void menusCarryTheirCaptionsAndShortcuts() {
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QString, shortcut);
    auto* action = window_->findChild<QAction*>(name);
    QVERIFY(action);
    QCOMPARE(action->text(), caption);
    QCOMPARE(action->shortcut().toString(), shortcut);
  }

 private:
  std::unique_ptr<WindowFixture> fixture_;
  jr::BatchDefinitionFrm* window_ = nullptr;
};

QTEST_MAIN(JobFileCommandsTest)
#include "job_file_commands_test.moc"
