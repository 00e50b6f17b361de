#include "ui/controls/u_text_box.h"

#include <QEvent>
#include <QFocusEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <charconv>
#include <cmath>
#include <limits>

namespace jr {

uTextBox::uTextBox(QWidget* parent) : QWidget(parent), txtText(new QLineEdit(this)) {
  txtText->setObjectName("txtText");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(txtText);
  setFocusProxy(txtText);
  setFocusPolicy(txtText->focusPolicy());
  txtText->installEventFilter(this);
  connect(txtText, &QLineEdit::textChanged, this, &uTextBox::OnTextChanged);
  last_accepted_ = txtText->text();
}

void uTextBox::setDataType(int value) {
  data_type_ = value;
  txtText->setAlignment((value == kWholeNumber ? Qt::AlignRight : Qt::AlignLeft) |
                        Qt::AlignVCenter);
}

void uTextBox::setText(const QString& value) {
  last_accepted_ = value;
  setting_from_code_ = true;
  txtText->setText(value);
  setting_from_code_ = false;
}

int uTextBox::MaxLength() const {
  // QLineEdit's own "no limit" is a large number; the control speaks of 0.
  return txtText->maxLength() >= 32767 ? 0 : txtText->maxLength();
}

void uTextBox::setMaxLength(int value) { txtText->setMaxLength(value <= 0 ? 32767 : value); }

int uTextBox::SelStart() const {
  return txtText->hasSelectedText() ? txtText->selectionStart() : txtText->cursorPosition();
}

void uTextBox::setSelStart(int value) { txtText->setCursorPosition(value); }

void uTextBox::setSelLength(int value) {
  const int start = SelStart();
  if (value > 0) {
    txtText->setSelection(start, value);
  } else {
    txtText->setCursorPosition(start);
  }
}

bool uTextBox::IsAcceptedNumber(const QString& text, int32_t min, int32_t max) {
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
  return value >= min && value <= max;
}

void uTextBox::OnTextChanged(const QString& text) {
  if (busy_) return;
  busy_ = true;
  if (data_type_ != kWholeNumber || setting_from_code_ || (allow_empty_ && text.isEmpty()) ||
      IsAcceptedNumber(text, min_, max_)) {
    last_accepted_ = text;
  } else {
    const int position = SelStart();
    const int length = SelLength();
    const bool at_end = position >= text.size();
    txtText->setText(last_accepted_);
    const int restored = at_end ? static_cast<int>(last_accepted_.size()) : position;
    if (length > 0) {
      txtText->setSelection(restored, length);
    } else {
      txtText->setCursorPosition(restored);
    }
  }
  busy_ = false;
  emit Change();
}

void uTextBox::OnFocusOut() {
  if (data_type_ != kWholeNumber) return;
  bool numeric = false;
  const double value = txtText->text().trimmed().toDouble(&numeric);
  if (!numeric || !std::isfinite(value)) return;
  double whole = std::round(value);
  if (whole == 0) whole = 0;  // no "-0"
  busy_ = true;
  txtText->setText(QString::number(whole, 'f', 0));
  busy_ = false;
}

bool uTextBox::eventFilter(QObject* watched, QEvent* event) {
  if (watched == txtText) {
    if (event->type() == QEvent::FocusIn) {
      // Deferred, so that the mouse press that brought the focus does not undo it.
      QTimer::singleShot(0, txtText, [box = txtText] {
        if (box->hasFocus()) box->setSelection(0, static_cast<int>(box->text().size()));
      });
    } else if (event->type() == QEvent::FocusOut) {
      OnFocusOut();
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace jr
