// The main window's header and job file commands: the whole-header check and its order,
// the report file probe, the checks when a field is left, the browse buttons, every edit
// that must be saved; New, Open, Save, Save As and Exit with the save question, the
// overwrite question, the caption, and files that cannot be read or written leaving the
// window as it was.

#include <QFileInfo>
#include <functional>

#include "window_fixture.h"

using jr::FileDialog;
using jr::MessageBox;
using jr::testing::Messages;
using jr::testing::ReadAll;

class MainWindowTest : public jr::testing::WindowTest {
  Q_OBJECT

 private slots:
  void init() { Start(); }
  void cleanup() { Stop(); }

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
    QTest::newRow("blank admin file") << QStringList{"d", "   ", "@/u.htm", "@"} << "Log File: The log-filename is not correct";
    QTest::newRow("short once trimmed") << QStringList{"d", "  .htm  ", "@/u.htm", "@"} << "Log File: The log-filename is not correct";
    QTest::newRow("upper-case extension") << QStringList{"d", "@/r.HTM", "@/u.htm", "@"} << "Log File: The extension of the log-file must be 'htm'";
    QTest::newRow("folder missing") << QStringList{"d", "@/no/r.htm", "@/u.htm", "@"} << "Log File: Unable to write to file '@/no/r.htm'";
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
    const char* names[] = {"BatchDescription", "LogFile", "UserFile", "LogFileDir"};
    for (int i = 0; i < 4; ++i) field(names[i])->setText(fields[i].replace("@", temp_->path()));
    QCOMPARE(header()->CheckJobSettings(), message.isEmpty());
    QCOMPARE(Messages(), message.replace("@", temp_->path()));
    // The probe leaves nothing behind and never touches an existing report.
    QCOMPARE(QDir(temp_->path()).entryList(QDir::Files), QStringList{"old.htm"});
    QCOMPARE(ReadAll(path("old.htm")), QString("report"));
  }

  void leavingFields() {
    w_->show();
    QVERIFY(QTest::qWaitForWindowExposed(w_.get()));
    field("LogFile")->setFocus();
    field("LogFile")->setText("report.html");
    field("UserFile")->setFocus();
    QVERIFY(field("UserFile")->hasFocus());  // the focus moves on all the same
    field("BatchDescription")->setFocus();   // an empty field is not checked
    QCOMPARE(Messages(), QString("Log File: The extension of the log-file must be 'htm'"));
    const QString folder = path("new/sub");
    field("LogFileDir")->setText(folder);
    for (int answer : {MessageBox::kNo, MessageBox::kYes, MessageBox::kYes}) {
      MessageBox::setNextAnswer(answer);
      field("LogFileDir")->setFocus();
      field("BatchDescription")->setFocus();
      QCOMPARE(QFileInfo(folder).isDir(), answer == MessageBox::kYes);
    }
    const QString question = "Log file directory: The directory " + folder +
                             " does not exist !\r\nWould you like to create this directory now?";
    QCOMPARE(Messages(), question + "|" + question);  // once it exists, nothing is asked
    jr::testing::WriteFile(path("file"), "");
    header()->CreateLogFolder(path("file/sub"));
    QVERIFY(MessageBox::lastText().startsWith("Unable to create directory "));
  }

  void everyHeaderEditMarksTheJobChanged() {
    FillValidHeader();
    AddLines({10});
    SaveAs("job.xml");
    auto* box = field<jr::uTextBox>("txtMaxParallel")->inner();
    const std::function<void()> edits[] = {
        [&] { field("BatchDescription")->setText("x"); },
        [&] { field("UserFile")->setText(path("other.htm")); },
        [&] { field("LogFileDir")->setText(path("logs/")); },
        [&] { box->selectAll(), QTest::keyClicks(box, "5"); },
        [&] { field<QCheckBox>("chkLogToEventLog")->toggle(); },
        [&] { field<QPushButton>("LogDirBut")->click(); },  // cancelled
        [&] { field<QPushButton>("UserFileBut")->click(); },
    };
    for (const auto& edit : edits) {
      Trigger("SaveBatch");
      QVERIFY(!w_->HasUnsavedChanges());
      edit();
      QVERIFY(w_->HasUnsavedChanges());
    }
  }

  void browseButtons() {
    field<QPushButton>("UserFileBut")->click();  // cancelled
    const jr::FileDialogRequest asked = FileDialog::lastRequest();
    QCOMPARE(asked.title + "|" + asked.filters.join(";"),
             QString("Log File (End Users)|Orvex Report Files (*.htm)"));
    QVERIFY(asked.directory.endsWith("/log"));
    FileDialog::setNextFileName(path("chosen.htm"));
    field<QPushButton>("UserFileBut")->click();
    field("LogFileDir")->setText(path("logs/"));
    FileDialog::setNextDirectory(path("picked"));
    field<QPushButton>("LogDirBut")->click();
    QCOMPARE(FileDialog::lastRequest().title + "|" + FileDialog::lastRequest().directory,
             "Log file directory|" + path("logs"));
    QCOMPARE(field("UserFile")->text() + "|" + field("LogFileDir")->text(),
             path("chosen.htm") + "|" + path("picked"));
  }

  void saveQuestion_data() {
    QTest::addColumn<bool>("hasFile");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("saveAsChoice");
    QTest::addColumn<bool>("validHeader");
    QTest::addColumn<int>("result");  // 6 saved and closed, 7 closed unsaved, 2 kept open
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
    FillValidHeader();
    w_->show();
    QVERIFY(w_->close() && MessageBox::history().isEmpty());  // no job lines: nothing asked
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
    FillValidHeader();
    AddLines({10});
    field<jr::uTextBox>("txtMaxParallel")->setText("7");
    const QString name = path("a job.xml");
    FileDialog::setNextFileName(name + " ");  // blanks are no part of the name
    Trigger("SaveAsBatch");
    const QString saved = "Extraction Job Runner (" + name + ")|1|Nightly load|saved";
    QCOMPARE(Job(), saved);
    AddLines({20});
    MessageBox::setNextAnswer(MessageBox::kCancel);
    Trigger("NewBatch");
    QCOMPARE(Job(), "Extraction Job Runner (" + name + ")|2|Nightly load|unsaved");
    MessageBox::setNextAnswer(MessageBox::kNo);
    Trigger("NewBatch");
    QCOMPARE(Job() + field("LogFile")->text(), QString("Extraction Job Runner|0||unsaved"));
    QCOMPARE(field<jr::uTextBox>("txtMaxParallel")->Text(), QString("7"));
    field<jr::uTextBox>("txtMaxParallel")->setText("5");
    FileDialog::setNextFileName(name);
    Trigger("OpenBatch");
    QCOMPARE(field<jr::uTextBox>("txtMaxParallel")->Text(), QString("7"));
    QCOMPARE(FileDialog::lastRequest().filters, QStringList{"Extraction Jobs (*.xml)"});
    QCOMPARE(Job(), saved);
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
    FillValidHeader();
    AddLines({10, 20});
    SaveAs("good.xml");
    field("BatchDescription")->setText("edited");
    if (!content.isNull()) jr::testing::WriteFile(path("bad.xml"), content.toUtf8());
    MessageBox::setNextAnswer(MessageBox::kNo);
    FileDialog::setNextFileName(path("bad.xml"));
    Trigger("OpenBatch");
    QCOMPARE(MessageBox::last().icon, MessageBox::kExclamation);
    QCOMPARE(Messages(), "Save Job: Do you want to save current job ?|Open: " + message);
    QCOMPARE(Job(), "Extraction Job Runner (" + path("good.xml") + ")|2|edited|unsaved");
    QVERIFY(!w_->Import(path("bad.xml"), true));
    QCOMPARE(MessageBox::last().icon, MessageBox::kCritical);
  }

  void saveAsAsksBeforeReplacingAnotherFile() {
    FillValidHeader();
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
    // Declined, the job is still unsaved, so closing would still ask.
    QCOMPARE(Job(), "Extraction Job Runner (" + current + ")|3|Nightly load|unsaved");
    FileDialog::setNextFileName(other);
    MessageBox::setNextAnswer(MessageBox::kYes);
    Trigger("SaveAsBatch");
    QVERIFY(ReadAll(other).contains("batch_line=\"30\""));
    QCOMPARE(w_->CurrentJobFile(), other);
  }

  void saveNeverAsksAndAFailedWriteShowsTheCause() {
    FillValidHeader();
    AddLines({10});
    FileDialog::setNextFileName(path("missing folder/job.xml"));
    Trigger("SaveBatch");  // no file yet: Save As
    QVERIFY(MessageBox::lastText().contains("missing folder"));
    QCOMPARE(Job(), "Extraction Job Runner|1|Nightly load|unsaved");
    SaveAs("job.xml");
    AddLines({20});
    Trigger("tbSave");
    QCOMPARE(FileDialog::shownCount(), 0);
    QVERIFY(MessageBox::history().isEmpty() && !w_->HasUnsavedChanges());
  }

 private:
  // The window's job at a glance: "caption|job lines|description|saved or unsaved".
  QString Job() const {
    return w_->windowTitle() + "|" + QString::number(w_->table().Get_BatchLine_Count()) + "|" +
           field("BatchDescription")->text() + (w_->HasUnsavedChanges() ? "|unsaved" : "|saved");
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
