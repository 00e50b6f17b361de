#include "ui/controls/text_input.h"

#include <QInputDialog>
#include <QStringList>

namespace jr {
namespace {

struct TestState {
  bool on = false;
  QStringList answers;  // a null QString for Cancel
  QString proposed;
};

TestState& State() {
  static TestState state;
  return state;
}

}  // namespace

std::optional<QString> TextInput::ask(const QString& label, const QString& title,
                                      const QString& proposed, QWidget* parent) {
  TestState& state = State();
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

void TextInput::enableTesting(bool on) { State().on = on; }
void TextInput::setNextAnswer(std::optional<QString> answer) {
  State().answers.append(answer.value_or(QString()));
}
QString TextInput::lastProposed() { return State().proposed; }
void TextInput::reset() { State() = TestState{State().on, {}, {}}; }

}  // namespace jr
