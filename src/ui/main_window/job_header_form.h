#pragma once
// The job's header on the main window: description, the two report files, the log-file
// folder, the maximum of parallel job lines and the event-log switch, with the checks of
// the whole header and the checks that run when a file or folder field is left.

#include <QObject>
#include <QString>

#include "jobfile/job_file.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QWidget;

namespace jr {

class uTextBox;

class JobHeaderForm : public QObject {
  Q_OBJECT

 public:
  // Builds the fields on `central` at their design positions; messages and file dialogs
  // open over `window`.
  JobHeaderForm(QWidget* central, QWidget* window);

  // The header fields from and into a job; Store leaves the job-line table alone.
  void Load(const JobDocument& job);
  void Store(JobDocument& job) const;
  // A new job: the texts and the job's time limit are emptied, the maximum and the
  // event-log switch kept.
  void ClearTexts();
  void FocusDescription();
  QString LogFileDirText() const;
  QString MaxParallelText() const;
  void SetMaxParallelText(const QString& text);
  QString JobTimeLimitText() const;

  // Each check shows its own message and reports whether the value passed. The header is
  // checked in a fixed order and stops at the first fault.
  bool CheckJobSettings();
  // A report file name: at least 5 characters once trimmed, ending in "htm", and a file
  // that exists or can be created (the probe leaves nothing behind).
  bool CheckLogFileName(const QString& file_name);
  void CreateLogFolder(const QString& folder);

 signals:
  // Any change of a header value, typed, browsed or loaded.
  void edited();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void LogFileDir_LostFocus();
  void BrowseReportFile(QLineEdit* field, const QString& title, QString& filter);
  void LogDirBut_Click();
  bool Refuse(const QString& text, const QString& title);

  QWidget* window_;
  QLineEdit* BatchDescription = nullptr;
  QLineEdit* LogFile = nullptr;
  QLineEdit* UserFile = nullptr;
  QLineEdit* LogFileDir = nullptr;
  QPushButton* LogFileBut = nullptr;
  QPushButton* UserFileBut = nullptr;
  QPushButton* LogDirBut = nullptr;
  uTextBox* txtMaxParallel = nullptr;
  uTextBox* txtJobTimeLimit = nullptr;
  QCheckBox* chkLogToEventLog = nullptr;
  // The report file dialogs keep the filter they were last given.
  QString log_file_filter_;
  QString user_file_filter_;
};

}  // namespace jr
