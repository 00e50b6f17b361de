#include "ui/controls/number_edit.h"

#include <QFocusEvent>
#include <QSignalBlocker>
#include <QTimer>
#include <charconv>
#include <cmath>
#include <limits>

namespace jr {

WholeNumberValidator::WholeNumberValidator(int32_t lowest, int32_t highest, bool allow_empty,
                                           QObject* parent)
    : QValidator(parent), lowest_(lowest), highest_(highest), allow_empty_(allow_empty) {}

QValidator::State WholeNumberValidator::validate(QString& text, int& /*position*/) const {
  if (allow_empty_ && text.isEmpty()) return Acceptable;
  return IsAcceptedNumber(text, lowest_, highest_) ? Acceptable : Invalid;
}

bool WholeNumberValidator::IsAcceptedNumber(const QString& text, int32_t lowest, int32_t highest) {
  const QByteArray bytes = text.toLatin1();
  if (bytes.isEmpty() || text.size() != bytes.size()) return false;
  int64_t value = 0;
  const char* end = bytes.constData() + bytes.size();
  auto [ptr, ec] = std::from_chars(bytes.constData(), end, value);
  if (ec != std::errc() || ptr != end) return false;
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
    return false;
  // Only the plain decimal form of the number passes: no leading zeros, no "-0".
  if (QByteArray::number(static_cast<qlonglong>(value)) != bytes) return false;
  return value >= lowest && value <= highest;
}

NumberEdit::NumberEdit(int32_t lowest, int32_t highest, bool allow_empty, QWidget* parent)
    : QLineEdit(parent) {
  setValidator(new WholeNumberValidator(lowest, highest, allow_empty, this));
  setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

void NumberEdit::focusInEvent(QFocusEvent* event) {
  QLineEdit::focusInEvent(event);
  // Deferred, so that the mouse press that brought the focus does not undo it.
  QTimer::singleShot(0, this, [this] {
    if (hasFocus()) selectAll();
  });
}

void NumberEdit::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  bool numeric = false;
  const double value = text().trimmed().toDouble(&numeric);
  if (!numeric || !std::isfinite(value)) return;
  double whole = std::round(value);
  if (whole == 0) whole = 0;  // no "-0"
  // The plain form of what was there is no edit of the user's.
  const QSignalBlocker quiet(this);
  setText(QString::number(whole, 'f', 0));
}

}  // namespace jr
