// The job header: the whole-header check and its order, the report file name check, the
// checks when a field is left, the browse buttons and the changes that must be saved.

#include <QFileInfo>
#include <functional>

#include "window_fixture.h"

using jr::FileDialog;
using jr::MessageBox;
using jr::testing::Messages;

class JobSettingsTest : public jr::testing::WindowTest {
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
    QTest::newRow("missing folder") << QStringList{"d", "@/a.htm", "@/u.htm", "@/no"} << "Log file directory: Directory @/no does not exist !";
    QTest::newRow("all valid") << QStringList{"d", "@/a.htm", "@/u.htm", " @ "} << "";
    // clang-format on
  }
  void headerChecksStopAtTheFirstFault() {
    QFETCH(QStringList, fields);
    QFETCH(QString, message);
    const char* names[] = {"BatchDescription", "LogFile", "UserFile", "LogFileDir"};
    for (int i = 0; i < 4; ++i) field(names[i])->setText(fields[i].replace("@", temp_->path()));
    QCOMPARE(header()->CheckJobSettings(), message.isEmpty());
    QCOMPARE(Messages(), message.replace("@", temp_->path()));
  }

  void reportFileNames_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    // clang-format off
    QTest::newRow("five characters") << "@/x.htm" << "";
    QTest::newRow("valid after blanks") << "   @/r.htm" << "";
    QTest::newRow("an existing file") << "@/old.htm" << "";
    QTest::newRow("short once trimmed") << "  .htm  " << "The log-filename is not correct";
    QTest::newRow("upper-case extension") << "@/r.HTM" << "The extension of the log-file must be 'htm'";
    QTest::newRow("html") << "@/r.html" << "The extension of the log-file must be 'htm'";
    QTest::newRow("folder missing") << "@/no/r.htm" << "Unable to write to file '@/no/r.htm'";
    QTest::newRow("a folder of that name") << "@/dir.htm" << "Unable to write to file '@/dir.htm'";
    // clang-format on
  }
  void reportFileNames() {
    QFETCH(QString, name);
    QFETCH(QString, message);
    QDir(temp_->path()).mkdir("dir.htm");
    jr::testing::WriteFile(path("old.htm"), "report");
    name.replace("@", temp_->path());
    QCOMPARE(header()->CheckLogFileName(name), message.isEmpty());
    QCOMPARE(MessageBox::lastText(), message.replace("@", temp_->path()));
    // The probe leaves nothing behind and never touches an existing report.
    QCOMPARE(QFileInfo(name.trimmed()).isFile(), name.endsWith("old.htm"));
    QCOMPARE(jr::testing::ReadAll(path("old.htm")), QString("report"));
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
    auto leave_folder = [&] {
      field("LogFileDir")->setFocus();
      field("BatchDescription")->setFocus();
    };
    MessageBox::setNextAnswer(MessageBox::kNo);
    leave_folder();
    QVERIFY(!QFileInfo(folder).isDir());
    MessageBox::setNextAnswer(MessageBox::kYes);
    leave_folder();
    QVERIFY(QFileInfo(folder).isDir());
    leave_folder();  // exists now: nothing asked
    const QString question = "Log file directory: The directory " + folder +
                             " does not exist !\r\nWould you like to create this directory now?";
    QCOMPARE(Messages(), question + "|" + question);
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
    QCOMPARE(field("UserFile")->text(), path("chosen.htm"));
    field("LogFileDir")->setText(path("logs/"));
    FileDialog::setNextDirectory(path("picked"));
    field<QPushButton>("LogDirBut")->click();
    QCOMPARE(FileDialog::lastRequest().title + "|" + FileDialog::lastRequest().directory,
             "Log file directory|" + path("logs"));
    QCOMPARE(field("LogFileDir")->text(), path("picked"));
  }
};

QTEST_MAIN(JobSettingsTest)
#include "job_settings_test.moc"
