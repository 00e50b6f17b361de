#pragma once
// The job editor's main window: the job's header fields, its job lines in a read-only
// grid, the job file commands with the save question, the header checks, the batch-file
// maker, Execute Job with its progress, and Help.

#include <QMainWindow>
#include <QString>
#include <memory>

#include "jobfile/job_file.h"
#include "model/job_line_table.h"
#include "ui/main_window/job_executor.h"

class QAction;
class QCheckBox;
class QDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QToolBar;

namespace jr {

class BatchLineDialog;
class RunHistoryWindow;
class JobLineTableModel;
class uResize;
class uTextBox;
class WindowRunHooks;

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

  // --- State shared with the job line commands.
  JobLineTable& table() { return table_; }
  const QString& CurrentJobFile() const { return current_job_file_; }
  bool HasUnsavedChanges() const { return changed_; }
  void setChanged() { changed_ = true; }
  bool SaveFailed() const { return save_failed_; }
  bool IsRunning() const { return running_; }
  // The header and the job lines as they stand now.
  JobDocument CurrentDocument() const;

  // --- Grid.
  // Re-reads every row of the table; the first row becomes current when there is one.
  void RefreshGrid();
  // Makes `index` the current, highlighted and visible row.
  void ShowTableRow(int index);
  // The current row's index, or -1 when no row is current.
  int CurrentJobLineRow() const;

  // --- Job file. Both show their own messages.
  // Writes the job to `batchfilename` (blanks around it ignored); with `ask_overwrite`, an
  // existing file is replaced only after the user agreed. True when written; only then is
  // the job marked saved.
  bool Export(const QString& batchfilename, bool ask_overwrite);
  // Loads the job of `batchfilename` into the window. On failure the window is left
  // exactly as it was. Messages carry the critical icon when `fromcommandline`.
  bool Import(const QString& batchfilename, bool fromcommandline);
  // 6 go on (saved, or nothing to ask), 7 go on without saving, 2 stop.
  int check_save();

  // --- Header.
  bool CheckJobSettings();
  bool CheckLogFileName(const QString& file_name);
  void CreateLogFolder(const QString& folder);
  void LogFile_LostFocus();
  void UserFile_LostFocus();
  void LogFileDir_LostFocus();

  // Where the batch file's line starts the program; this executable by default.
  void setProgramPath(const QString& path) { program_path_ = path; }
  QString HelpFile() const { return help_file_; }
  void setHelpFile(const QString& file) { help_file_ = file; }

 public slots:
  void NewBatch_Click();
  void OpenBatch_Click();
  void SaveBatch_Click();
  void SaveAsBatch_Click();
  void MakeBatch_Click();
  void ExecuteJob_Click();
  // Opens the run history window of the job file (run_history_command.cc).
  void RunHistory_Click();
  void Help_Click();
  void Exit_Click();
  // Runs the command of the toolbar button with that key; unknown keys do nothing.
  void tbToolBar_ButtonClick(const QString& key);
  void LogFileBut_Click();
  void UserFileBut_Click();
  void LogDirBut_Click();
  // Ends the running job as soon as the run looks at it again.
  void StopRun_Click();

  // The job line commands (job_line_commands.cc): insert, change and delete one job line
  // through the job line dialog.
  void AddBline_Click();
  void ChangeBline_Click();
  void DeleteBline_Click();

 public:
  void AddJobLine();
  // Shows row `row` in the job line dialog and writes the dialog's values back when it
  // was confirmed. True when the row's job line number text changed.
  bool EditJobLine(int row);
  // The one job line dialog, created on first use and kept, hidden, until the window goes.
  BatchLineDialog& JobLineDialog();
  // What the dialog reads the utilities folders from and starts configuration programs
  // with; the machine's own when not set. Must be set before the dialog is first used and
  // outlive the window.
  void setJobLineDialogServices(RegistryReader& registry, ProcessLauncher& launcher);

 signals:
  void stopRequested();
  // A run started from the window has ended.
  void runEnded();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  friend class WindowRunHooks;

  void BuildHeader(QWidget* central);
  void BuildGrid(QWidget* central);
  void BuildMenusAndToolbar();
  void BuildRunPanel();
  QAction* AddAction(QMenu* menu, const char* name, const QString& caption,
                     const QKeySequence& shortcut, void (BatchDefinitionFrm::*slot)());
  void SetCaption();
  void BrowseReportFile(QLineEdit* field, const QString& title, QString& filter);
  void UpdateCommandStates();
  void ShowRunProgress();

  JobLineTable table_;
  QString current_job_file_;
  bool changed_ = true;
  bool save_failed_ = false;

  bool running_ = false;
  bool stop_requested_ = false;
  bool close_after_run_ = false;
  int lines_running_ = 0;
  int lines_done_ = 0;
  int lines_failed_ = 0;
  int lines_skipped_ = 0;
  QList<int32_t> current_lines_;

  std::unique_ptr<JobExecutor> executor_;
  QString program_path_;
  QString help_file_;
  // The report file dialogs keep the filter they were last given.
  QString log_file_filter_;
  QString user_file_filter_;

  QLineEdit* BatchDescription = nullptr;
  QLineEdit* LogFile = nullptr;
  QLineEdit* UserFile = nullptr;
  QLineEdit* LogFileDir = nullptr;
  QPushButton* LogFileBut = nullptr;
  QPushButton* UserFileBut = nullptr;
  QPushButton* LogDirBut = nullptr;
  uTextBox* txtMaxParallel = nullptr;
  QCheckBox* chkLogToEventLog = nullptr;
  QGroupBox* Frame1 = nullptr;
  QTableView* Grid = nullptr;
  JobLineTableModel* model_ = nullptr;
  uResize* uResize1 = nullptr;
  QToolBar* tbToolBar = nullptr;
  QLabel* runProgress = nullptr;
  QPushButton* StopRun = nullptr;
  QDialog* help_window_ = nullptr;
  QList<QAction*> run_blocked_actions_;
  RunHistoryWindow* history_window_ = nullptr;

  // The job line dialog and its services (job_line_commands.cc).
  void WriteRowFromDialog(int row);
  BatchLineDialog* batch_line_dialog_ = nullptr;
  RegistryReader* dialog_registry_ = nullptr;
  ProcessLauncher* dialog_launcher_ = nullptr;
  std::unique_ptr<RegistryReader> own_registry_;
  std::unique_ptr<ProcessLauncher> own_launcher_;
};

}  // namespace jr
