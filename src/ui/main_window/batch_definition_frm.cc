#include "ui/main_window/batch_definition_frm.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QTableView>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <filesystem>
#include <system_error>

#include "ui/controls/browse_for_folder.h"
#include "ui/controls/file_dialog.h"
#include "ui/controls/message_box.h"
#include "ui/controls/u_resize.h"
#include "ui/controls/u_text_box.h"
#include "ui/main_window/job_line_table_model.h"

namespace jr {
namespace {

namespace fs = std::filesystem;

constexpr int kFieldHeight = 24;
constexpr int kRowStep = 32;
constexpr int kLabelLeft = 10;
constexpr int kLabelWidth = 235;
constexpr int kFieldLeft = 250;
constexpr int kDesignWidth = 900;
constexpr int kDesignHeight = 470;
constexpr int kButtonWidth = 32;

fs::path PathOf(const QString& name) { return fs::path(name.toStdU16String()); }

bool FileExists(const QString& name) {
  std::error_code ec;
  return !name.isEmpty() && fs::is_regular_file(PathOf(name), ec);
}

bool FolderExists(const QString& name) {
  std::error_code ec;
  return !name.isEmpty() && fs::is_directory(PathOf(name), ec);
}

QString ShellQuote(const QString& text) {
  QString quoted = text;
  quoted.replace(QLatin1String("'"), QLatin1String("'\\''"));
  return "'" + quoted + "'";
}

QString ProgramFolder() { return QCoreApplication::applicationDirPath(); }

// The help pages lie beside the program when installed; a build tree finds them in the
// sources it was built from.
QString FindHelpFile() {
  const QString folder = ProgramFolder();
  const QStringList candidates = {folder + "/help/index.html",
                                  folder + "/../share/jobrunner/help/index.html",
                                  folder + "/../../docs/help/index.html"};
  for (const QString& candidate : candidates) {
    if (QFileInfo::exists(candidate)) return QDir::cleanPath(candidate);
  }
  return QDir::cleanPath(candidates.first());
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QWidget* buddy, int y) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setBuddy(buddy);
  label->setGeometry(kLabelLeft, y, kLabelWidth, kFieldHeight);
  return label;
}

}  // namespace

QString TrimBlanks(const QString& text) {
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && text[begin] == QLatin1Char(' ')) ++begin;
  while (end > begin && text[end - 1] == QLatin1Char(' ')) --end;
  return text.mid(begin, end - begin);
}

QString MakeBatchFileLine(const QString& program, const QString& job_file) {
  return ShellQuote(program) + " " + ShellQuote(job_file) + "\n";
}

QString MakeBatchFileText(const QString& program, const QString& job_file) {
  return "#!/bin/sh\n" + MakeBatchFileLine(program, job_file);
}

// Progress of a run from the window, and the pause in which the window stays responsive.
class WindowRunHooks final : public RunHooks {
 public:
  explicit WindowRunHooks(BatchDefinitionFrm& window) : window_(window) {}

  void Pause(std::chrono::milliseconds longest) override {
    if (window_.stop_requested_) return;
    QEventLoop loop;
    QTimer::singleShot(longest, &loop, &QEventLoop::quit);
    QObject::connect(&window_, &BatchDefinitionFrm::stopRequested, &loop, &QEventLoop::quit);
    loop.exec();
  }
  bool StopRequested() const override { return window_.stop_requested_; }
  void LineStarted(const clsJobLine& line) override {
    ++window_.lines_running_;
    window_.current_lines_.append(line.JobLineNr());
    window_.ShowRunProgress();
  }
  void LineFinished(const clsJobLine& line) override {
    Ended(line);
    ++(line.ErrorOccured() ? window_.lines_failed_ : window_.lines_done_);
    window_.ShowRunProgress();
  }
  void LineSkipped(const clsJobLine&) override {
    ++window_.lines_skipped_;
    window_.ShowRunProgress();
  }
  void LineCannotStart(const clsJobLine& line, std::string_view reason) override {
    Ended(line);
    ++window_.lines_failed_;
    window_.ShowRunProgress();
    Warning(reason);
  }
  void Warning(std::string_view text) override {
    window_.statusBar()->showMessage(
        QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), 15000);
  }

 private:
  void Ended(const clsJobLine& line) {
    // A line that ends without having been reported started was never counted running.
    if (window_.current_lines_.removeOne(line.JobLineNr())) --window_.lines_running_;
  }

  BatchDefinitionFrm& window_;
};

BatchDefinitionFrm::BatchDefinitionFrm(std::unique_ptr<JobExecutor> executor, QWidget* parent)
    : QMainWindow(parent),
      executor_(executor ? std::move(executor) : MakeUnavailableJobExecutor()),
      program_path_(QCoreApplication::applicationFilePath()),
      help_file_(FindHelpFile()) {
  setObjectName("BatchDefinitionFrm");
  auto* central = new QWidget(this);
  central->setObjectName("central");
  BuildHeader(central);
  BuildGrid(central);
  setCentralWidget(central);
  BuildMenusAndToolbar();
  BuildRunPanel();

  central->resize(kDesignWidth, kDesignHeight);
  uResize1 = new uResize(central);
  uResize1->RecordControlPositions();
  central->setMinimumSize(kFieldLeft + 2 * kButtonWidth, 220);
  resize(kDesignWidth, kDesignHeight + 90);

  SetCaption();
  txtMaxParallel->setText("99");
  changed_ = true;
  UpdateCommandStates();
}

BatchDefinitionFrm::~BatchDefinitionFrm() = default;

void BatchDefinitionFrm::BuildHeader(QWidget* central) {
  const int field_width = kDesignWidth - kFieldLeft - kLabelLeft;
  const int browsed_width = field_width - kButtonWidth - 4;
  const int button_left = kFieldLeft + browsed_width + 4;
  int y = 10;

  auto add_field = [&](QLineEdit*& field, const char* name, const QString& label,
                       const QString& tip, bool browsed) {
    field = new QLineEdit(central);
    field->setObjectName(name);
    field->setToolTip(tip);
    field->setGeometry(kFieldLeft, y, browsed ? browsed_width : field_width, kFieldHeight);
    field->setProperty("Tag", "RLT");
    MakeLabel(central, (QByteArray("lbl") + name).constData(), label, field, y);
  };
  auto add_button = [&](QPushButton*& button, const char* name) {
    button = new QPushButton("...", central);
    button->setObjectName(name);
    button->setGeometry(button_left, y, kButtonWidth, kFieldHeight);
    button->setProperty("Tag", "RT");
  };

  add_field(BatchDescription, "BatchDescription",
            "&Job Description:", "Description of the Extraction Job", false);
  y += kRowStep;
  add_field(LogFile, "LogFile", "Log File (&Administrator):",
            "Specify the name of the html file  that must be generated as a report with "
            "logging information for administrators",
            true);
  add_button(LogFileBut, "LogFileBut");
  y += kRowStep;
  add_field(UserFile, "UserFile", "Log File (End &Users):",
            "Specify the name of the html file  that must be generated as a report with end "
            "user infomation",
            true);
  add_button(UserFileBut, "UserFileBut");
  y += kRowStep;
  add_field(LogFileDir, "LogFileDir", "&Log File Folder:",
            "Specify the name of the log file directory with intermediate log files", true);
  add_button(LogDirBut, "LogDirBut");
  y += kRowStep;

  txtMaxParallel = new uTextBox(central);
  txtMaxParallel->setObjectName("txtMaxParallel");
  txtMaxParallel->setDataType(uTextBox::kWholeNumber);
  txtMaxParallel->setMin(1);
  txtMaxParallel->setMax(99);
  txtMaxParallel->setGeometry(kFieldLeft, y, 50, kFieldHeight);
  MakeLabel(central, "lblMaxParallel", "&Maximum Parallel Running Job Lines:", txtMaxParallel, y);
  chkLogToEventLog = new QCheckBox("&Log result of job to NT Event Log", central);
  chkLogToEventLog->setObjectName("chkLogToEventLog");
  chkLogToEventLog->setGeometry(kFieldLeft + 80, y, 300, kFieldHeight);

  // Every header edit counts as a change, the folder, the maximum and the event-log switch
  // included: otherwise closing the window would drop such an edit without a question.
  for (QLineEdit* field : {BatchDescription, LogFile, UserFile, LogFileDir}) {
    connect(field, &QLineEdit::textChanged, this, [this] { changed_ = true; });
  }
  connect(txtMaxParallel, &uTextBox::Change, this, [this] { changed_ = true; });
  connect(chkLogToEventLog, &QCheckBox::toggled, this, [this] { changed_ = true; });
  for (QLineEdit* field : {LogFile, UserFile, LogFileDir}) field->installEventFilter(this);
  connect(LogFileBut, &QPushButton::clicked, this, &BatchDefinitionFrm::LogFileBut_Click);
  connect(UserFileBut, &QPushButton::clicked, this, &BatchDefinitionFrm::UserFileBut_Click);
  connect(LogDirBut, &QPushButton::clicked, this, &BatchDefinitionFrm::LogDirBut_Click);
}

void BatchDefinitionFrm::BuildGrid(QWidget* central) {
  const int top = 10 + 5 * kRowStep + 6;
  Frame1 = new QGroupBox("Job Lines", central);
  Frame1->setObjectName("Frame1");
  Frame1->setGeometry(kLabelLeft, top, kDesignWidth - 2 * kLabelLeft, kDesignHeight - top - 10);
  Frame1->setProperty("Tag", "RLTB");

  model_ = new JobLineTableModel(&table_, this);
  Grid = new QTableView(Frame1);
  Grid->setObjectName("Grid");
  Grid->setModel(model_);
  Grid->setGeometry(8, 22, Frame1->width() - 16, Frame1->height() - 30);
  Grid->setProperty("Tag", "RLTB");
  Grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Grid->setSelectionBehavior(QAbstractItemView::SelectRows);
  Grid->setSelectionMode(QAbstractItemView::SingleSelection);
  Grid->setWordWrap(false);
  Grid->setAlternatingRowColors(true);
  Grid->verticalHeader()->hide();
  Grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  Grid->verticalHeader()->setDefaultSectionSize(Grid->fontMetrics().height() + 6);
  QHeaderView* header = Grid->horizontalHeader();
  header->setSectionResizeMode(QHeaderView::Fixed);
  header->setSectionsMovable(false);
  header->setHighlightSections(false);
  header->setStretchLastSection(true);
  const int widths[JobLineTableModel::kShownColumns] = {62, 130, 115, 125, 130, 90, 55, 100};
  for (int column = 0; column < JobLineTableModel::kShownColumns; ++column) {
    Grid->setColumnWidth(column, widths[column]);
  }
  connect(Grid, &QTableView::doubleClicked, this, [this] {
    if (!running_) ChangeBline_Click();
  });
}

QAction* BatchDefinitionFrm::AddAction(QMenu* menu, const char* name, const QString& caption,
                                       const QKeySequence& shortcut,
                                       void (BatchDefinitionFrm::*slot)()) {
  QAction* action = menu->addAction(caption);
  action->setObjectName(name);
  action->setShortcut(shortcut);
  connect(action, &QAction::triggered, this, slot);
  return action;
}

void BatchDefinitionFrm::BuildMenusAndToolbar() {
  QMenu* file = menuBar()->addMenu("&File");
  file->setObjectName("FileMenu");
  QAction* new_batch = AddAction(file, "NewBatch", "&New Job", QKeySequence("Ctrl+N"),
                                 &BatchDefinitionFrm::NewBatch_Click);
  QAction* open_batch = AddAction(file, "OpenBatch", "&Open Job ...", QKeySequence("Ctrl+O"),
                                  &BatchDefinitionFrm::OpenBatch_Click);
  file->addSeparator()->setObjectName("Separator");
  AddAction(file, "SaveBatch", "Sa&ve Job", QKeySequence("Ctrl+S"),
            &BatchDefinitionFrm::SaveBatch_Click);
  AddAction(file, "SaveAsBatch", "Sav&e Job As ...", QKeySequence(),
            &BatchDefinitionFrm::SaveAsBatch_Click);
  file->addSeparator()->setObjectName("Separator2");
  AddAction(file, "MakeBatch", "Make &Batch File ...", QKeySequence("Ctrl+B"),
            &BatchDefinitionFrm::MakeBatch_Click);
  QAction* execute = AddAction(file, "ExecuteJob", "&Execute Job", QKeySequence("Ctrl+E"),
                               &BatchDefinitionFrm::ExecuteJob_Click);
  QAction* history = AddAction(file, "RunHistory", "Run &History...", QKeySequence("Ctrl+H"),
                               &BatchDefinitionFrm::RunHistory_Click);
  history->setIcon(QIcon::fromTheme(
      "document-open-recent", style()->standardIcon(QStyle::SP_FileDialogContentsView)));
  file->addSeparator()->setObjectName("Separator3");
  AddAction(file, "Exit", "E&xit", QKeySequence(), &BatchDefinitionFrm::Exit_Click);

  QMenu* edit = menuBar()->addMenu("&Edit");
  edit->setObjectName("EditMenu");
  QAction* add = AddAction(edit, "AddBline", "&Insert Job Line ...", QKeySequence("Shift+Ins"),
                           &BatchDefinitionFrm::AddBline_Click);
  QAction* change = AddAction(edit, "ChangeBline", "&Job Line Details...", QKeySequence("Ctrl+A"),
                              &BatchDefinitionFrm::ChangeBline_Click);
  QAction* remove = AddAction(edit, "DeleteBline", "&Delete Job Line ...",
                              QKeySequence("Shift+Del"), &BatchDefinitionFrm::DeleteBline_Click);

  QMenu* help = menuBar()->addMenu("&Help");
  help->setObjectName("HelpMnu");
  AddAction(help, "Help", "Extraction Job Runner &Help", QKeySequence(),
            &BatchDefinitionFrm::Help_Click);

  tbToolBar = addToolBar("Toolbar");
  tbToolBar->setObjectName("tbToolBar");
  tbToolBar->setMovable(false);
  struct Button {
    const char* key;
    const char* tip;
    const char* theme;
    QStyle::StandardPixmap fallback;
  };
  const Button buttons[] = {
      {"New", "New Job", "document-new", QStyle::SP_FileIcon},
      {"Open", "Open Job", "document-open", QStyle::SP_DialogOpenButton},
      {"Save", "Save Job", "document-save", QStyle::SP_DialogSaveButton},
      {nullptr, nullptr, nullptr, QStyle::SP_CustomBase},
      {"Add", "Insert Job Line", "list-add", QStyle::SP_FileDialogNewFolder},
      {"Change", "Job Line Details", "document-properties", QStyle::SP_FileDialogDetailedView},
      {"Delete", "Delete Job Line", "list-remove", QStyle::SP_TrashIcon},
  };
  for (const Button& button : buttons) {
    if (!button.key) {
      tbToolBar->addSeparator();
      continue;
    }
    QAction* action = tbToolBar->addAction(
        QIcon::fromTheme(button.theme, style()->standardIcon(button.fallback)), button.tip);
    action->setObjectName(QString("tb") + button.key);
    action->setToolTip(button.tip);
    action->setProperty("Key", button.key);
    connect(action, &QAction::triggered, this,
            [this, key = QString(button.key)] { tbToolBar_ButtonClick(key); });
    if (QString(button.key) != "Save") run_blocked_actions_.append(action);
  }
  tbToolBar->addSeparator();
  tbToolBar->addAction(history);
  run_blocked_actions_ << new_batch << open_batch << execute << add << change << remove;
}

void BatchDefinitionFrm::BuildRunPanel() {
  runProgress = new QLabel(this);
  runProgress->setObjectName("runProgress");
  StopRun = new QPushButton("&Stop", this);
  StopRun->setObjectName("StopRun");
  StopRun->setToolTip("Stop the running job");
  StopRun->hide();
  statusBar()->addPermanentWidget(runProgress, 1);
  statusBar()->addPermanentWidget(StopRun);
  connect(StopRun, &QPushButton::clicked, this, &BatchDefinitionFrm::StopRun_Click);
}

JobDocument BatchDefinitionFrm::CurrentDocument() const {
  JobDocument job;
  job.Description = BatchDescription->text().toStdString();
  job.LogFile = LogFile->text().toStdString();
  job.UserFile = UserFile->text().toStdString();
  job.TempLogDir = LogFileDir->text().toStdString();
  job.LogToEventLog = chkLogToEventLog->isChecked();
  job.MaxParallel = txtMaxParallel->Text().toStdString();
  job.table = table_;
  job.FileName = current_job_file_.toStdString();
  return job;
}

void BatchDefinitionFrm::SetCaption() {
  setWindowTitle(current_job_file_.isEmpty()
                     ? QString(kWindowCaption)
                     : QString(kWindowCaption) + " (" + TrimBlanks(current_job_file_) + ")");
}

void BatchDefinitionFrm::RefreshGrid() {
  model_->Reload();
  if (table_.Get_BatchLine_Count() > 0) ShowTableRow(0);
}

void BatchDefinitionFrm::ShowTableRow(int index) {
  if (index < 0 || index >= model_->rowCount()) return;
  const QModelIndex cell = model_->index(index, 0);
  Grid->setCurrentIndex(cell);
  Grid->scrollTo(cell);
}

int BatchDefinitionFrm::CurrentJobLineRow() const {
  const QModelIndex current = Grid->currentIndex();
  return current.isValid() ? current.row() : -1;
}

bool BatchDefinitionFrm::Export(const QString& batchfilename, bool ask_overwrite) {
  const QString trimmed = TrimBlanks(batchfilename);
  if (ask_overwrite && FileExists(trimmed)) {
    const int answer =
        MessageBox::show("File " + trimmed + " already exists. Overwrite?", "Save as " + trimmed,
                         MessageBox::kYesNo, MessageBox::kYes, MessageBox::kQuestion, this);
    if (answer != MessageBox::kYes) return false;
  }
  const QString date =
      QLocale::system().toString(QDateTime::currentDateTime(), QLocale::ShortFormat);
  // Names that differ only by surrounding blanks count as the same file (the overwrite
  // question and the caption agree), so the blanks are not written into the name either.
  const WriteResult result =
      WriteJobFile(trimmed.toStdString(), CurrentDocument(), date.toStdString());
  if (!result.ok) {
    // The job stays marked unsaved: a failed write must not let its changes be dropped.
    MessageBox::show("Unable to save the job: " + QString::fromStdString(result.error), "Save Job",
                     MessageBox::kOkOnly, MessageBox::kOk, MessageBox::kExclamation, this);
    return false;
  }
  changed_ = false;
  return true;
}

bool BatchDefinitionFrm::Import(const QString& batchfilename, bool fromcommandline) {
  JobDocument job = CurrentDocument();
  const ReadResult result = ReadJobFile(batchfilename.toStdString(), job);
  if (result.status != ReadStatus::kLoaded) {
    MessageBox::show(QString::fromStdString(result.message), "Open", MessageBox::kOkOnly,
                     MessageBox::kOk,
                     fromcommandline ? MessageBox::kCritical : MessageBox::kExclamation, this);
    return false;
  }
  BatchDescription->setText(QString::fromStdString(job.Description));
  LogFile->setText(QString::fromStdString(job.LogFile));
  UserFile->setText(QString::fromStdString(job.UserFile));
  LogFileDir->setText(QString::fromStdString(job.TempLogDir));
  txtMaxParallel->setText(QString::fromStdString(job.MaxParallel));
  chkLogToEventLog->setChecked(job.LogToEventLog);
  table_ = std::move(job.table);
  changed_ = false;
  return true;
}

int BatchDefinitionFrm::check_save() {
  if (table_.Get_BatchLine_Count() < 1 || !changed_) return MessageBox::kYes;
  const int answer =
      MessageBox::show("Do you want to save current job ?", "Save Job", MessageBox::kYesNoCancel,
                       MessageBox::kYes, MessageBox::kQuestion, this);
  if (answer == MessageBox::kYes) {
    if (!current_job_file_.isEmpty()) {
      SaveBatch_Click();
    } else {
      SaveAsBatch_Click();
    }
    return save_failed_ ? MessageBox::kCancel : MessageBox::kYes;
  }
  return answer == MessageBox::kNo ? MessageBox::kNo : MessageBox::kCancel;
}

void BatchDefinitionFrm::NewBatch_Click() {
  if (running_ || check_save() == MessageBox::kCancel) return;
  current_job_file_.clear();
  SetCaption();
  BatchDescription->clear();
  LogFile->clear();
  UserFile->clear();
  LogFileDir->clear();
  table_.AllocateAfresh();
  RefreshGrid();
  BatchDescription->setFocus();
}

void BatchDefinitionFrm::OpenBatch_Click() {
  if (running_ || check_save() == MessageBox::kCancel) return;
  FileDialogRequest request;
  request.mode = FileDialogRequest::Mode::kOpenExisting;
  request.title = "Open Extraction Job";
  request.filters = {"Extraction Jobs (*.xml)"};
  request.directory = "../Jobs";
  request.default_suffix = "xml";
  const QString chosen = FileDialog::getFileName(this, request);
  if (chosen.isEmpty()) return;
  // A file that cannot be loaded leaves the job, its name and the caption as they were.
  if (!Import(chosen, false)) return;
  current_job_file_ = chosen;
  SetCaption();
  RefreshGrid();
}

void BatchDefinitionFrm::SaveBatch_Click() {
  save_failed_ = false;
  if (!CheckJobSettings()) {
    save_failed_ = true;
    return;
  }
  if (current_job_file_.isEmpty()) {
    SaveAsBatch_Click();
  } else if (!Export(current_job_file_, false)) {
    save_failed_ = true;
  }
}

void BatchDefinitionFrm::SaveAsBatch_Click() {
  save_failed_ = false;
  if (!CheckJobSettings()) {
    save_failed_ = true;
    return;
  }
  const QString old_name = current_job_file_;
  FileDialogRequest request;
  request.mode = FileDialogRequest::Mode::kSave;
  request.title = "Save Extraction Job";
  request.filters = {"Extraction Jobs (*.xml)"};
  request.default_suffix = "xml";
  const QString chosen = FileDialog::getFileName(this, request);
  // A cancelled dialog, a declined overwrite and a failed write all leave the changes
  // unsaved, so whatever waits on this save must not go on.
  if (chosen.isEmpty()) {
    save_failed_ = true;
    return;
  }
  const bool differs = TrimBlanks(chosen) != TrimBlanks(old_name);
  if (!Export(chosen, differs)) {
    save_failed_ = true;
    return;
  }
  current_job_file_ = chosen;
  SetCaption();
}

void BatchDefinitionFrm::Exit_Click() { close(); }

void BatchDefinitionFrm::closeEvent(QCloseEvent* event) {
  if (running_) {
    const int answer =
        MessageBox::show("The job is still running. Stop it and close the window?", "Execute",
                         MessageBox::kYesNo, MessageBox::kNo, MessageBox::kQuestion, this);
    if (answer == MessageBox::kYes) {
      close_after_run_ = true;
      StopRun_Click();
    }
    event->ignore();
    return;
  }
  if (check_save() == MessageBox::kCancel) {
    event->ignore();
    return;
  }
  if (help_window_) help_window_->close();
  event->accept();
}

void BatchDefinitionFrm::tbToolBar_ButtonClick(const QString& key) {
  if (key == "New") {
    NewBatch_Click();
  } else if (key == "Open") {
    OpenBatch_Click();
  } else if (key == "Save") {
    SaveBatch_Click();
  } else if (running_) {
    return;
  } else if (key == "Delete") {
    DeleteBline_Click();
  } else if (key == "Add") {
    AddBline_Click();
  } else if (key == "Change") {
    ChangeBline_Click();
  }
}

bool BatchDefinitionFrm::CheckJobSettings() {
  auto refuse = [this](const QString& text, const QString& title) {
    MessageBox::show(text, title, MessageBox::kOkOnly, MessageBox::kOk, MessageBox::kExclamation,
                     this);
    return false;
  };
  if (TrimBlanks(BatchDescription->text()).isEmpty())
    return refuse("Please enter description", "Job Description");
  if (LogFile->text().isEmpty())
    return refuse("Please enter Log File (Administrators)", "Log File (Administrators)");
  if (UserFile->text().isEmpty())
    return refuse("Please enter Log File (End Users)", "Log File (Users)");
  if (TrimBlanks(LogFile->text()).toLower() == TrimBlanks(UserFile->text()).toLower())
    return refuse("Log Files for administrators and for end users must be different files",
                  "Log File");
  if (LogFileDir->text().isEmpty())
    return refuse("Please enter Log File Directory", "Log File Directory");
  if (!CheckLogFileName(UserFile->text())) return false;
  if (!CheckLogFileName(LogFile->text())) return false;
  if (!FolderExists(TrimBlanks(LogFileDir->text())))
    return refuse("Directory " + LogFileDir->text() + " does not exist !", "Log file directory");
  return true;
}

bool BatchDefinitionFrm::CheckLogFileName(const QString& file_name) {
  auto refuse = [this](const QString& text) {
    MessageBox::show(text, "Log File", MessageBox::kOkOnly, MessageBox::kOk,
                     MessageBox::kExclamation, this);
    return false;
  };
  const QString trimmed = TrimBlanks(file_name);
  if (trimmed.size() < 5) return refuse("The log-filename is not correct");
  if (!trimmed.endsWith("htm", Qt::CaseSensitive))
    return refuse("The extension of the log-file must be 'htm'");
  if (!FileExists(trimmed)) {
    // Proves that the report can be written later, and leaves no file behind.
    QFile probe(trimmed);
    const bool created = probe.open(QIODevice::Append | QIODevice::WriteOnly);
    probe.close();
    if (!created || !QFile::remove(trimmed))
      return refuse("Unable to write to file '" + file_name + "'");
  }
  return true;
}

void BatchDefinitionFrm::CreateLogFolder(const QString& folder) {
  std::error_code ec;
  fs::create_directories(PathOf(TrimBlanks(folder)), ec);
  if (ec) {
    MessageBox::show(
        "Unable to create directory " + folder + ": " + QString::fromStdString(ec.message()),
        "Log file directory", MessageBox::kOkOnly, MessageBox::kOk, MessageBox::kExclamation, this);
  }
}

void BatchDefinitionFrm::LogFile_LostFocus() {
  if (!TrimBlanks(LogFile->text()).isEmpty()) CheckLogFileName(LogFile->text());
}

void BatchDefinitionFrm::UserFile_LostFocus() {
  if (!TrimBlanks(UserFile->text()).isEmpty()) CheckLogFileName(UserFile->text());
}

void BatchDefinitionFrm::LogFileDir_LostFocus() {
  const QString text = LogFileDir->text();
  const QString trimmed = TrimBlanks(text);
  if (trimmed.isEmpty() || FolderExists(trimmed)) return;
  const int answer = MessageBox::show(
      "The directory " + text + " does not exist !\r\nWould you like to create this directory now?",
      "Log file directory", MessageBox::kYesNo, MessageBox::kYes, MessageBox::kQuestion, this);
  if (answer == MessageBox::kYes) CreateLogFolder(text);
}

bool BatchDefinitionFrm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut) {
    // Focus that leaves with the whole window (a message box, another program) is not
    // the user leaving the field; checking then would repeat the message for ever.
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
      if (watched == LogFile) LogFile_LostFocus();
      if (watched == UserFile) UserFile_LostFocus();
      if (watched == LogFileDir) LogFileDir_LostFocus();
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void BatchDefinitionFrm::BrowseReportFile(QLineEdit* field, const QString& title, QString& filter) {
  FileDialogRequest request;
  request.mode = FileDialogRequest::Mode::kOpenAny;
  request.title = title;
  request.default_suffix = "htm";
  if (!field->text().isEmpty()) {
    request.file_name = field->text();
  } else {
    filter = "Orvex Report Files (*.htm)";
    request.directory = QDir::cleanPath(ProgramFolder() + "/../log");
  }
  if (!filter.isEmpty()) request.filters = {filter};
  const QString chosen = FileDialog::getFileName(this, request);
  if (!chosen.isEmpty()) field->setText(chosen);
  changed_ = true;
  field->setFocus();
}

void BatchDefinitionFrm::LogFileBut_Click() {
  BrowseReportFile(LogFile, "Log File (Administrators)", log_file_filter_);
}

void BatchDefinitionFrm::UserFileBut_Click() {
  BrowseReportFile(UserFile, "Log File (End Users)", user_file_filter_);
}

void BatchDefinitionFrm::LogDirBut_Click() {
  if (TrimBlanks(LogFileDir->text()).isEmpty())
    LogFileDir->setText(QDir::cleanPath(ProgramFolder() + "/../log"));
  QString start = LogFileDir->text();
  const QString folder = BrowseForFolder(start, "Log file directory", this);
  if (!TrimBlanks(folder).isEmpty()) LogFileDir->setText(folder);
  changed_ = true;
  LogFileDir->setFocus();
}

void BatchDefinitionFrm::MakeBatch_Click() {
  auto tell = [this](const QString& text) {
    MessageBox::show(text, "Make .bat file", MessageBox::kOkOnly, MessageBox::kOk,
                     MessageBox::kExclamation, this);
  };
  if (current_job_file_.isEmpty()) return tell("Please first save this job");
  FileDialogRequest request;
  request.mode = FileDialogRequest::Mode::kSave;
  request.title = "Create .bat file that executes this job";
  request.filters = {"Batch program(*.bat)", "Shell scripts (*.sh)", "All files (*)"};
  request.default_suffix = "bat";
  const QString chosen = FileDialog::getFileName(this, request);
  if (chosen.isEmpty()) return;

  QFile file(TrimBlanks(chosen));
  const QByteArray line = MakeBatchFileText(program_path_, TrimBlanks(current_job_file_)).toUtf8();
  bool ok =
      file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(line) == line.size();
  file.close();
  ok = ok && file.error() == QFileDevice::NoError;
  if (!ok) return tell("Unable to create .bat file: " + chosen);
  // Whoever may read the file may run it, so cron or a shell can start it directly.
  QFileDevice::Permissions permissions = file.permissions();
  if (permissions & QFileDevice::ReadOwner) permissions |= QFileDevice::ExeOwner;
  if (permissions & QFileDevice::ReadGroup) permissions |= QFileDevice::ExeGroup;
  if (permissions & QFileDevice::ReadOther) permissions |= QFileDevice::ExeOther;
  file.setPermissions(permissions);
}

void BatchDefinitionFrm::ExecuteJob_Click() {
  if (running_) return;
  auto tell = [this](const QString& text) {
    MessageBox::show(text, "Execute", MessageBox::kOkOnly, MessageBox::kOk,
                     MessageBox::kExclamation, this);
  };
  bool any_active = false;
  for (int row = 0; row < table_.Get_BatchLine_Count() && !any_active; ++row) {
    any_active = table_.At(kColActive, row) == Cell("true");
  }
  if (!any_active) return tell("No batchlines to execute");
  if (!uTextBox::IsAcceptedNumber(txtMaxParallel->Text(), 1, 99)) {
    return tell("Maximum Parallel Running Job Lines must be a whole number from 1 to 99");
  }
  // The run is to be of the job as saved; a save that did not happen stops it here.
  SaveBatch_Click();
  if (save_failed_) return;
  if (MessageBox::show("Execute Job ?", "Execute", MessageBox::kYesNo, MessageBox::kYes,
                       MessageBox::kQuestion, this) != MessageBox::kYes) {
    return;
  }

  running_ = true;
  stop_requested_ = false;
  lines_running_ = lines_done_ = lines_failed_ = lines_skipped_ = 0;
  current_lines_.clear();
  UpdateCommandStates();
  ShowRunProgress();
  QApplication::setOverrideCursor(Qt::BusyCursor);
  WindowRunHooks hooks(*this);
  const JobRunOutcome outcome =
      executor_->Execute(CurrentDocument(), txtMaxParallel->Text().toInt(), hooks);
  QApplication::restoreOverrideCursor();
  running_ = false;
  UpdateCommandStates();
  if (outcome.ran) emit runEnded();
  if (!outcome.ran) {
    runProgress->clear();
    tell(QString::fromStdString(outcome.message));
  } else {
    runProgress->setText("Last run: " + QString::fromStdString(outcome.message) +
                         QString(" %1 done, %2 failed, %3 skipped.")
                             .arg(lines_done_)
                             .arg(lines_failed_)
                             .arg(lines_skipped_));
  }
  if (close_after_run_) {
    close_after_run_ = false;
    QTimer::singleShot(0, this, &QWidget::close);
  }
}

void BatchDefinitionFrm::StopRun_Click() {
  if (!running_) return;
  stop_requested_ = true;
  StopRun->setEnabled(false);
  runProgress->setText("Stopping the job ...");
  emit stopRequested();
}

void BatchDefinitionFrm::UpdateCommandStates() {
  for (QAction* action : run_blocked_actions_) action->setEnabled(!running_);
  StopRun->setVisible(running_);
  StopRun->setEnabled(running_);
}

void BatchDefinitionFrm::ShowRunProgress() {
  if (stop_requested_) return;
  QStringList current;
  for (int32_t number : current_lines_) current << QString::number(number);
  runProgress->setText(
      QString("Running: %1 running, %2 done, %3 failed, %4 skipped.")
          .arg(lines_running_)
          .arg(lines_done_)
          .arg(lines_failed_)
          .arg(lines_skipped_) +
      (current.isEmpty() ? QString() : "  Current job lines: " + current.join(", ")));
}

void BatchDefinitionFrm::Help_Click() {
  if (!QFileInfo::exists(help_file_)) {
    MessageBox::show("Help file " + help_file_ + " not found", "Help", MessageBox::kOkOnly,
                     MessageBox::kOk, MessageBox::kExclamation, this);
    return;
  }
  if (!help_window_) {
    help_window_ = new QDialog(this, Qt::Window);
    help_window_->setObjectName("HelpWindow");
    help_window_->setWindowTitle("Extraction Job Runner Help");
    auto* browser = new QTextBrowser(help_window_);
    browser->setObjectName("helpBrowser");
    browser->setOpenExternalLinks(true);
    auto* layout = new QVBoxLayout(help_window_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser);
    help_window_->resize(720, 560);
  }
  auto* browser = help_window_->findChild<QTextBrowser*>("helpBrowser");
  QUrl url = QUrl::fromLocalFile(help_file_);
  url.setFragment("topic150");
  browser->setSource(url);
  browser->scrollToAnchor("topic150");
  help_window_->show();
  help_window_->raise();
  help_window_->activateWindow();
}

}  // namespace jr
