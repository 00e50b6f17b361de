#include "ui/main_window/batch_definition_frm.h"

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
#include <QStyle>
#include <QTableView>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>

#include "model/job_rules.h"
#include "ui/controls/message_box.h"
#include "ui/controls/u_resize.h"
#include "ui/main_window/job_header_form.h"
#include "ui/main_window/job_line_table_model.h"
#include "ui/main_window/recent_files.h"
#include "ui/main_window/run_panel.h"
#include "ui/main_window/window_support.h"

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

QString TrimBlanks(const QString& text) {
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && text[begin] == QLatin1Char(' ')) ++begin;
  while (end > begin && text[end - 1] == QLatin1Char(' ')) --end;
  return text.mid(begin, end - begin);
}

BatchDefinitionFrm::BatchDefinitionFrm(std::unique_ptr<JobExecutor> executor, QWidget* parent)
    : QMainWindow(parent),
      executor_(executor ? std::move(executor) : MakeUnavailableJobExecutor()),
      program_path_(QCoreApplication::applicationFilePath()),
      jobs_folder_(QDir::cleanPath(window::ProgramFolder() + "/../Jobs")),
      help_file_(FindHelpFile()) {
  setObjectName("BatchDefinitionFrm");
  auto* central = new QWidget(this);
  central->setObjectName("central");
  header_ = new JobHeaderForm(central, this);
  connect(header_, &JobHeaderForm::edited, this, [this] { changed_ = true; });
  BuildGrid(central);
  setCentralWidget(central);
  BuildMenusAndToolbar();
  run_panel_ = new RunPanel(this);
  connect(run_panel_, &RunPanel::runningChanged, this, &BatchDefinitionFrm::UpdateCommandStates);

  central->resize(kDesignWidth, kDesignHeight);
  uResize1 = new uResize(central);
  uResize1->RecordControlPositions();
  central->setMinimumSize(kFieldLeft + 2 * kButtonWidth, 220);
  for (QLineEdit* field : central->findChildren<QLineEdit*>()) field->installEventFilter(this);
  Grid->installEventFilter(this);
  Grid->viewport()->installEventFilter(this);
  setAcceptDrops(true);
  RestoreLayout();

  SetCaption();
  header_->SetMaxParallelText("99");
  changed_ = true;
  UpdateCommandStates();
}

BatchDefinitionFrm::~BatchDefinitionFrm() = default;

bool BatchDefinitionFrm::IsRunning() const { return run_panel_->IsRunning(); }

bool BatchDefinitionFrm::CheckJobSettings() { return header_->CheckJobSettings(); }

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
  // The user sizes every column; the spare width goes to Description and Options
  // (FitGridColumns), which a stretching column could not allow.
  header->setSectionResizeMode(QHeaderView::Interactive);
  header->setSectionsMovable(false);
  header->setHighlightSections(false);
  header->setStretchLastSection(false);
  header->setMinimumSectionSize(24);
  const int widths[JobLineTableModel::kShownColumns] = {62, 130, 140, 125, 130, 90, 55, 150};
  // Wide enough for its caption at least: a cut-off caption is a puzzle, not just text
  // to hover over.
  for (int column = 0; column < JobLineTableModel::kShownColumns; ++column) {
    Grid->setColumnWidth(column, std::max(widths[column], header->sectionSizeHint(column)));
  }
  connect(Grid, &QTableView::doubleClicked, this, [this] {
    if (!IsRunning()) ChangeBline_Click();
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
  history->setIcon(QIcon::fromTheme("document-open-recent",
                                    style()->standardIcon(QStyle::SP_FileDialogContentsView)));
  file->addSeparator()->setObjectName("Separator3");
  file->setToolTipsVisible(true);
  for (int i = 0; i < kMaxRecentFiles; ++i) {
    QAction* recent = file->addAction(QString());
    recent->setObjectName(QString("RecentFile%1").arg(i + 1));
    connect(recent, &QAction::triggered, this,
            [this, recent] { OpenRecentFile(recent->data().toString()); });
    recent_file_actions_ << recent;
  }
  recent_separator_ = file->addSeparator();
  recent_separator_->setObjectName("RecentSeparator");
  UpdateRecentFilesMenu();
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
  run_blocked_actions_ << recent_file_actions_;
}

bool BatchDefinitionFrm::IsCommandKey(const QKeyEvent& key) const {
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

bool BatchDefinitionFrm::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::ShortcutOverride:
      // A text field claims keys such as Ctrl+A, Shift+Ins and Shift+Del for itself
      // before the menu sees them; declined here, the menu command's shortcut fires.
      if (IsCommandKey(*static_cast<QKeyEvent*>(event))) {
        event->ignore();
        return true;
      }
      break;
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
      // A file dropped on a text field is a job to open, not a name to type.
      if (qobject_cast<QLineEdit*>(watched) &&
          !DroppedJobFile(static_cast<QDropEvent*>(event)->mimeData()).isEmpty()) {
        if (event->type() == QEvent::Drop) {
          dropEvent(static_cast<QDropEvent*>(event));
        } else {
          static_cast<QDropEvent*>(event)->acceptProposedAction();
        }
        return true;
      }
      break;
    case QEvent::Resize:
      if (watched == Grid->viewport()) FitGridColumns();
      break;
    default:
      break;
  }
  return QMainWindow::eventFilter(watched, event);
}

void BatchDefinitionFrm::FitGridColumns() {
  QHeaderView* header = Grid->horizontalHeader();
  const int width = Grid->viewport()->width();
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

void BatchDefinitionFrm::RestoreLayout() {
  // Wider than the design at first, so that descriptions and options have room; from
  // then on the user's own size.
  resize(kDesignWidth + 200, kDesignHeight + 90);
  const std::unique_ptr<QSettings> settings = EditorSettings();
  restoreGeometry(settings->value(kGeometryKey).toByteArray());
  if (Grid->horizontalHeader()->restoreState(settings->value(kColumnsKey).toByteArray())) {
    grid_width_ = settings->value(kGridWidthKey, -1).toInt();
  }
}

void BatchDefinitionFrm::SaveLayout() const {
  const std::unique_ptr<QSettings> settings = EditorSettings();
  settings->setValue(kGeometryKey, saveGeometry());
  settings->setValue(kColumnsKey, Grid->horizontalHeader()->saveState());
  settings->setValue(kGridWidthKey, grid_width_);
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

void BatchDefinitionFrm::Exit_Click() { close(); }

void BatchDefinitionFrm::closeEvent(QCloseEvent* event) {
  if (IsRunning()) {
    const int answer =
        MessageBox::show("The job is still running. Stop it and close the window?", "Execute",
                         MessageBox::kYesNo, MessageBox::kNo, MessageBox::kQuestion, this);
    if (answer == MessageBox::kYes) {
      close_after_run_ = true;
      run_panel_->RequestStop();
    }
    event->ignore();
    return;
  }
  if (check_save() == MessageBox::kCancel) {
    event->ignore();
    return;
  }
  if (help_window_) help_window_->close();
  SaveLayout();
  event->accept();
}

void BatchDefinitionFrm::tbToolBar_ButtonClick(const QString& key) {
  if (key == "New") {
    NewBatch_Click();
  } else if (key == "Open") {
    OpenBatch_Click();
  } else if (key == "Save") {
    SaveBatch_Click();
  } else if (IsRunning()) {
    return;
  } else if (key == "Delete") {
    DeleteBline_Click();
  } else if (key == "Add") {
    AddBline_Click();
  } else if (key == "Change") {
    ChangeBline_Click();
  }
}

void BatchDefinitionFrm::ExecuteJob_Click() {
  if (IsRunning()) return;
  const std::optional<int32_t> maximum = PrepareWindowRun(/*rerun=*/false);
  if (!maximum) return;
  if (MessageBox::show("Execute Job ?", "Execute", MessageBox::kYesNo, MessageBox::kYes,
                       MessageBox::kQuestion, this) != MessageBox::kYes) {
    return;
  }
  RunInWindow(*maximum, nullptr);
}

std::optional<int32_t> BatchDefinitionFrm::PrepareWindowRun(bool rerun) {
  auto tell = [this](const QString& text) {
    MessageBox::show(text, "Execute", MessageBox::kOkOnly, MessageBox::kOk,
                     MessageBox::kExclamation, this);
    return std::nullopt;
  };
  bool any_active = false;
  for (int row = 0; row < table_.Get_BatchLine_Count() && !any_active; ++row) {
    any_active = table_.At(kColActive, row) == Cell("true");
  }
  if (!any_active) return tell("No batchlines to execute");
  // The same conversion as an unattended run's: a job that runs from cron runs here too.
  const MaxParallelResult maximum = ParseMaxParallel(header_->MaxParallelText().toStdString());
  if (!maximum.ok()) {
    return tell("Maximum Parallel Running Job Lines must be a whole number from 1 to 99");
  }
  if (const std::string fault = TimeLimitFault(header_->JobTimeLimitText().toStdString(), table_,
                                               table_.Get_BatchLine_Count());
      !fault.empty()) {
    return tell(QString::fromStdString("The job cannot run: " + fault + "."));
  }
  // The run is to be of the job as saved; a save that did not happen stops it here.
  if (rerun && !HasUnsavedChanges() && !current_job_file_.isEmpty()) return maximum.value;
  SaveBatch_Click();
  if (save_failed_) return std::nullopt;
  return maximum.value;
}

void BatchDefinitionFrm::RunInWindow(int32_t maximum, const RerunBasis* rerun) {
  const JobRunOutcome outcome = run_panel_->Run(*executor_, CurrentDocument(), maximum, rerun);
  if (!outcome.ran) {
    MessageBox::show(QString::fromStdString(outcome.message), "Execute", MessageBox::kOkOnly,
                     MessageBox::kOk, MessageBox::kExclamation, this);
  }
  if (outcome.ran) emit runEnded();
  if (close_after_run_) {
    close_after_run_ = false;
    QTimer::singleShot(0, this, &QWidget::close);
  }
}

void BatchDefinitionFrm::UpdateCommandStates() {
  for (QAction* action : run_blocked_actions_) action->setEnabled(!IsRunning());
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
