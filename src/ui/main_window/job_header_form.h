#pragma once
// The job's header on the main window: description, the two report files, the log-file
// folder, the maximum of parallel job lines, the event-log switch, the job's time limit and
// its overlap policy, who is told about its runs (edited in the Notifications dialog), with
// the checks of the whole header and the checks that run when a
// file or folder field is left.

#include <QString>
#include <QWidget>

#include "jobfile/job_file.h"
#include "ui/notify_dialog/notify_dialog.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace jr {

class NumberEdit;

class JobHeaderForm : public QWidget {
  Q_OBJECT

 public:
  // Messages and file dialogs open over `window`.
  JobHeaderForm(QWidget* window, QWidget* parent);

  // The header fields from and into a job; Store leaves the job-line table alone.
  void load(const JobDocument& job);
  void store(JobDocument& job) const;
  // A new job: the texts, the job's time limit, the notice and schedule settings are emptied, the
  // maximum and the event-log switch kept.
  void clearTexts();
  void focusDescription();
  QString logFolderText() const;
  QString maxParallelText() const;
  void setMaxParallelText(const QString& text);
  QString jobTimeLimitText() const;
  // The overlap policy as the job file holds it: empty for the default, "refuse".
  QString overlapText() const;
  const NotifySettings& notifySettings() const { return notify_; }
  // When the job runs: kept with the header, edited in the Schedule dialog.
  const ScheduleAttributes& schedule() const { return schedule_; }
  void setSchedule(const ScheduleAttributes& schedule) { schedule_ = schedule; }
  // Opens the Notifications dialog over the window; what OK changed is an edit.
  void editNotifications();

  // Each check shows its own message and reports whether the value passed. The header is
  // checked in a fixed order and stops at the first fault.
  bool checkJobSettings();
  // A report file name: at least 5 characters once trimmed, ending in "htm", and a file
  // that exists or can be created (the probe leaves nothing behind).
  bool checkReportFileName(const QString& file_name);
  void createLogFolder(const QString& folder);

 signals:
  // Any change of a header value, typed, browsed or loaded.
  void edited();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void checkLogFolder();
  void browseReportFile(QLineEdit* field, const QString& title, QString& filter);
  void browseLogFolder();
  bool refuse(const QString& text, const QString& title);
  void setOverlap(const std::string& word);

  QWidget* window_;
  QLineEdit* description_ = nullptr;
  QLineEdit* admin_report_ = nullptr;
  QLineEdit* user_report_ = nullptr;
  QLineEdit* log_folder_ = nullptr;
  QPushButton* admin_report_browse_ = nullptr;
  QPushButton* user_report_browse_ = nullptr;
  QPushButton* log_folder_browse_ = nullptr;
  NumberEdit* max_parallel_ = nullptr;
  NumberEdit* job_time_limit_ = nullptr;
  QCheckBox* log_to_event_log_ = nullptr;
  QComboBox* overlap_ = nullptr;
  NotifySettings notify_;
  ScheduleAttributes schedule_;
  // The report file dialogs keep the filter they were last given.
  QString admin_report_filter_;
  QString user_report_filter_;
};

}  // namespace jr
