#include "ui/controls/message_box.h"

#include <QPushButton>

namespace jr {
namespace {

struct BoxTestState {
  bool on = false;
  QList<MessageBox::Answer> answers;
  QList<MessageBox::Shown> history;
};

BoxTestState& BoxState() {
  static BoxTestState state;
  return state;
}

QList<MessageBox::Answer> AnswersOf(MessageBox::Buttons buttons) {
  switch (buttons) {
    case MessageBox::kOkCancel:
      return {MessageBox::Answer::kOk, MessageBox::Answer::kCancel};
    case MessageBox::kYesNoCancel:
      return {MessageBox::Answer::kYes, MessageBox::Answer::kNo, MessageBox::Answer::kCancel};
    case MessageBox::kYesNo:
      return {MessageBox::Answer::kYes, MessageBox::Answer::kNo};
    case MessageBox::kOkOnly:
      break;
  }
  return {MessageBox::Answer::kOk};
}

QMessageBox::StandardButton StandardButtonOf(MessageBox::Answer answer) {
  switch (answer) {
    case MessageBox::Answer::kCancel:
      return QMessageBox::Cancel;
    case MessageBox::Answer::kYes:
      return QMessageBox::Yes;
    case MessageBox::Answer::kNo:
      return QMessageBox::No;
    case MessageBox::Answer::kOk:
      break;
  }
  return QMessageBox::Ok;
}

QMessageBox::Icon QtIconOf(MessageBox::Icon icon) {
  switch (icon) {
    case MessageBox::kCritical:
      return QMessageBox::Critical;
    case MessageBox::kQuestion:
      return QMessageBox::Question;
    case MessageBox::kInformation:
      return QMessageBox::Information;
    case MessageBox::kExclamation:
      break;
  }
  return QMessageBox::Warning;
}

}  // namespace

MessageBox::Answer MessageBox::show(const QString& text, const QString& title, Buttons buttons,
                                    Answer default_answer, Icon icon, QWidget* parent) {
  const QList<Answer> answers = AnswersOf(buttons);
  if (!answers.contains(default_answer)) default_answer = answers.first();
  BoxTestState& state = BoxState();
  if (state.on) {
    state.history.append({text, title, buttons, default_answer, icon});
    if (state.answers.isEmpty()) return default_answer;
    return state.answers.takeFirst();
  }

  // Texts may carry CR LF line breaks; a label breaks lines at LF alone.
  QString shown = text;
  shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  QMessageBox box(QtIconOf(icon), title, shown, QMessageBox::NoButton, parent);
  for (Answer answer : answers) box.addButton(StandardButtonOf(answer));
  box.setDefaultButton(StandardButtonOf(default_answer));
  // Escape answers the most cautious choice the box offers.
  Answer escape = answers.contains(Answer::kCancel) ? Answer::kCancel
                  : answers.contains(Answer::kNo)   ? Answer::kNo
                                                    : Answer::kOk;
  box.setEscapeButton(StandardButtonOf(escape));
  box.exec();
  QAbstractButton* clicked = box.clickedButton();
  for (Answer answer : answers) {
    if (clicked == box.button(StandardButtonOf(answer))) return answer;
  }
  return escape;
}

void MessageBox::enableTesting(bool on) { BoxState().on = on; }
void MessageBox::setNextAnswer(Answer answer) { BoxState().answers.append(answer); }
const QList<MessageBox::Shown>& MessageBox::history() { return BoxState().history; }
QString MessageBox::lastText() { return last().text; }
QString MessageBox::lastTitle() { return last().title; }

MessageBox::Shown MessageBox::last() {
  const QList<Shown>& history = BoxState().history;
  return history.isEmpty() ? Shown{} : history.last();
}

void MessageBox::reset() {
  BoxState().answers.clear();
  BoxState().history.clear();
}

}  // namespace jr
