#include "ui/controls/text_input.h"

#include <QInputDialog>
#include <QStringList>

namespace jr {
namespace {

struct InputTestState {
  bool on = false;
  QStringList answers;  // a null QString for Cancel
  QString proposed;
};

InputTestState& InputState() {
  static InputTestState state;
  return state;
}

}  // namespace

std::optional<QString> TextInput::ask(const QString& label, const QString& title,
                                      const QString& proposed, QWidget* parent) {
  InputTestState& state = InputState();
  if (state.on) {
    state.proposed = proposed;
    const QString answer = state.answers.isEmpty() ? proposed : state.answers.takeFirst();
    if (answer.isNull()) return std::nullopt;
    return answer;
  }
  bool ok = false;
  const QString text =
      QInputDialog::getText(parent, title, label, QLineEdit::Normal, proposed, &ok);
  if (!ok) return std::nullopt;
  return text;
}

void TextInput::enableTesting(bool on) { InputState().on = on; }
void TextInput::setNextAnswer(std::optional<QString> answer) {
  InputState().answers.append(answer.value_or(QString()));
}
QString TextInput::lastProposed() { return InputState().proposed; }
void TextInput::reset() { InputState() = InputTestState{InputState().on, {}, {}}; }

}  // namespace jr
