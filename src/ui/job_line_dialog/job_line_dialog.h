#pragma once
// "Job Line Details": the modal dialog in which one job line is inserted or changed.
//
// The caller presets the fields with setJobLine(), shows the dialog with exec() and, when
// that returned Accepted, takes jobLine(). The dialog never touches the job: it reads the
// numbers in use through the job-line table it is given. The rules it checks live in
// model/job_rules.h; the dialog shows what they return. One instance lives as long as the
// window that owns it; OK and Cancel hide it, so its remembered state (the type position
// a new line starts with, the file dialogs' filters) carries over to the next showing.

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QThread>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "model/job_line_table.h"
#include "model/job_rules.h"
#include "platform/helper_program.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace jr {

class NumberEdit;

class ProcessLauncher;
class RegistryReader;

class JobLineDialog : public QDialog {
  Q_OBJECT

 public:
  // The type list is filled here, once: "Health Inspector" only when the Mirn utilities
  // folder is known. `registry` and `launcher` must outlive the dialog.
  JobLineDialog(RegistryReader& registry, ProcessLauncher& launcher, QWidget* parent = nullptr);
  ~JobLineDialog() override;

  // The job whose numbers are proposed and checked against; may be null (an empty job).
  void setJobLineTable(const JobLineTable* table) { table_ = table; }
  // Where the log and status file browse buttons start when their field is empty.
  void setLogFolderSource(std::function<QString()> source) {
    log_folder_source_ = std::move(source);
  }
  // The job file's name, from which a credential's name is proposed; empty before a save.
  void setJobFileSource(std::function<QString()> source) { job_file_source_ = std::move(source); }

  // Presets every field from a job-line row. A row without a type is a new line: when
  // shown, the dialog selects the type position a new line starts with and proposes a
  // number. A type that the list does not offer (an unknown type read from a job file, or
  // "Health Inspector" where Mirn is not installed) is shown as an extra entry for this
  // line only, so that changing other fields keeps the line's type. The three file fields
  // are taken from the row only when it names a batch file.
  void setJobLine(const JobLineTable::Row& row);
  // The fields as a job-line row: every cell holds text, the options unmasked.
  JobLineTable::Row jobLine() const;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildControls();
  void selectType(const QString& type_name);
  // Stores the options and shows them with every value after a "-password" word hidden
  // (MaskedOptions).
  void setOptions(const QString& options);
  // Enables, empties and colours the fields that depend on the type now in the list.
  void updateTypeDependentFields();
  // Shows a refused result; true when `result` accepted the value.
  bool showResult(const RuleResult& result);
  bool checkNumber();
  bool checkList(QLineEdit* field);
  bool checkFileWritable(const QString& file_name, const QString& field_name);
  void acceptIfValid();
  // Starts the type's Options program; configurationEnded takes its reply.
  void configureProgram();
  void configurationEnded(HelperEnd end, const QString& program, const QString& reply_name,
                          std::chrono::milliseconds limit);
  // Writes the first password in clear text as a credential, under a name the user
  // confirms, and puts its reference in its place.
  void storeCredential();
  void browseBatchFile();
  void checkNumberField();
  void checkListField(QLineEdit* field);
  void storeOptions();
  void checkBatchFile();
  void checkResultFile(QLineEdit* field, const QString& field_name);
  void checkType();
  void fillTypeList();
  void prepareShowing();
  void typeChanged();
  void proposeNumber();
  void rememberListText(QLineEdit* field);
  void queueLeaveCheck(QPointer<QObject> target);
  void applyFieldBackground(QWidget* widget, bool editable_look);
  void removeExtraType();
  void browseResultFile(QLineEdit* field, const QString& title, const QString& filter,
                        QStringList& kept_filters);
  JobLineList listOf(const QLineEdit* field) const;
  void warn(const QString& text, const QString& title);
  void stop(const QString& text, const QString& title);
  QString logFolder() const { return log_folder_source_ ? log_folder_source_() : QString(); }

  RegistryReader& registry_;
  ProcessLauncher& launcher_;
  const JobLineTable* table_ = nullptr;
  std::function<QString()> log_folder_source_;
  std::function<QString()> job_file_source_;

  QLabel* number_label_ = nullptr;
  QLineEdit* number_ = nullptr;
  QCheckBox* active_ = nullptr;
  QLineEdit* description_ = nullptr;
  QComboBox* type_ = nullptr;
  QPlainTextEdit* options_ = nullptr;
  QPushButton* configure_button_ = nullptr;
  QPushButton* store_credential_button_ = nullptr;
  NumberEdit* time_limit_ = nullptr;
  NumberEdit* repeat_delay_ = nullptr;
  NumberEdit* repeat_limit_ = nullptr;
  QLineEdit* wait_for_ = nullptr;
  QCheckBox* stop_on_error_ = nullptr;
  QLineEdit* skip_on_error_ = nullptr;
  QLineEdit* skip_on_success_ = nullptr;
  QLineEdit* repeat_on_error_ = nullptr;
  QLineEdit* repeat_on_success_ = nullptr;
  QLineEdit* batch_file_ = nullptr;
  QPushButton* batch_file_browse_ = nullptr;
  QLineEdit* log_file_ = nullptr;
  QPushButton* log_file_browse_ = nullptr;
  QLineEdit* status_file_ = nullptr;
  QPushButton* status_file_browse_ = nullptr;
  QPushButton* ok_button_ = nullptr;
  QPushButton* cancel_button_ = nullptr;

  int64_t starting_number_ = -1;
  QString starting_number_text_;
  int remembered_type_position_ = 0;
  QString remembered_type_text_;
  // One remembered text per list field, indexed like list_fields_.
  QLineEdit* list_fields_[5] = {};
  QString remembered_list_texts_[5];
  QString stored_options_;
  // The text the options field was last given, to tell an edit from a pass through it.
  QString shown_options_;
  // The position of the extra entry of a type the list does not offer, or -1.
  int extra_type_index_ = -1;
  // Waits for the Options program while it runs; null otherwise.
  std::unique_ptr<QThread> configuration_;
  // Closing the dialog while the Options program runs ends that program.
  std::atomic<bool> configuration_stop_requested_ = false;

  // Filters of the three file dialogs: empty until a browse starts with an empty field,
  // then kept, as the one file dialog of each field keeps its settings.
  QStringList batch_file_filters_;
  QStringList log_file_filters_;
  QStringList status_file_filters_;
};

}  // namespace jr
