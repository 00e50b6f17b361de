#pragma once
// A line edit for a whole number from a lowest to a highest value: an edit that would leave
// anything else in it is refused, so the text stays what it was. Text set by the program is
// kept as it is, accepted number or not; when the user leaves the box, a number the text
// stands for ("12.5", " 04") is written in its plain form.

#include <QLineEdit>
#include <QValidator>
#include <cstdint>

namespace jr {

// Accepts a whole number in plain decimal form (optional minus, no leading zero, no blank
// or plus) from `lowest` to `highest`, and with `allow_empty` an empty text; anything else
// is invalid, never intermediate, so that a typed key that leaves it is refused.
class WholeNumberValidator : public QValidator {
  Q_OBJECT

 public:
  WholeNumberValidator(int32_t lowest, int32_t highest, bool allow_empty, QObject* parent);

  State validate(QString& text, int& position) const override;

  static bool IsAcceptedNumber(const QString& text, int32_t lowest, int32_t highest);

 private:
  int32_t lowest_;
  int32_t highest_;
  bool allow_empty_;
};

class NumberEdit : public QLineEdit {
  Q_OBJECT

 public:
  // Right-aligned; `allow_empty` lets the value be left out.
  NumberEdit(int32_t lowest, int32_t highest, bool allow_empty, QWidget* parent = nullptr);

 protected:
  // Entering the box selects its text, so that a typed number replaces it.
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
};

}  // namespace jr
