#pragma once
// The job editor's main window: the job's header (JobHeaderForm), its job lines in a
// read-only grid with the job line commands (job_line_commands.cc), the job file commands
// with the save question and the batch-file maker (job_file_commands.cc), Execute Job with
// its progress (RunPanel), and Help.

#include <QMainWindow>
#include <QString>
#include <memory>
#include <optional>

#include "jobfile/job_file.h"
#include "ui/controls/message_box.h"
#include "ui/main_window/edited_job.h"
#include "ui/main_window/job_executor.h"

class QAction;
class QDialog;
class QKeyEvent;
class QMimeData;
class QGroupBox;
class QTableView;
class QToolBar;

namespace jr {

class JobLineDialog;
class JobGraphView;
class JobHeaderForm;
class JobLineTableModel;
class ProcessLauncher;
class RegistryReader;
class RunHistoryWindow;
class RunPanel;
class RunWorker;

inline constexpr const char* kWindowCaption = "Extraction Job Runner";

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // Without an executor, runs are refused with a message.
  explicit MainWindow(std::unique_ptr<JobExecutor> executor = nullptr, QWidget* parent = nullptr);
  ~MainWindow() override;

  // The job the window edits, and its job lines.
  EditedJob& job() { return *job_; }
  const JobLineTable& table() const { return job_->table(); }
  const QString& currentJobFile() const { return current_job_file_; }
  bool hasUnsavedChanges() const { return job_->isModified(); }
  // A job started from the window runs. The one state the commands consult: while it
  // holds, the commands that would change the job lines or replace the job are off
  // (updateCommandStates), no other job can be opened or dropped (mayReplaceJob), and
  // closing asks to stop the run first.
  bool isRunning() const;
  // The header and the job lines as they stand now.
  JobDocument currentDocument() const;

  // The first row becomes current when there is one.
  void showFirstRow();
  // Makes `index` the current, highlighted and visible row.
  void showTableRow(int index);
  // The current row's index, or -1 when no row is current.
  int currentJobLineRow() const;

  // Loads the job of `file_name` into the window, as the command line's job file is
  // loaded, and returns how the reading went. On failure the window is left exactly as it
  // was. Messages carry the critical icon when `from_command_line`.
  ReadResult importJob(const QString& file_name, bool from_command_line);
  // Import, and on success the file becomes the current job file and the latest of the
  // recent files, and job-line lists the file held but the job lost are named. What Open, a
  // recent file, a drop and `jobrunner --edit` end with.
  bool openJobFile(const QString& file_name, bool from_command_line);

  // Where the batch file's line starts the program; this executable by default.
  void setProgramPath(const QString& path) { program_path_ = path; }
  // Where Open starts when that folder exists; "Jobs" beside the program's folder by
  // default.
  void setJobsFolder(const QString& folder) { jobs_folder_ = folder; }
  QString helpFile() const { return help_file_; }
  void setHelpFile(const QString& file) { help_file_ = file; }
  // What the job line dialog reads the utilities folders from and starts configuration
  // programs with; the machine's own when not set. Must be set before the dialog is first
  // used and outlive the window.
  void setJobLineDialogServices(RegistryReader& registry, ProcessLauncher& launcher);
  // Says once, as a run would, when the registry file named by JOBRUNNER_REGISTRY cannot
  // be used: every catalogue program and the reports depend on it.
  void warnAboutRegistry();

 signals:
  // A run started from the window has ended.
  void runEnded();
  // A run started from the window began (true) or is over (false).
  void runningChanged(bool running);

 protected:
  void closeEvent(QCloseEvent* event) override;
  // The header fields give the window's shortcut keys to its commands; a job file
  // dropped anywhere on the window is opened; the grid's spare width goes to its wide
  // columns.
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void buildGrid(QWidget* central);
  void buildMenusAndToolbar();
  QAction* addCommand(QMenu* menu, const char* name, const QString& caption,
                      const QKeySequence& shortcut, void (MainWindow::*slot)());
  void updateCaption();
  // True when the key is the shortcut of one of the window's menu commands.
  bool isCommandKey(const QKeyEvent& key) const;
  // Gives the change of the grid's width to the Description and Options columns.
  void fitGridColumns();
  void restoreLayout();
  void saveLayout() const;
  void updateCommandStates();
  bool checkJobSettings();

  // The job file commands (job_file_commands.cc).
  void newJob();
  void openJob();
  void saveJob();
  void saveJobAs();
  void makeBatchFile();
  void openRecentFile(const QString& name);
  void updateRecentFilesMenu();
  // The job file a drag carries, to be opened after the save question as Open opens it; ""
  // for none, and while a job runs.
  QString droppedJobFile(const QMimeData* data) const;
  // Whether the window's job may give way to another (New, Open, a recent file, a drop):
  // not while it runs, and only after the save question.
  bool mayReplaceJob();
  void openDroppedFile(const QString& name);
  // Writes the job to `file_name` (blanks around it ignored); with `ask_overwrite`, an
  // existing file is replaced only after the user agreed. True when written; only then is
  // the job marked saved.
  bool exportJob(const QString& file_name, bool ask_overwrite);
  // 6 go on (saved, or nothing to ask), 7 go on without saving, 2 stop.
  MessageBox::Answer askToSave();

  // File > Schedule...: the job's schedule in the Schedule dialog; what OK changed is an edit.
  void editSchedule();
  void executeJob();
  // The history window's Run Failed Lines Again: a rerun of run `run_id` of `job_file`,
  // which must be the window's job file, run as Execute Job runs the job
  // (run_history_command.cc).
  void rerunFailedLines(const QString& job_file, const QString& run_id);
  // What Execute Job and a rerun check and do before the run: the job has an active line,
  // no fault (see CheckJob), and is saved (for a rerun only when it has unsaved changes:
  // every save writes a new export date, which would make the job file differ from the one
  // the earlier run read). False when the run is not to start (the user was told why).
  bool prepareWindowRun(bool rerun);
  // Starts the run of the saved job on the run worker, with the run panel's progress.
  void runInWindow(std::optional<RerunBasis> rerun);
  // Shows what the engine said during the run and a refused start, refreshes the history
  // and closes the window when it was asked to close during the run.
  void runFinished(const JobRunOutcome& outcome);
  // Opens the run history window of the job file (run_history_command.cc).
  void showRunHistory();
  // Opens the job graph window, showing the newest run of the saved job
  // (job_graph_command.cc).
  void showJobGraph();
  void showHelp();
  void exitWindow();
  // Edit > Undo and Redo of the job's commands; off while a job runs.
  void undo();
  void redo();

  // The job line commands (job_line_commands.cc): insert, change and delete one job line
  // through the job line dialog.
  void insertJobLine();
  void editJobLine();
  void deleteJobLine();
  // The one job line dialog, created on first use and kept, hidden, until the window goes.
  JobLineDialog& jobLineDialog();

  EditedJob* job_ = nullptr;
  QString current_job_file_;
  // What the reading of the job's file passed over (see ReadingWarnings): said when it is
  // opened, and again by its first run here, whose save leaves it out of the file.
  std::vector<std::string> file_warnings_;
  bool save_failed_ = false;
  bool close_after_run_ = false;

  QString program_path_;
  QString jobs_folder_;
  QString help_file_;

  JobHeaderForm* header_ = nullptr;
  RunPanel* run_panel_ = nullptr;
  QGroupBox* job_lines_box_ = nullptr;
  QTableView* grid_ = nullptr;
  JobLineTableModel* model_ = nullptr;
  QToolBar* tool_bar_ = nullptr;
  QDialog* help_window_ = nullptr;
  QList<QAction*> run_blocked_actions_;
  QList<QAction*> recent_file_actions_;
  QAction* recent_separator_ = nullptr;
  QAction* undo_ = nullptr;
  QAction* redo_ = nullptr;
  // The grid's width the columns were last fitted to; -1 until they first are.
  int grid_width_ = -1;
  RunHistoryWindow* history_window_ = nullptr;
  JobGraphView* graph_view_ = nullptr;

  JobLineDialog* job_line_dialog_ = nullptr;
  RegistryReader* dialog_registry_ = nullptr;
  ProcessLauncher* dialog_launcher_ = nullptr;
  std::unique_ptr<RegistryReader> own_registry_;
  std::unique_ptr<ProcessLauncher> own_launcher_;
  // Gone first: a run still going on is stopped and waited for while the window stands.
  std::unique_ptr<RunWorker> runner_;
};

}  // namespace jr
