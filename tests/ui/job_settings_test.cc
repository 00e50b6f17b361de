// The job header: the whole-header check and its order, the report file name check, the
// checks when a field is left, and the browse buttons.

#include <QFileInfo>
#include <QPushButton>
#include <QTest>
#include <functional>

#include "window_fixture.h"

using jr::FileDialog;
using jr::MessageBox;
using jr::testing::WindowFixture;

class JobSettingsTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    fixture_ = std::make_unique<WindowFixture>();
    window_ = fixture_->window.get();
  }
  void cleanup() { fixture_.reset(); }

  void headerChecksStopAtTheFirstFault_data() {
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("logFile");
    QTest::addColumn<QString>("userFile");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("title");
    // "@" stands for the temporary folder.
    QTest::newRow("blank description") << "  "
                                       << ""
                                       << ""
                                       << ""
                                       << "Please enter description"
                                       << "Job Description";
    QTest::newRow("no admin file") << "d"
                                   << ""
                                   << ""
                                   << ""
                                   << "Please enter Log File (Administrators)"
                                   << "Log File (Administrators)";
    QTest::newRow("no user file") << "d"
                                  << "@/a.htm"
                                  << ""
                                  << ""
                                  << "Please enter Log File (End Users)"
                                  << "Log File (Users)";
    QTest::newRow("same file but for case and blanks")
        << "d"
        << "@/A.htm "
        << " @/a.htm"
        << ""
        << "Log Files for administrators and for end users must be different files"
        << "Log File";
    QTest::newRow("no folder") << "d"
                               << "@/a.htm"
                               << "@/u.htm"
                               << ""
                               << "Please enter Log File Directory"
                               << "Log File Directory";
    QTest::newRow("user file examined before admin file")
        << "d"
        << "@/a.html"
        << "@/u.HTM"
        << "@"
        << "The extension of the log-file must be 'htm'"
        << "Log File";
    QTest::newRow("blank admin file passes the emptiness test") << "d"
                                                                << "   "
                                                                << "@/u.htm"
                                                                << "@"
                                                                << "The log-filename is not correct"
                                                                << "Log File";
    QTest::newRow("missing folder") << "d"
                                    << "@/a.htm"
                                    << "@/u.htm"
                                    << "@/nope"
                                    << "Directory @/nope does not exist !"
                                    << "Log file directory";
    QTest::newRow("all valid") << "d"
                               << "@/a.htm"
                               << "@/u.htm"
                               << " @ "
                               << ""
                               << "";
  }
  void headerChecksStopAtTheFirstFault() {
    QFETCH(QString, description);
    QFETCH(QString, logFile);
    QFETCH(QString, userFile);
    QFETCH(QString, folder);
    QFETCH(QString, message);
    QFETCH(QString, title);
    const QString temp = fixture_->temp.path();
    fixture_->field("BatchDescription")->setText(description);
    fixture_->field("LogFile")->setText(logFile.replace("@", temp));
    fixture_->field("UserFile")->setText(userFile.replace("@", temp));
    fixture_->field("LogFileDir")->setText(folder.replace("@", temp));
    QCOMPARE(window_->CheckJobSettings(), message.isEmpty());
    if (message.isEmpty()) {
      QVERIFY(MessageBox::history().isEmpty());
    } else {
      QCOMPARE(MessageBox::history().size(), 1);
      QCOMPARE(MessageBox::lastText(), message.replace("@", temp));
      QCOMPARE(MessageBox::lastTitle(), title);
      QCOMPARE(MessageBox::last().icon, MessageBox::kExclamation);
      QCOMPARE(MessageBox::last().buttons, MessageBox::kOkOnly);
    }
  }

  void reportFileNames_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    QTest::newRow("exactly five characters") << "@/x.htm"
                                             << "";
    QTest::newRow("short") << "a.ht"
                           << "The log-filename is not correct";
    QTest::newRow("short once trimmed") << "  .htm  "
                                        << "The log-filename is not correct";
    QTest::newRow("upper-case extension") << "@/r.HTM"
                                          << "The extension of the log-file must be 'htm'";
    QTest::newRow("html") << "@/r.html"
                          << "The extension of the log-file must be 'htm'";
    QTest::newRow("valid after blanks") << "   @/r.htm"
                                        << "";
    QTest::newRow("folder missing") << "@/none/r.htm"
                                    << "Unable to write to file '@/none/r.htm'";
    QTest::newRow("a folder of that name") << "@/dir.htm"
                                           << "Unable to write to file '@/dir.htm'";
  }
  void reportFileNames() {
    QFETCH(QString, name);
    QFETCH(QString, message);
    const QString temp = fixture_->temp.path();
    QDir(temp).mkdir("dir.htm");
    name.replace("@", temp);
    QCOMPARE(window_->CheckLogFileName(name), message.isEmpty());
    QCOMPARE(MessageBox::lastText(), message.replace("@", temp));
    if (!message.isEmpty()) QCOMPARE(MessageBox::lastTitle(), QString("Log File"));
    // The probe leaves nothing behind.
    QVERIFY(!QFileInfo(name.trimmed()).isFile());
  }

  void existingReportFileIsNotTouched() {
    const QString name = fixture_->path("old.htm");
    QFile file(name);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("report");
    file.close();
    QVERIFY(window_->CheckLogFileName(name));
    QCOMPARE(jr::testing::ReadAll(name), QString("report"));
  }

  void leavingAReportFieldShowsTheCheckOnly() {
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_));
    fixture_->field("LogFile")->setFocus();
    fixture_->field("LogFile")->setText("report.html");
    fixture_->field("UserFile")->setFocus();  // leaves LogFile
    QCOMPARE(MessageBox::lastText(), QString("The extension of the log-file must be 'htm'"));
    QVERIFY(fixture_->field("UserFile")->hasFocus());
    MessageBox::reset();
    fixture_->field("BatchDescription")->setFocus();  // leaves an empty UserFile
    QVERIFY(MessageBox::history().isEmpty());
  }

  void leavingTheFolderFieldOffersToCreateIt() {
    const QString folder = fixture_->path("new/sub");
    fixture_->field("LogFileDir")->setText(folder);
    MessageBox::setNextAnswer(MessageBox::kNo);
    window_->LogFileDir_LostFocus();
    QCOMPARE(MessageBox::lastText(), "The directory " + folder +
                                         " does not exist !\r\nWould you like to create this "
                                         "directory now?");
    QCOMPARE(MessageBox::lastTitle(), QString("Log file directory"));
    QCOMPARE(MessageBox::last().buttons, MessageBox::kYesNo);
    QVERIFY(!QFileInfo(folder).isDir());

    fixture_->FillValidHeader();
    fixture_->field("LogFileDir")->setText(folder);
    QVERIFY(!window_->CheckJobSettings());
    QCOMPARE(MessageBox::lastText(), "Directory " + folder + " does not exist !");

    MessageBox::setNextAnswer(MessageBox::kYes);
    window_->LogFileDir_LostFocus();
    QVERIFY(QFileInfo(folder).isDir());
    QVERIFY(window_->CheckJobSettings());
    MessageBox::reset();
    window_->LogFileDir_LostFocus();  // exists now: nothing to ask
    QVERIFY(MessageBox::history().isEmpty());
  }

  void folderThatCannotBeCreatedIsReported() {
    QFile blocker(fixture_->path("file"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    window_->CreateLogFolder(fixture_->path("file/sub"));
    QVERIFY(MessageBox::lastText().startsWith("Unable to create directory "));
  }

  void everyHeaderEditMarksTheJobChanged() {
    fixture_->FillValidHeader();
    fixture_->AddLines({10});
    FileDialog::setNextFileName(fixture_->path("job.xml"));
    window_->SaveBatch_Click();
    QVERIFY(!window_->HasUnsavedChanges());
    const std::function<void()> edits[] = {
        [&] { fixture_->field("BatchDescription")->setText("x"); },
        [&] { fixture_->field("LogFile")->setText(fixture_->path("other.htm")); },
        [&] { fixture_->field("UserFile")->setText(fixture_->path("other2.htm")); },
        [&] { fixture_->field("LogFileDir")->setText(fixture_->path("logs/")); },
        [&] {
          auto* box = fixture_->field<jr::uTextBox>("txtMaxParallel")->inner();
          box->selectAll();
          QTest::keyClicks(box, "5");
        },
        [&] { fixture_->field<QCheckBox>("chkLogToEventLog")->toggle(); },
    };
    for (const auto& edit : edits) {
      window_->SaveBatch_Click();
      QVERIFY(!window_->HasUnsavedChanges());
      edit();
      QVERIFY(window_->HasUnsavedChanges());
      // ... so that closing asks rather than dropping the edit.
      MessageBox::reset();
      MessageBox::setNextAnswer(MessageBox::kCancel);
      QCOMPARE(window_->check_save(), int(MessageBox::kCancel));
      QCOMPARE(MessageBox::history().size(), 1);
    }
  }

  void browsingForReportFiles() {
    auto* button = fixture_->field<QPushButton>("UserFileBut");
    QCOMPARE(button->text(), QString("..."));
    // Empty field: the dialog opens with the report filter in the log folder.
    button->click();
    FileDialog::setNextFileName(fixture_->path("chosen.htm"));
    QCOMPARE(FileDialog::lastRequest().title, QString("Log File (End Users)"));
    QCOMPARE(FileDialog::lastRequest().filters, QStringList{"Orvex Report Files (*.htm)"});
    QVERIFY(FileDialog::lastRequest().directory.endsWith("/log"));
    QCOMPARE(FileDialog::lastRequest().default_suffix, QString("htm"));
    QCOMPARE(fixture_->field("UserFile")->text(), QString());  // cancelled
    QVERIFY(window_->HasUnsavedChanges());

    button->click();
    QCOMPARE(fixture_->field("UserFile")->text(), fixture_->path("chosen.htm"));
    // A filled field starts the dialog on its name.
    fixture_->field<QPushButton>("UserFileBut")->click();
    QCOMPARE(FileDialog::lastRequest().file_name, fixture_->path("chosen.htm"));
    QCOMPARE(FileDialog::lastRequest().directory, QString());

    fixture_->field("LogFile")->setText("mine.htm");
    fixture_->field<QPushButton>("LogFileBut")->click();
    QCOMPARE(FileDialog::lastRequest().title, QString("Log File (Administrators)"));
    QCOMPARE(FileDialog::lastRequest().file_name, QString("mine.htm"));
    QVERIFY(FileDialog::lastRequest().filters.isEmpty());  // never given one yet
  }

  void browsingForTheLogFolder() {
    auto* button = fixture_->field<QPushButton>("LogDirBut");
    fixture_->field("LogFileDir")->setText(fixture_->path("logs/"));
    FileDialog::setNextDirectory(fixture_->path("picked"));
    button->click();
    QCOMPARE(FileDialog::lastRequest().directory, fixture_->path("logs"));
    QCOMPARE(FileDialog::lastRequest().title, QString("Log file directory"));
    QCOMPARE(fixture_->field("LogFileDir")->text(), fixture_->path("picked"));

    // Cancelled: the field keeps its text; an empty field starts at the program's log folder.
    fixture_->field("LogFileDir")->setText("  ");
    button->click();
    QVERIFY(fixture_->field("LogFileDir")->text().endsWith("/log"));
    QCOMPARE(FileDialog::lastRequest().directory, fixture_->field("LogFileDir")->text());

    fixture_->field("LogFileDir")->setText("/");
    button->click();
    QCOMPARE(FileDialog::lastRequest().directory, QString("/"));
  }

 private:
  std::unique_ptr<WindowFixture> fixture_;
  jr::BatchDefinitionFrm* window_ = nullptr;
};

QTEST_MAIN(JobSettingsTest)
#include "job_settings_test.moc"
