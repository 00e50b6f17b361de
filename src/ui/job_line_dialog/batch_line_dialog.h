#pragma once
// "Job Line Details": the modal dialog in which one job line is inserted or changed.
//
// The caller presets the fields, shows the dialog modally and, when it has closed, reads
// BatchLineChanged(); only when that is true are the values meant to be taken. The dialog
// never touches the job: it reads the numbers in use through the job-line table it is
// given, and hands its values back through the *_Value getters and the four skip and
// repeat fields. One instance lives as long as the window that owns it; OK and Cancel hide
// it, so its remembered state carries over to the next showing.

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace jr {

class JobLineTable;
class ProcessLauncher;
class RegistryReader;

class BatchLineDialog : public QDialog {
  Q_OBJECT

 public:
  // The type list is filled here, once: "Health Inspector" only when the Mirn utilities
  // folder is known. `registry` and `launcher` must outlive the dialog.
  BatchLineDialog(RegistryReader& registry, ProcessLauncher& launcher, QWidget* parent = nullptr);
  ~BatchLineDialog() override;

  // The job whose numbers are proposed and checked against; may be null (an empty job).
  void setJobLineTable(const JobLineTable* table) { table_ = table; }
  // Where the log and status file browse buttons start when their field is empty.
  void setLogFileDirSource(std::function<QString()> source) { log_file_dir_ = std::move(source); }

  // Values read by the caller after the dialog closed.
  QString BatchLine_Value() const;
  QString BatchDescription_Value() const;
  QString BatchLineType_Value() const;
  QString Wait_Value() const;
  QString Active_Value() const;
  QString StopOnError_Value() const;
  QString Batchfile_Value() const;
  QString IntLogFile_Value() const;
  QString IntErrFile_Value() const;

  bool BatchLineChanged() const { return batch_line_changed_; }
  void setBatchLineChanged(bool BlChanged) { batch_line_changed_ = BlChanged; }

  // The stored options, never masked.
  QString options_value() const { return stored_options_; }
  // Stores the options and shows them with every value after a "-password" word replaced
  // by "****** ".
  void setoptions_value(const QString& strOptionsUncrypted);

  // Presets of the type list. Selecting runs the type-change step when the text differs
  // from the remembered one. A type that the list does not offer (an unknown type read
  // from a job file, or "Health Inspector" where Mirn is not installed) is shown as an
  // extra entry for this line only, so that changing other fields keeps the line's type.
  void SelectType(const QString& type_name);
  void ClearTypeSelection();

  // The controls, for the caller's presets and the four list fields it reads directly.
  QLineEdit* BatchLine() const { return batch_line_; }
  QLineEdit* Description() const { return description_; }
  QComboBox* BatchLineCombo() const { return type_combo_; }
  QPlainTextEdit* Options() const { return options_; }
  QLineEdit* WaitFor() const { return wait_for_; }
  QCheckBox* ChActive() const { return active_; }
  QCheckBox* StopOnError() const { return stop_on_error_; }
  QLineEdit* SkipOnError() const { return skip_on_error_; }
  QLineEdit* SkipOnSuccess() const { return skip_on_success_; }
  QLineEdit* RepeatOnError() const { return repeat_on_error_; }
  QLineEdit* RepeatOnSuccess() const { return repeat_on_success_; }
  QLineEdit* Batchfile() const { return batch_file_; }
  QLineEdit* IntLogFile() const { return int_log_file_; }
  QLineEdit* IntErrFile() const { return int_err_file_; }

  // Checks; each shows its own message and reports the outcome.
  bool CheckJobLineType();
  bool CheckJobLineNr();
  bool CheckStringWithLines(const QString& Current_BatchLineNr, const QString& StringWithLines,
                            const QString& TypeOfCheck);
  // Trims `sBatchline_Nr` in place.
  bool Batchline_Okay(const QString& Current_BatchLineNr, QString& sBatchline_Nr,
                      const QString& TypeOfCheck);
  bool Check_OwnBatchfile();
  bool CheckFileWritable(const QString& file_name, const QString& field_name);
  bool File_exists(const QString& file_name) const;

  // The word of `text` that starts at the 1-based `start`, up to and including the next
  // blank, or to the end of the text.
  static QString GetOptionWord(const QString& text, int start);

  // Enables, empties and colours the fields that depend on the type now in the list.
  void SetTypeDependentFields();

  // The remembered type position (the list position a new line starts with).
  int RememberedTypePosition() const { return remembered_type_position_; }
  // The number the line had when the dialog was shown; -1 for a new line.
  int64_t StartingNumber() const { return starting_number_; }

  // Commands and leave-field steps. The event filter runs the leave-field steps after the
  // focus has moved on; tests call them directly.
  void OKButton_Click();
  void CancelButton_Click();
  void OptionsBut_Click();
  void BatchFileBut_Click();
  void IntLogFileBut_Click();
  void IntErrFileBut_Click();
  void BatchLine_LostFocus();
  void ListField_LostFocus(QLineEdit* field);
  void Options_LostFocus();
  void Batchfile_LostFocus();
  void IntLogFile_LostFocus();
  void IntErrFile_LostFocus();
  void BatchLineCombo_LostFocus();

  // True while the Options command waits for a configuration program.
  bool ConfigurationRunning() const { return configuration_running_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  void FillTypeList();
  void Form_Activate();
  void BatchLineCombo_Changed();
  void ProposeNumber();
  void RememberListText(QLineEdit* field);
  void QueueLeaveCheck(QPointer<QObject> target);
  void ApplyFieldBackground(QWidget* widget, bool editable_look);
  void RemoveExtraType();
  void BrowseResultFile(QLineEdit* field, const QString& title, const QString& filter,
                        QStringList& kept_filters);
  QString CheckNameOf(const QLineEdit* field) const;
  bool NumberExists(int64_t number) const;
  void Warn(const QString& text, const QString& title);
  void Stop(const QString& text, const QString& title);
  QString LogFileDir() const { return log_file_dir_ ? log_file_dir_() : QString(); }

  RegistryReader& registry_;
  ProcessLauncher& launcher_;
  const JobLineTable* table_ = nullptr;
  std::function<QString()> log_file_dir_;

  QLabel* batch_line_lb_ = nullptr;
  QLineEdit* batch_line_ = nullptr;
  QCheckBox* active_ = nullptr;
  QLineEdit* description_ = nullptr;
  QComboBox* type_combo_ = nullptr;
  QPlainTextEdit* options_ = nullptr;
  QPushButton* options_but_ = nullptr;
  QLineEdit* wait_for_ = nullptr;
  QCheckBox* stop_on_error_ = nullptr;
  QLineEdit* skip_on_error_ = nullptr;
  QLineEdit* skip_on_success_ = nullptr;
  QLineEdit* repeat_on_error_ = nullptr;
  QLineEdit* repeat_on_success_ = nullptr;
  QLineEdit* batch_file_ = nullptr;
  QPushButton* batch_file_but_ = nullptr;
  QLineEdit* int_log_file_ = nullptr;
  QPushButton* int_log_file_but_ = nullptr;
  QLineEdit* int_err_file_ = nullptr;
  QPushButton* int_err_file_but_ = nullptr;
  QPushButton* ok_button_ = nullptr;
  QPushButton* cancel_button_ = nullptr;

  bool batch_line_changed_ = false;
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
  bool configuration_running_ = false;

  // Filters of the three file dialogs: empty until a browse starts with an empty field,
  // then kept, as the one file dialog of each field keeps its settings.
  QStringList batch_file_filters_;
  QStringList log_file_filters_;
  QStringList err_file_filters_;
};

}  // namespace jr
