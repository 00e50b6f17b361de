#include "ui/main_window/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QStyle>
#include <QTableView>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QUndoStack>
#include <QVBoxLayout>
#include <algorithm>
#include <cctype>
#include <utility>

#include "model/job_rules.h"
#include "model/notify_rules.h"
#include "platform/metadata_location.h"
#include "run/job_lock.h"
#include "run/job_schedule.h"
#include "ui/controls/blanks.h"
#include "ui/controls/message_box.h"
#include "ui/main_window/edited_job.h"
#include "ui/main_window/job_header_form.h"
#include "ui/main_window/job_line_table_model.h"
#include "ui/main_window/recent_files.h"
#include "ui/main_window/run_panel.h"
#include "ui/main_window/run_worker.h"
#include "ui/main_window/window_support.h"
#include "ui/schedule_dialog/schedule_dialog.h"

namespace jr {

using namespace window;

namespace {

// The help pages lie beside the program when installed; a build tree finds them in the
// sources it was built from.
QString FindHelpFile() {
  const QString folder = window::ProgramFolder();
  const QStringList candidates = {folder + "/help/index.html",
                                  folder + "/../share/jobrunner/help/index.html",
                                  folder + "/../../docs/help/index.html"};
  for (const QString& candidate : candidates) {
    if (QFileInfo::exists(candidate)) return QDir::cleanPath(candidate);
  }
  return QDir::cleanPath(candidates.first());
}

// The columns that take the grid's spare width, and how narrow that may make them.
constexpr int kWideColumns[] = {kColDescription, kColOptions};
constexpr int kNarrowestWideColumn = 60;

constexpr const char* kGeometryKey = "window/geometry";
constexpr const char* kColumnsKey = "window/gridColumns";
constexpr const char* kGridWidthKey = "window/gridWidth";

}  // namespace

MainWindow::MainWindow(std::unique_ptr<JobExecutor> executor, QWidget* parent)
    : QMainWindow(parent),
      program_path_(window::ProgramFile()),
      jobs_folder_(QDir::cleanPath(window::ProgramFolder() + "/../Jobs")),
      help_file_(FindHelpFile()),
      runner_(std::make_unique<RunWorker>(std::move(executor))) {
  setObjectName("mainWindow");
  auto* central = new QWidget(this);
  central->setObjectName("central");
  auto* layout = new QVBoxLayout(central);
  job_ = new EditedJob(this);
  header_ = new JobHeaderForm(*job_, this, central);
  layout->addWidget(header_);
  buildGrid(central);
  // The job lines take every bit of height the header leaves.
  layout->addWidget(job_lines_box_, 1);
  setCentralWidget(central);
  buildMenusAndToolbar();
  run_panel_ = new RunPanel(this, *runner_);
  connect(runner_.get(), &RunWorker::runningChanged, this, &MainWindow::updateCommandStates);
  connect(runner_.get(), &RunWorker::runningChanged, this, &MainWindow::runningChanged);
  connect(runner_.get(), &RunWorker::finished, this, &MainWindow::runFinished);

  for (QLineEdit* field : central->findChildren<QLineEdit*>()) field->installEventFilter(this);
  grid_->installEventFilter(this);
  grid_->viewport()->installEventFilter(this);
  setAcceptDrops(true);
  restoreLayout();

  updateCaption();
  QUndoStack& stack = job_->undoStack();
  connect(&stack, &QUndoStack::cleanChanged, this,
          [this](bool clean) { setWindowModified(!clean); });
  connect(&stack, &QUndoStack::indexChanged, this, &MainWindow::updateCommandStates);
  updateCommandStates();
}

MainWindow::~MainWindow() = default;

bool MainWindow::isRunning() const { return runner_->isRunning(); }

bool MainWindow::checkJobSettings() { return header_->checkJobSettings(); }

void MainWindow::buildGrid(QWidget* central) {
  job_lines_box_ = new QGroupBox("Job Lines", central);
  job_lines_box_->setObjectName("jobLinesBox");
  auto* box_layout = new QVBoxLayout(job_lines_box_);

  model_ = new JobLineTableModel(job_, this);
  grid_ = new QTableView(job_lines_box_);
  grid_->setObjectName("jobLines");
  grid_->setModel(model_);
  box_layout->addWidget(grid_);
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid_->setSelectionMode(QAbstractItemView::SingleSelection);
  grid_->setWordWrap(false);
  grid_->setAlternatingRowColors(true);
  grid_->verticalHeader()->hide();
  grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  grid_->verticalHeader()->setDefaultSectionSize(grid_->fontMetrics().height() + 6);
  QHeaderView* header = grid_->horizontalHeader();
  // The user sizes every column; the spare width goes to Description and Options
  // (fitGridColumns), which a stretching column could not allow.
  header->setSectionResizeMode(QHeaderView::Interactive);
  header->setSectionsMovable(false);
  header->setHighlightSections(false);
  header->setStretchLastSection(false);
  header->setMinimumSectionSize(24);
  // In average characters, so that the columns grow with the font.
  const int widths[JobLineTableModel::kShownColumns] = {10, 22, 23, 21, 22, 15, 9, 25};
  const int character = grid_->fontMetrics().averageCharWidth();
  // Wide enough for its caption at least: a cut-off caption is a puzzle, not just text
  // to hover over.
  for (int column = 0; column < JobLineTableModel::kShownColumns; ++column) {
    grid_->setColumnWidth(column,
                          std::max(widths[column] * character, header->sectionSizeHint(column)));
  }
}

QAction* MainWindow::addCommand(QMenu* menu, const char* name, const QString& caption,
                                const QKeySequence& shortcut, void (MainWindow::*slot)()) {
  QAction* action = menu->addAction(caption);
  action->setObjectName(name);
  action->setShortcut(shortcut);
  connect(action, &QAction::triggered, this, slot);
  return action;
}

void MainWindow::buildMenusAndToolbar() {
  QMenu* file = menuBar()->addMenu("&File");
  file->setObjectName("fileMenu");
  QAction* new_job =
      addCommand(file, "newJob", "&New Job", QKeySequence("Ctrl+N"), &MainWindow::newJob);
  QAction* open_job =
      addCommand(file, "openJob", "&Open Job ...", QKeySequence("Ctrl+O"), &MainWindow::openJob);
  file->addSeparator()->setObjectName("separator1");
  QAction* save_job =
      addCommand(file, "saveJob", "Sa&ve Job", QKeySequence("Ctrl+S"), &MainWindow::saveJob);
  addCommand(file, "saveJobAs", "Sav&e Job As ...", QKeySequence(), &MainWindow::saveJobAs);
  file->addSeparator()->setObjectName("separator2");
  addCommand(file, "makeBatchFile", "Make &Batch File ...", QKeySequence("Ctrl+B"),
             &MainWindow::makeBatchFile);
  addCommand(file, "editSchedule", "S&chedule...", QKeySequence(), &MainWindow::editSchedule);
  QAction* execute = addCommand(file, "executeJob", "&Execute Job", QKeySequence("Ctrl+E"),
                                &MainWindow::executeJob);
  QAction* history = addCommand(file, "runHistory", "Run &History...", QKeySequence("Ctrl+H"),
                                &MainWindow::showRunHistory);
  history->setIcon(QIcon::fromTheme("document-open-recent",
                                    style()->standardIcon(QStyle::SP_FileDialogContentsView)));
  file->addSeparator()->setObjectName("separator3");
  file->setToolTipsVisible(true);
  for (int i = 0; i < kMaxRecentFiles; ++i) {
    QAction* recent = file->addAction(QString());
    recent->setObjectName(QString("recentFile%1").arg(i + 1));
    connect(recent, &QAction::triggered, this,
            [this, recent] { openRecentFile(recent->data().toString()); });
    recent_file_actions_ << recent;
  }
  recent_separator_ = file->addSeparator();
  recent_separator_->setObjectName("recentSeparator");
  updateRecentFilesMenu();
  addCommand(file, "exit", "E&xit", QKeySequence(), &MainWindow::exitWindow);

  QMenu* edit = menuBar()->addMenu("&Edit");
  edit->setObjectName("editMenu");
  undo_ = addCommand(edit, "undo", "&Undo", QKeySequence::Undo, &MainWindow::undo);
  redo_ = addCommand(edit, "redo", "&Redo", QKeySequence::Redo, &MainWindow::redo);
  edit->addSeparator()->setObjectName("separatorUndo");
  QAction* insert = addCommand(edit, "insertJobLine", "&Insert Job Line ...",
                               QKeySequence("Shift+Ins"), &MainWindow::insertJobLine);
  QAction* details = addCommand(edit, "editJobLine", "&Job Line Details...", QKeySequence("Ctrl+A"),
                                &MainWindow::editJobLine);
  QAction* remove = addCommand(edit, "deleteJobLine", "&Delete Job Line ...",
                               QKeySequence("Shift+Del"), &MainWindow::deleteJobLine);
  edit->addSeparator()->setObjectName("separator4");
  QAction* notifications = edit->addAction("Notifications...");
  notifications->setObjectName("editNotifications");
  connect(notifications, &QAction::triggered, header_, &JobHeaderForm::editNotifications);
  // A double click is the command, and off when it is.
  connect(grid_, &QTableView::doubleClicked, details, &QAction::trigger);

  QMenu* view = menuBar()->addMenu("&View");
  view->setObjectName("viewMenu");
  addCommand(view, "showJobGraph", "Job &Graph", QKeySequence("Ctrl+G"), &MainWindow::showJobGraph);

  QMenu* help = menuBar()->addMenu("&Help");
  help->setObjectName("helpMenu");
  addCommand(help, "help", "Extraction Job Runner &Help", QKeySequence(), &MainWindow::showHelp);

  tool_bar_ = addToolBar("Toolbar");
  tool_bar_->setObjectName("toolBar");
  tool_bar_->setMovable(false);
  // The tool buttons run the menu commands, each with its own tool tip and icon.
  struct Tool {
    QAction* command;
    const char* name;
    const char* tip;
    const char* theme;
    QStyle::StandardPixmap fallback;
  };
  const Tool tools[] = {
      {new_job, "newJobTool", "New Job", "document-new", QStyle::SP_FileIcon},
      {open_job, "openJobTool", "Open Job", "document-open", QStyle::SP_DialogOpenButton},
      {save_job, "saveJobTool", "Save Job", "document-save", QStyle::SP_DialogSaveButton},
      {nullptr, nullptr, nullptr, nullptr, QStyle::SP_CustomBase},
      {insert, "insertJobLineTool", "Insert Job Line", "list-add", QStyle::SP_FileDialogNewFolder},
      {details, "editJobLineTool", "Job Line Details", "document-properties",
       QStyle::SP_FileDialogDetailedView},
      {remove, "deleteJobLineTool", "Delete Job Line", "list-remove", QStyle::SP_TrashIcon},
  };
  for (const Tool& tool : tools) {
    if (!tool.command) {
      tool_bar_->addSeparator();
      continue;
    }
    QAction* action = tool_bar_->addAction(
        QIcon::fromTheme(tool.theme, style()->standardIcon(tool.fallback)), tool.tip);
    action->setObjectName(tool.name);
    action->setToolTip(tool.tip);
    connect(action, &QAction::triggered, tool.command, &QAction::trigger);
    if (tool.command != save_job) run_blocked_actions_.append(action);
  }
  tool_bar_->addSeparator();
  tool_bar_->addAction(history);
  tool_bar_->addSeparator();
  undo_->setIcon(QIcon::fromTheme("edit-undo", style()->standardIcon(QStyle::SP_ArrowBack)));
  redo_->setIcon(QIcon::fromTheme("edit-redo", style()->standardIcon(QStyle::SP_ArrowForward)));
  tool_bar_->addAction(undo_);
  tool_bar_->addAction(redo_);
  run_blocked_actions_ << new_job << open_job << execute << insert << details << remove;
  run_blocked_actions_ << recent_file_actions_;
}

bool MainWindow::isCommandKey(const QKeyEvent& key) const {
  // Ins and Del of the keypad are the same keys to the menu.
  const QKeySequence pressed(
      QKeyCombination(key.modifiers() & ~Qt::KeypadModifier, Qt::Key(key.key())));
  for (const QAction* item : menuBar()->actions()) {
    if (!item->menu()) continue;
    for (const QAction* command : item->menu()->actions()) {
      if (command->shortcuts().contains(pressed)) return true;
    }
  }
  return false;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::ShortcutOverride:
      // A text field claims keys such as Ctrl+A, Shift+Ins and Shift+Del for itself
      // before the menu sees them; declined here, the menu command's shortcut fires.
      if (isCommandKey(*static_cast<QKeyEvent*>(event))) {
        event->ignore();
        return true;
      }
      break;
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
      // A file dropped on a text field is a job to open, not a name to type.
      if (qobject_cast<QLineEdit*>(watched) &&
          !droppedJobFile(static_cast<QDropEvent*>(event)->mimeData()).isEmpty()) {
        if (event->type() == QEvent::Drop) {
          dropEvent(static_cast<QDropEvent*>(event));
        } else {
          static_cast<QDropEvent*>(event)->acceptProposedAction();
        }
        return true;
      }
      break;
    case QEvent::Resize:
      if (watched == grid_->viewport()) fitGridColumns();
      break;
    default:
      break;
  }
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::fitGridColumns() {
  QHeaderView* header = grid_->horizontalHeader();
  const int width = grid_->viewport()->width();
  // At first the columns fill the grid; after that they follow its change of width, so
  // that widths the user chose stay as they are.
  int spare = grid_width_ < 0 ? width - header->length() : width - grid_width_;
  grid_width_ = width;
  for (int i = 0; i < 2; ++i) {
    const int column = kWideColumns[i];
    const int share = i == 0 ? spare / 2 : spare;
    const int size = std::max(kNarrowestWideColumn, header->sectionSize(column) + share);
    spare -= size - header->sectionSize(column);
    header->resizeSection(column, size);
  }
}

void MainWindow::restoreLayout() {
  // At first room for about a dozen job lines with their descriptions and options in the
  // font in use, within the screen; from then on the user's own size. A saved size that
  // no longer fits the screen is left to restoreGeometry, which keeps the window on it.
  const QFontMetrics metrics = fontMetrics();
  QSize size = QSize(metrics.averageCharWidth() * 183, metrics.lineSpacing() * 40);
  if (const QScreen* screen = this->screen()) {
    size = size.boundedTo(screen->availableGeometry().size() * 0.9);
  }
  resize(size.expandedTo(minimumSizeHint()));
  const std::unique_ptr<QSettings> settings = EditorSettings();
  restoreGeometry(settings->value(kGeometryKey).toByteArray());
  if (grid_->horizontalHeader()->restoreState(settings->value(kColumnsKey).toByteArray())) {
    grid_width_ = settings->value(kGridWidthKey, -1).toInt();
  }
}

void MainWindow::saveLayout() const {
  const std::unique_ptr<QSettings> settings = EditorSettings();
  settings->setValue(kGeometryKey, saveGeometry());
  settings->setValue(kColumnsKey, grid_->horizontalHeader()->saveState());
  settings->setValue(kGridWidthKey, grid_width_);
}

void MainWindow::updateCaption() {
  setWindowTitle((current_job_file_.isEmpty()
                      ? QString(kWindowCaption)
                      : QString(kWindowCaption) + " (" + TrimBlanks(current_job_file_) + ")") +
                 "[*]");
}

void MainWindow::showFirstRow() {
  if (table().LineCount() > 0) showTableRow(0);
}

void MainWindow::showTableRow(int index) {
  if (index < 0 || index >= model_->rowCount()) return;
  const QModelIndex cell = model_->index(index, 0);
  grid_->setCurrentIndex(cell);
  grid_->scrollTo(cell);
}

int MainWindow::currentJobLineRow() const {
  const QModelIndex current = grid_->currentIndex();
  return current.isValid() ? current.row() : -1;
}

void MainWindow::exitWindow() { close(); }

void MainWindow::closeEvent(QCloseEvent* event) {
  if (isRunning()) {
    const MessageBox::Answer answer =
        MessageBox::show("The job is still running. Stop it and close the window?", "Execute",
                         MessageBox::kYesNo, MessageBox::Answer::kNo, MessageBox::kQuestion, this);
    if (answer == MessageBox::Answer::kYes) {
      close_after_run_ = true;
      run_panel_->requestStop();
    }
    event->ignore();
    return;
  }
  if (askToSave() == MessageBox::Answer::kCancel) {
    event->ignore();
    return;
  }
  if (help_window_) help_window_->close();
  saveLayout();
  event->accept();
}

void MainWindow::executeJob() {
  if (!prepareWindowRun(/*rerun=*/false)) return;
  if (MessageBox::show("Execute Job ?", "Execute", MessageBox::kYesNo, MessageBox::Answer::kYes,
                       MessageBox::kQuestion, this) != MessageBox::Answer::kYes) {
    return;
  }
  runInWindow(std::nullopt);
}

bool MainWindow::prepareWindowRun(bool rerun) {
  if (isRunning()) return false;
  auto tell = [this](const QString& text) {
    MessageBox::show(text, "Execute", MessageBox::kOkOnly, MessageBox::Answer::kOk,
                     MessageBox::kExclamation, this);
    return false;
  };
  bool any_active = false;
  for (int row = 0; row < table().LineCount() && !any_active; ++row) {
    any_active = table().At(kColActive, row) == Cell("true");
  }
  if (!any_active) return tell("No batchlines to execute");
  // The same checks as an unattended run's, in the same words: a job that runs from cron
  // runs here too.
  const CheckedJob checked = CheckJob(currentDocument());
  if (!checked.ok()) {
    std::string faults;
    for (const std::string& fault : checked.faults) faults += (faults.empty() ? "" : "; ") + fault;
    return tell(QString::fromStdString("The job cannot run: " + faults + "."));
  }
  // A day off keeps an unattended run from starting; here the administrator decides.
  const Result<std::string> day_off = DayOffText(currentDocument(), SystemClock().Now());
  if (!day_off.ok())
    return tell(QString::fromStdString(day_off.message()) + "; the job was not run.");
  if (!day_off.value.empty()) {
    QString question = QString::fromStdString(day_off.value) + ". Run the job anyway?";
    question[0] = question[0].toUpper();
    if (MessageBox::show(question, "Execute", MessageBox::kYesNo, MessageBox::Answer::kNo,
                         MessageBox::kQuestion, this) != MessageBox::Answer::kYes) {
      return false;
    }
  }
  // The run is to be of the job as saved; a save that did not happen stops it here.
  if (rerun && !hasUnsavedChanges() && !current_job_file_.isEmpty()) return true;
  saveJob();
  return !save_failed_;
}

void MainWindow::editSchedule() {
  ScheduleDialog dialog(this);
  dialog.setJobFile(current_job_file_);
  dialog.setSchedule(job_->job().schedule);
  if (dialog.exec() != QDialog::Accepted || dialog.schedule() == job_->job().schedule) return;
  JobDocument header = job_->job();
  header.schedule = dialog.schedule();
  job_->setHeader(header, "Change Schedule");
}

void MainWindow::runInWindow(std::optional<RerunBasis> rerun) {
  RunSessionRequest request;
  request.job = currentDocument();
  request.rerun = std::move(rerun);
  request.history_database = SystemMetadataDatabasePath();
  // The window never waits for another run: a job that would wait is refused instead.
  request.may_wait = false;
  // prepareWindowRun asked about a day off.
  request.ignore_calendar = true;
  request.file_warnings = std::exchange(file_warnings_, {});
  runner_->start(std::move(request));
}

void MainWindow::runFinished(const JobRunOutcome& outcome) {
  for (const EngineMessage& message : outcome.engine_messages) {
    MessageBox::Icon icon = MessageBox::kExclamation;
    if (message.icon == MessageIcon::kCritical) icon = MessageBox::kCritical;
    if (message.icon == MessageIcon::kInformation) icon = MessageBox::kInformation;
    MessageBox::show(QString::fromStdString(message.text), QString::fromStdString(message.title),
                     MessageBox::kOkOnly, MessageBox::Answer::kOk, icon);
  }
  if (!outcome.ran) {
    MessageBox::show(QString::fromStdString(outcome.message), QString::fromStdString(outcome.title),
                     MessageBox::kOkOnly, MessageBox::Answer::kOk, MessageBox::kExclamation, this);
  }
  if (outcome.ran) emit runEnded();
  if (close_after_run_) {
    close_after_run_ = false;
    QTimer::singleShot(0, this, &QWidget::close);
  }
}

void MainWindow::updateCommandStates() {
  for (QAction* action : run_blocked_actions_) action->setEnabled(!isRunning());
  // The run is of the job as saved; the window's job stays as it is until the run is over.
  const QUndoStack& stack = job_->undoStack();
  undo_->setEnabled(!isRunning() && stack.canUndo());
  redo_->setEnabled(!isRunning() && stack.canRedo());
  undo_->setText(stack.canUndo() ? "&Undo " + stack.undoText() : "&Undo");
  redo_->setText(stack.canRedo() ? "&Redo " + stack.redoText() : "&Redo");
}

void MainWindow::undo() {
  if (isRunning()) return;
  // Typing after an undo is an edit of its own, not more of the one undone.
  job_->closeEdit();
  job_->undoStack().undo();
}

void MainWindow::redo() {
  if (isRunning()) return;
  job_->closeEdit();
  job_->undoStack().redo();
}

bool MainWindow::mayReplaceJob() {
  return !isRunning() && askToSave() != MessageBox::Answer::kCancel;
}

void MainWindow::showHelp() {
  if (!QFileInfo::exists(help_file_)) {
    MessageBox::show("Help file " + help_file_ + " not found", "Help", MessageBox::kOkOnly,
                     MessageBox::Answer::kOk, MessageBox::kExclamation, this);
    return;
  }
  if (!help_window_) {
    help_window_ = new QDialog(this, Qt::Window);
    help_window_->setObjectName("helpWindow");
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
