#pragma once
// The job's header on the main window: description, the two report files, the log-file
// folder, the maximum of parallel job lines, the event-log switch, the job's time limit and
// its overlap policy, who is told about its runs (edited in the Notifications dialog), with
// the checks of the whole header and the checks that run when a
// file or folder field is left.

#include <QList>
#include <QString>
#include <QStringList>
#include <QWidget>

#include "model/job.h"
#include "ui/notify_dialog/notify_dialog.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace jr {

class EditedJob;
class NumberEdit;

class JobHeaderForm : public QWidget {
  Q_OBJECT

 public:
  // Messages and file dialogs open over `window`. The form shows the header of `job` and
  // changes it only through it.
  JobHeaderForm(EditedJob& job, QWidget* window, QWidget* parent);

  void focusDescription();
  // Opens the Notifications dialog over the window; what OK changed is an edit.
  void editNotifications();

  // Each check shows its own message and reports whether the value passed. The header is
  // checked in a fixed order and stops at the first fault.
  bool checkJobSettings();
  // A report file name: at least 5 characters once trimmed, ending in "htm", and a file
  // that exists or can be created (the probe leaves nothing behind).
  bool checkReportFileName(const QString& file_name);
  void createLogFolder(const QString& folder);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The header fields from and into a job; store leaves the job-line table alone.
  void load(const JobDocument& job);
  void store(JobDocument& job) const;
  // Hands what the fields hold to the job as an edit named after `caption`; edits of the
  // same text field (`field` >= 0) in a row are one.
  void commit(const QString& caption, int field);
  // The overlap policy as the job file holds it: empty for the default, "refuse".
  QString overlapText() const;
  void checkLogFolder();
  void browseReportFile(QLineEdit* field, const QString& title, QString& filter);
  void browseLogFolder();
  bool refuse(const QString& text, const QString& title);
  void setOverlap(const std::string& word);

  EditedJob& job_;
  QWidget* window_;
  // Set while the fields show the job's header: that is no edit.
  bool loading_ = false;
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
  // The text fields and their captions, in the order of the edits' `field`.
  QList<QLineEdit*> texts_;
  QStringList captions_;
  NotifySettings notify_;
  // The report file dialogs keep the filter they were last given.
  QString admin_report_filter_;
  QString user_report_filter_;
};

}  // namespace jr
