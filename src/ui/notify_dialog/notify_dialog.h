#pragma once
// "Notifications": the modal dialog in which the job header's notice settings are edited:
// the mail addresses, the webhook URL and whether every run is told or only one that did
// not finish without errors. The caller presets the fields with setSettings(), shows the
// dialog with exec() and, when that returned Accepted, takes settings(). OK refuses what a
// run would refuse (model/notify_rules.h) and keeps the dialog open.

#include <QDialog>
#include <QString>

class QComboBox;
class QLineEdit;

namespace jr {

// The three header attributes as the job file holds them (NotifyMail, NotifyWebhook,
// NotifyOn); empty: not in the file.
struct NotifySettings {
  QString mail;
  QString webhook;
  QString on;
  bool operator==(const NotifySettings&) const = default;
};

class NotifyDialog : public QDialog {
  Q_OBJECT

 public:
  explicit NotifyDialog(QWidget* parent = nullptr);

  // A NotifyOn value a run refuses (a hand-edited file) is shown as it is, as an extra
  // entry, until another is chosen.
  void setSettings(const NotifySettings& settings);
  // The fields without the blanks around them. NotifyOn keeps the job's own word while its
  // meaning is unchanged; otherwise "failure", the default, is left out of the file.
  NotifySettings settings() const;

 private:
  void acceptIfValid();

  QLineEdit* mail_ = nullptr;
  QLineEdit* webhook_ = nullptr;
  QComboBox* notify_on_ = nullptr;
  QString loaded_on_;
};

}  // namespace jr
