// The job header: the whole-header check and its order, the report file name check, the
// checks when a field is left, the browse buttons and the changes that must be saved.

#include <QFileInfo>
#include <QPushButton>
#include <QTest>
#include <functional>

#include "window_fixture.h"

using jr::FileDialog;
using jr::MessageBox;

class JobSettingsTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    fixture_ = std::make_unique<jr::testing::WindowFixture>();
    window_ = fixture_->window.get();
    QDir(fixture_->temp.path()).mkdir("dir.htm");
  }
  void cleanup() { fixture_.reset(); }

  void headerChecksStopAtTheFirstFault_data() {
    QTest::addColumn<QStringList>("fields");  // description, admin, user, folder; @ = temp
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("title");
    // clang-format off
    QTest::newRow("blank description") << QStringList{" ", "", "", ""} << "Please enter description" << "Job Description";
    QTest::newRow("no admin file") << QStringList{"d", "", "", ""} << "Please enter Log File (Administrators)" << "Log File (Administrators)";
    QTest::newRow("no user file") << QStringList{"d", "@/a.htm", "", ""} << "Please enter Log File (End Users)" << "Log File (Users)";
    QTest::newRow("same but for case and blanks") << QStringList{"d", "@/A.htm ", " @/a.htm", ""} << "Log Files for administrators and for end users must be different files" << "Log File";
    QTest::newRow("no folder") << QStringList{"d", "@/a.htm", "@/u.htm", ""} << "Please enter Log File Directory" << "Log File Directory";
    QTest::newRow("user file before admin file") << QStringList{"d", "@/a.html", "u.ht", "@"} << "The log-filename is not correct" << "Log File";
    QTest::newRow("blank admin file") << QStringList{"d", "   ", "@/u.htm", "@"} << "The log-filename is not correct" << "Log File";
    QTest::newRow("missing folder") << QStringList{"d", "@/a.htm", "@/u.htm", "@/no"} << "Directory @/no does not exist !" << "Log file directory";
    QTest::newRow("all valid") << QStringList{"d", "@/a.htm", "@/u.htm", " @ "} << "" << "";
    // clang-format on
  }
  void headerChecksStopAtTheFirstFault() {
    QFETCH(QStringList, fields);
    QFETCH(QString, message);
    QFETCH(QString, title);
    const char* names[] = {"BatchDescription", "LogFile", "UserFile", "LogFileDir"};
    for (int i = 0; i < 4; ++i)
      fixture_->field(names[i])->setText(fields[i].replace("@", fixture_->temp.path()));
    QCOMPARE(window_->CheckJobSettings(), message.isEmpty());
    QCOMPARE(MessageBox::history().size(), message.isEmpty() ? 0 : 1);
    QCOMPARE(MessageBox::lastText(), message.replace("@", fixture_->temp.path()));
    QCOMPARE(MessageBox::lastTitle(), title);
  }

  void reportFileNames_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    // clang-format off
    QTest::newRow("five characters") << "@/x.htm" << "";
    QTest::newRow("valid after blanks") << "   @/r.htm" << "";
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
    name.replace("@", fixture_->temp.path());
    QCOMPARE(window_->CheckLogFileName(name), message.isEmpty());
    QCOMPARE(MessageBox::lastText(), message.replace("@", fixture_->temp.path()));
    QVERIFY(!QFileInfo(name.trimmed()).isFile());  // the probe leaves nothing behind
    QFile old(fixture_->path("old.htm"));
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write("report") == 6);
    old.close();
    QVERIFY(window_->CheckLogFileName(old.fileName()));
    QCOMPARE(jr::testing::ReadAll(old.fileName()), QString("report"));
  }

  void leavingFields() {
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_));
    fixture_->field("LogFile")->setFocus();
    fixture_->field("LogFile")->setText("report.html");
    fixture_->field("UserFile")->setFocus();
    QCOMPARE(MessageBox::lastText(), QString("The extension of the log-file must be 'htm'"));
    QVERIFY(fixture_->field("UserFile")->hasFocus());  // the focus moves on all the same
    fixture_->field("BatchDescription")->setFocus();   // an empty field is not checked
    QCOMPARE(MessageBox::history().size(), 1);

    const QString folder = fixture_->path("new/sub");
    fixture_->field("LogFileDir")->setText(folder);
    MessageBox::setNextAnswer(MessageBox::kNo);
    window_->LogFileDir_LostFocus();
    QCOMPARE(MessageBox::lastText(), "The directory " + folder +
                                         " does not exist !\r\nWould you like to create this "
                                         "directory now?");
    QVERIFY(!QFileInfo(folder).isDir());
    MessageBox::setNextAnswer(MessageBox::kYes);
    window_->LogFileDir_LostFocus();
    QVERIFY(QFileInfo(folder).isDir());
    window_->LogFileDir_LostFocus();  // exists now: nothing asked
    QCOMPARE(MessageBox::history().size(), 3);
    QFile blocker(fixture_->path("file"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    window_->CreateLogFolder(fixture_->path("file/sub"));
    QVERIFY(MessageBox::lastText().startsWith("Unable to create directory "));
  }

  void everyHeaderEditMarksTheJobChanged() {
    fixture_->FillValidHeader();
    fixture_->AddLines({10});
    fixture_->SaveAs("job.xml");
    auto* box = fixture_->field<jr::uTextBox>("txtMaxParallel")->inner();
    const std::function<void()> edits[] = {
        [&] { fixture_->field("BatchDescription")->setText("x"); },
        [&] { fixture_->field("UserFile")->setText(fixture_->path("other.htm")); },
        [&] { fixture_->field("LogFileDir")->setText(fixture_->path("logs/")); },
        [&] { box->selectAll(), QTest::keyClicks(box, "5"); },
        [&] { fixture_->field<QCheckBox>("chkLogToEventLog")->toggle(); },
        [&] { fixture_->field<QPushButton>("LogDirBut")->click(); },  // cancelled
    };
    for (const auto& edit : edits) {
      window_->SaveBatch_Click();
      QVERIFY(!window_->HasUnsavedChanges());
      edit();
      QVERIFY(window_->HasUnsavedChanges());
    }
  }

  void browseButtons() {
    fixture_->field<QPushButton>("UserFileBut")->click();  // cancelled
    QCOMPARE(FileDialog::lastRequest().title, QString("Log File (End Users)"));
    QCOMPARE(FileDialog::lastRequest().filters, QStringList{"Orvex Report Files (*.htm)"});
    QVERIFY(FileDialog::lastRequest().directory.endsWith("/log"));
    QVERIFY(window_->HasUnsavedChanges());
    FileDialog::setNextFileName(fixture_->path("chosen.htm"));
    fixture_->field<QPushButton>("UserFileBut")->click();
    QCOMPARE(fixture_->field("UserFile")->text(), fixture_->path("chosen.htm"));
    fixture_->field("LogFileDir")->setText(fixture_->path("logs/"));
    FileDialog::setNextDirectory(fixture_->path("picked"));
    fixture_->field<QPushButton>("LogDirBut")->click();
    QCOMPARE(FileDialog::lastRequest().directory, fixture_->path("logs"));
    QCOMPARE(FileDialog::lastRequest().title, QString("Log file directory"));
    QCOMPARE(fixture_->field("LogFileDir")->text(), fixture_->path("picked"));
  }

 private:
  std::unique_ptr<jr::testing::WindowFixture> fixture_;
  jr::BatchDefinitionFrm* window_ = nullptr;
};

QTEST_MAIN(JobSettingsTest)
#include "job_settings_test.moc"
