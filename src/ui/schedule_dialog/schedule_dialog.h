#pragma once
// "Schedule": the modal dialog in which a job's schedule is edited: the calendar
// expression (with a few presets), catching up a missed run, the random delay and the
// calendar file of days off, with the next five runs as systemd computes them, days off
// marked. The caller presets it with setJobFile() and setSchedule(), shows it with exec()
// and, when that returned Accepted, takes schedule(); OK is off while systemd refuses the
// expression or says it never elapses. Install puts the saved job's
// schedule into the user's own systemd timers and names the command for the system's.

#include <QDialog>
#include <QString>

#include "model/schedule.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTimer;

namespace jr {

struct ScheduleLook;

class ScheduleDialog : public QDialog {
  Q_OBJECT

 public:
  explicit ScheduleDialog(QWidget* parent = nullptr);

  // The saved job file: the calendar's relative name is read beside it, and Install
  // installs it. Empty for a job never saved.
  void setJobFile(const QString& file);
  void setSchedule(const ScheduleAttributes& schedule);
  // The fields as the job file keeps them: blanks around them taken off, the defaults
  // (catch up, no delay) left out.
  ScheduleAttributes schedule() const;

 signals:
  // The list of next runs shows systemd's answer for the fields as they are now.
  void previewShown();

 private:
  // The fields changed: a new preview once they have been still for a moment.
  void schedulePreview();
  // Asks systemd on a thread of its own; only the answer to the newest request is shown.
  void startPreview();
  void showPreview(int request, const ScheduleLook& look);
  void browseCalendar();
  void install();

  QComboBox* presets_ = nullptr;
  QLineEdit* expression_ = nullptr;
  QCheckBox* catch_up_ = nullptr;
  QSpinBox* delay_ = nullptr;
  QLineEdit* calendar_ = nullptr;
  QListWidget* next_runs_ = nullptr;
  QLabel* verdict_ = nullptr;
  QPushButton* install_ = nullptr;
  QPushButton* ok_ = nullptr;
  QTimer* pause_ = nullptr;
  QString job_file_;
  int request_ = 0;
};

}  // namespace jr
