#pragma once
// A text box that, with DataType 1, holds only a whole number between Min and Max: an edit
// that would leave anything else in it is undone at once, the caret kept where the user
// had it. Text set by the program is kept as it is, accepted number or not.

#include <QLineEdit>
#include <QWidget>

namespace jr {

class uTextBox : public QWidget {
  Q_OBJECT

 public:
  enum DataTypes { kFreeText = 0, kWholeNumber = 1 };

  explicit uTextBox(QWidget* parent = nullptr);

  // 0 free text, 1 whole number in Min..Max; any other value behaves like 0. Sets the
  // alignment too: right for numbers, left otherwise.
  int DataType() const { return data_type_; }
  void setDataType(int value);
  // Stored only: the current text is not checked again.
  int32_t Min() const { return min_; }
  void setMin(int32_t value) { min_ = value; }
  int32_t Max() const { return max_; }
  void setMax(int32_t value) { max_ = value; }
  // With it, an empty text is accepted too (a value that may be left out).
  bool AllowEmpty() const { return allow_empty_; }
  void setAllowEmpty(bool value) { allow_empty_ = value; }

  QString Text() const { return txtText->text(); }
  void setText(const QString& value);

  bool Locked() const { return txtText->isReadOnly(); }
  void setLocked(bool value) { txtText->setReadOnly(value); }
  int MaxLength() const;
  void setMaxLength(int value);
  QString ToolTipText() const { return txtText->toolTip(); }
  void setToolTipText(const QString& value) { txtText->setToolTip(value); }
  int SelStart() const;
  void setSelStart(int value);
  int SelLength() const { return static_cast<int>(txtText->selectedText().size()); }
  void setSelLength(int value);
  QString SelText() const { return txtText->selectedText(); }
  void setSelText(const QString& value) { txtText->insert(value); }
  bool MultiLine() const { return false; }

  // The inner box; its own properties (font, colours, password echo) are set on it.
  QLineEdit* inner() const { return txtText; }

  // Whether `text` is a whole number in plain decimal form (optional minus, no leading
  // zero, no blank or plus) between min and max.
  static bool IsAcceptedNumber(const QString& text, int32_t min, int32_t max);

 signals:
  // After every change of the text, a rejected edit included, but not while the control
  // rewrites the text itself.
  void Change();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void OnTextChanged(const QString& text);
  void OnFocusOut();

  QLineEdit* txtText;
  int data_type_ = kFreeText;
  int32_t min_ = 0;
  int32_t max_ = 0;
  bool allow_empty_ = false;
  QString last_accepted_;
  bool busy_ = false;
  // Set while the program's own Text is being put in: a failing value is kept.
  bool setting_from_code_ = false;
};

}  // namespace jr
