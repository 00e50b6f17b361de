// The main window as a desktop user meets it: menu shortcuts that win over the header's
// text fields, a grid whose columns the user sizes, layout and recent files kept from one
// start to the next, a job file dropped on the window, where Open starts, and
// `jobrunner --edit`.

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QMimeData>
#include <QSignalSpy>
#include <QTableView>
#include <QToolTip>
#include <QUrl>

#include "app/cli.h"
#include "window_fixture.h"

using jr::FileDialog;
using jr::MessageBox;
using jr::testing::Messages;

class DesktopEditorTest : public jr::testing::WindowTest {
  Q_OBJECT

 private slots:
  void init() { Start(); }
  void cleanup() { Stop(); }

  void commandKeysWinOverTheHeaderFields_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QKeySequence>("key");
    QTest::addColumn<QString>("command");
    const std::pair<const char*, const char*> keys[] = {{"Ctrl+E", "ExecuteJob"},
                                                        {"Ctrl+A", "ChangeBline"},
                                                        {"Shift+Ins", "AddBline"},
                                                        {"Shift+Del", "DeleteBline"}};
    for (const char* name :
         {"BatchDescription", "LogFile", "UserFile", "LogFileDir", "txtMaxParallel"}) {
      for (const auto& [key, command] : keys) {
        QTest::addRow("%s in %s", key, name) << name << QKeySequence(key) << command;
      }
    }
  }
  void commandKeysWinOverTheHeaderFields() {
    QFETCH(QString, name);
    QFETCH(QKeySequence, key);
    QFETCH(QString, command);
    // Only which command a key reaches matters here, not what the command then does.
    for (QAction* action : w_->findChildren<QAction*>())
      QObject::disconnect(action, &QAction::triggered, nullptr, nullptr);
    QSignalSpy triggered(field<QAction>(command.toLatin1().constData()), &QAction::triggered);
    QLineEdit* edit = Show(name);
    QApplication::clipboard()->setText("99");
    edit->setText("12");
    edit->setCursorPosition(1);
    QTest::keySequence(edit, key);
    QCOMPARE(triggered.count(), 1);
    QCOMPARE(edit->text() + "|" + edit->selectedText(), QString("12|"));
  }

  void gridColumnsAreTheUsersAndWideColumnsTakeTheSpareWidth() {
    AddLines({10});
    const QString description = "Export customer accounts of every branch to the warehouse";
    w_->table().Set(jr::kColDescription, 0, description.toStdString());
    Show("BatchDescription");
    auto* grid = field<QTableView>("Grid");
    QHeaderView* header = grid->horizontalHeader();
    const QList<int> before = Widths(header);
    QCOMPARE(header->length(), grid->viewport()->width());  // the columns fill the grid
    w_->resize(w_->width() + 301, w_->height());
    QTRY_COMPARE(header->length(), grid->viewport()->width());
    const QList<int> after = Widths(header);
    for (int column = 0; column < header->count(); ++column) {
      const bool wide = column == jr::kColDescription || column == jr::kColOptions;
      QCOMPARE(after[column] - before[column], wide ? 150 + (column == jr::kColOptions) : 0);
      QCOMPARE(header->sectionResizeMode(column), QHeaderView::Interactive);
    }

    // A cut-off cell shows its whole text as its tool tip.
    header->resizeSection(jr::kColDescription, 80);
    const QRect cell = grid->visualRect(grid->model()->index(0, jr::kColDescription));
    QVERIFY(grid->fontMetrics().horizontalAdvance(description) > cell.width());
    QHelpEvent help(QEvent::ToolTip, cell.center(), grid->viewport()->mapToGlobal(cell.center()));
    QApplication::sendEvent(grid->viewport(), &help);
    QTRY_COMPARE(QToolTip::text(), description);

    // The widths, the size and the position come back at the next start.
    header->resizeSection(jr::kColType, 171);
    w_->setGeometry(40, 50, 1000, 640);
    const QList<int> chosen = Widths(header);
    MessageBox::setNextAnswer(MessageBox::kNo);
    QVERIFY(w_->close());
    w_ = std::make_unique<jr::BatchDefinitionFrm>();
    w_->show();
    QVERIFY(QTest::qWaitForWindowExposed(w_.get()));
    QCOMPARE(w_->geometry(), QRect(40, 50, 1000, 640));
    QCOMPARE(Widths(w_->findChild<QTableView*>("Grid")->horizontalHeader()), chosen);
  }

  void recentFilesKeepTheLastEightOpened() {
    FillValidHeader();
    AddLines({10});
    for (int i = 1; i <= 9; ++i) SaveAs(QString("job%1.xml").arg(i));
    QCOMPARE(Recent(), QString("&1 job9.xml,&2 job8.xml,&3 job7.xml,&4 job6.xml,&5 job5.xml,"
                               "&6 job4.xml,&7 job3.xml,&8 job2.xml"));
    QCOMPARE(field<QAction>("RecentFile1")->toolTip(), path("job9.xml"));
    FileDialog::setNextFileName(path("job5.xml"));
    Trigger("OpenBatch");
    QVERIFY(Recent().startsWith("&1 job5.xml,&2 job9.xml,&3 job8.xml,&4 job7.xml,&5 job6.xml,"));
    // A file that is gone is named and dropped from the list; the job stays as it was.
    QFile::remove(path("job9.xml"));
    Trigger("RecentFile2");
    QCOMPARE(Messages(), "Open: The job file " + path("job9.xml") +
                             " no longer exists. It has been removed from the recent files.");
    QCOMPARE(w_->CurrentJobFile(), path("job5.xml"));
    QVERIFY(Recent().startsWith("&1 job5.xml,&2 job8.xml,") && Recent().count(',') == 6);
    Trigger("RecentFile3");
    QCOMPARE(w_->CurrentJobFile(), path("job7.xml"));
    // The list is the user's, not the window's.
    w_ = std::make_unique<jr::BatchDefinitionFrm>();
    QVERIFY(Recent().startsWith("&1 job7.xml,&2 job5.xml,&3 job8.xml,"));
    QVERIFY(!field<QAction>("RecentFile8")->isVisible());
  }

  void aDroppedJobFileOpensAsOpenDoes() {
    FillValidHeader();
    AddLines({10, 20});
    SaveAs("dropped.xml");
    Trigger("NewBatch");
    AddLines({30});
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path("dropped.xml"))});
    data.setText(path("dropped.xml"));
    // A drop goes where the drag entered, and only when it was welcome there.
    auto drop = [](QWidget* target, const QMimeData& data) {
      QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(target, &enter);
      QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(target, &drop);
      return enter.isAccepted();
    };
    for (QWidget* target :
         {static_cast<QWidget*>(w_.get()), static_cast<QWidget*>(Show("LogFile"))}) {
      MessageBox::setNextAnswer(MessageBox::kNo);
      QVERIFY(drop(target, data));
      QTRY_COMPARE(w_->table().Get_BatchLine_Count(), 2);
      QCOMPARE(Messages(), QString("Save Job: Do you want to save current job ?"));
      QCOMPARE(w_->CurrentJobFile() + "|" + field("LogFile")->text(),
               path("dropped.xml") + "|" + path("admin.htm"));
      Trigger("NewBatch"), AddLines({30});
    }
    QMimeData text;
    text.setText("no file");
    QVERIFY(!drop(w_.get(), text));
  }

  void openStartsInAFolderThatExists_data() {
    QTest::addColumn<bool>("jobsFolder");
    QTest::addColumn<bool>("currentJob");
    QTest::addColumn<QString>("start");  // @ = the temporary folder
    QTest::newRow("Jobs") << true << true << "@/Jobs";
    QTest::newRow("the current job's folder") << false << true << "@/saved";
    QTest::newRow("home") << false << false << QDir::homePath();
  }
  void openStartsInAFolderThatExists() {
    QFETCH(bool, jobsFolder);
    QFETCH(bool, currentJob);
    QFETCH(QString, start);
    if (jobsFolder) QDir(temp_->path()).mkdir("Jobs");
    w_->setJobsFolder(path("Jobs"));
    FillValidHeader();
    QDir(temp_->path()).mkdir("saved");
    if (currentJob) SaveAs("saved/job.xml");
    Trigger("OpenBatch");
    const jr::FileDialogRequest asked = FileDialog::lastRequest();
    QCOMPARE(asked.directory + "|" + asked.file_name, start.replace("@", temp_->path()) + "|");
  }

  void editOptionOpensTheEditorWithTheJob() {
    using Args = std::vector<std::string>;
    auto edited = [](const Args& args) {
      return QString::fromStdString(jr::EditorJobFile(args).value_or("-"));
    };
    QCOMPARE(edited({"--edit", "night", " run.xml"}), QString("night  run.xml"));
    QCOMPARE(edited({"--edit"}) + edited({"--edit", " "}), QString());
    QVERIFY(!jr::EditorJobFile({"job.xml", "--edit"}) && !jr::EditorJobFile(Args{}));
    QVERIFY(!jr::RunCommandLine({"--edit", "no such.xml"}));  // the window, not a run
    FillValidHeader();
    AddLines({10});
    SaveAs("night  run.xml");
    w_ = std::make_unique<jr::BatchDefinitionFrm>();
    QVERIFY(w_->OpenJobFile(path("night  run.xml"), true));
    QCOMPARE(w_->windowTitle() + "|" + QString::number(w_->table().Get_BatchLine_Count()),
             "Extraction Job Runner (" + path("night  run.xml") + ")|1");
    w_ = std::make_unique<jr::BatchDefinitionFrm>();
    QVERIFY(!w_->OpenJobFile(path("missing.xml"), true));
    QCOMPARE(MessageBox::last().icon, MessageBox::kCritical);
    QCOMPARE(Messages(), QString("Open: Job file does not exist"));
    QCOMPARE(w_->windowTitle() + "|" + QString::number(w_->table().Get_BatchLine_Count()),
             QString("Extraction Job Runner|0"));
  }

 private:
  // Shows the window, active, with the focus in that header field.
  QLineEdit* Show(const QString& name) {
    w_->show();
    w_->activateWindow();
    if (!QTest::qWaitForWindowActive(w_.get())) qFatal("the window is not active");
    QLineEdit* edit = name == "txtMaxParallel" ? field<jr::uTextBox>("txtMaxParallel")->inner()
                                               : field(name.toLatin1().constData());
    edit->setFocus();
    return edit;
  }

  static QList<int> Widths(const QHeaderView* header) {
    QList<int> widths;
    for (int column = 0; column < header->count(); ++column) widths << header->sectionSize(column);
    return widths;
  }

  // The visible recent files' captions, joined by ",".
  QString Recent() const {
    QStringList captions;
    for (int i = 1; i <= 8; ++i) {
      auto* action = field<QAction>(QString("RecentFile%1").arg(i).toLatin1().constData());
      if (action->isVisible()) captions << action->text();
    }
    return captions.join(",");
  }
};

QTEST_MAIN(DesktopEditorTest)
#include "desktop_editor_test.moc"
