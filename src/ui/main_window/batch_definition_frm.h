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
#include "model/job_line_table.h"
#include "ui/main_window/job_executor.h"

class QAction;
class QDialog;
class QKeyEvent;
class QMimeData;
class QGroupBox;
class QTableView;
class QToolBar;

namespace jr {

class BatchLineDialog;
class JobHeaderForm;
class JobLineTableModel;
class ProcessLauncher;
class RegistryReader;
class RunHistoryWindow;
class RunPanel;
class uResize;

inline constexpr const char* kWindowCaption = "Extraction Job Runner";

// The command line of the batch file that runs `job_file` unattended with the program
// `program`: both shell-quoted, so blanks and shell characters in the names are safe, and
// ended by a line feed.
QString MakeBatchFileLine(const QString& program, const QString& job_file);
// The whole batch file: an interpreter line, so that the file can be started directly
// (from cron, say), and the command line.
QString MakeBatchFileText(const QString& program, const QString& job_file);

// Blanks (only blanks) taken off both ends.
QString TrimBlanks(const QString& text);

class BatchDefinitionFrm : public QMainWindow {
  Q_OBJECT

 public:
  // Without an executor, runs are refused with a message.
  explicit BatchDefinitionFrm(std::unique_ptr<JobExecutor> executor = nullptr,
                              QWidget* parent = nullptr);
  ~BatchDefinitionFrm() override;

  JobLineTable& table() { return table_; }
  const QString& CurrentJobFile() const { return current_job_file_; }
  bool HasUnsavedChanges() const { return changed_; }
  void setChanged() { changed_ = true; }
  bool IsRunning() const;
  // The header and the job lines as they stand now.
  JobDocument CurrentDocument() const;

  // Re-reads every row of the table; the first row becomes current when there is one.
  void RefreshGrid();
  // Makes `index` the current, highlighted and visible row.
  void ShowTableRow(int index);
  // The current row's index, or -1 when no row is current.
  int CurrentJobLineRow() const;

  // Loads the job of `batchfilename` into the window, as the command line's job file is
  // loaded. On failure the window is left exactly as it was. Messages carry the critical
  // icon when `fromcommandline`.
  bool Import(const QString& batchfilename, bool fromcommandline);
  // Import, and on success the file becomes the current job file and the latest of the
  // recent files. What Open, a recent file, a drop and `jobrunner --edit` end with.
  bool OpenJobFile(const QString& batchfilename, bool fromcommandline);

  // Where the batch file's line starts the program; this executable by default.
  void setProgramPath(const QString& path) { program_path_ = path; }
  // Where Open starts when that folder exists; "Jobs" beside the program's folder by
  // default.
  void setJobsFolder(const QString& folder) { jobs_folder_ = folder; }
  QString HelpFile() const { return help_file_; }
  void setHelpFile(const QString& file) { help_file_ = file; }
  // What the job line dialog reads the utilities folders from and starts configuration
  // programs with; the machine's own when not set. Must be set before the dialog is first
  // used and outlive the window.
  void setJobLineDialogServices(RegistryReader& registry, ProcessLauncher& launcher);

 signals:
  // A run started from the window has ended.
  void runEnded();

 protected:
  void closeEvent(QCloseEvent* event) override;
  // The header fields give the window's shortcut keys to its commands; a job file
  // dropped anywhere on the window is opened; the grid's spare width goes to its wide
  // columns.
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildGrid(QWidget* central);
  void BuildMenusAndToolbar();
  QAction* AddAction(QMenu* menu, const char* name, const QString& caption,
                     const QKeySequence& shortcut, void (BatchDefinitionFrm::*slot)());
  void SetCaption();
  // True when the key is the shortcut of one of the window's menu commands.
  bool IsCommandKey(const QKeyEvent& key) const;
  // Gives the change of the grid's width to the Description and Options columns.
  void FitGridColumns();
  void RestoreLayout();
  void SaveLayout() const;
  void UpdateCommandStates();
  bool CheckJobSettings();

  // The job file commands (job_file_commands.cc).
  void NewBatch_Click();
  void OpenBatch_Click();
  void SaveBatch_Click();
  void SaveAsBatch_Click();
  void MakeBatch_Click();
  void OpenRecentFile(const QString& name);
  void UpdateRecentFilesMenu();
  // The job file a drag carries ("" for none); opened after the save question, as Open.
  static QString DroppedJobFile(const QMimeData* data);
  void OpenDroppedFile(const QString& name);
  // Writes the job to `batchfilename` (blanks around it ignored); with `ask_overwrite`, an
  // existing file is replaced only after the user agreed. True when written; only then is
  // the job marked saved.
  bool Export(const QString& batchfilename, bool ask_overwrite);
  // 6 go on (saved, or nothing to ask), 7 go on without saving, 2 stop.
  int check_save();

  void ExecuteJob_Click();
  // The history window's Run Failed Lines Again: a rerun of run `run_id` of `job_file`,
  // which must be the window's job file, run as Execute Job runs the job
  // (run_history_command.cc).
  void RerunFailedLines(const QString& job_file, const QString& run_id);
  // What Execute Job and a rerun check and do before the run: the job has an active line,
  // a maximum and time limits that read, and is saved (for a rerun only when it has
  // unsaved changes: every save writes a new export date, which would make the job file
  // differ from the one the earlier run read). The maximum, or none when the run is not
  // to start (the user was told why).
  std::optional<int32_t> PrepareWindowRun(bool rerun);
  // Runs the saved job with the run panel's progress, then tells a refused start and
  // refreshes the history.
  void RunInWindow(int32_t maximum, const RerunBasis* rerun);
  // Opens the run history window of the job file (run_history_command.cc).
  void RunHistory_Click();
  void Help_Click();
  void Exit_Click();
  // Runs the command of the toolbar button with that key; unknown keys do nothing.
  void tbToolBar_ButtonClick(const QString& key);

  // The job line commands (job_line_commands.cc): insert, change and delete one job line
  // through the job line dialog.
  void AddBline_Click();
  void ChangeBline_Click();
  void DeleteBline_Click();
  // The one job line dialog, created on first use and kept, hidden, until the window goes.
  BatchLineDialog& JobLineDialog();

  JobLineTable table_;
  QString current_job_file_;
  bool changed_ = true;
  bool save_failed_ = false;
  bool close_after_run_ = false;

  std::unique_ptr<JobExecutor> executor_;
  QString program_path_;
  QString jobs_folder_;
  QString help_file_;

  JobHeaderForm* header_ = nullptr;
  RunPanel* run_panel_ = nullptr;
  QGroupBox* Frame1 = nullptr;
  QTableView* Grid = nullptr;
  JobLineTableModel* model_ = nullptr;
  uResize* uResize1 = nullptr;
  QToolBar* tbToolBar = nullptr;
  QDialog* help_window_ = nullptr;
  QList<QAction*> run_blocked_actions_;
  QList<QAction*> recent_file_actions_;
  QAction* recent_separator_ = nullptr;
  // The grid's width the columns were last fitted to; -1 until they first are.
  int grid_width_ = -1;
  RunHistoryWindow* history_window_ = nullptr;

  BatchLineDialog* batch_line_dialog_ = nullptr;
  RegistryReader* dialog_registry_ = nullptr;
  ProcessLauncher* dialog_launcher_ = nullptr;
  std::unique_ptr<RegistryReader> own_registry_;
  std::unique_ptr<ProcessLauncher> own_launcher_;
};

}  // namespace jr
