#pragma once
// Every message, question and answer of the window goes through here, so that tests can
// answer questions and read what was shown without a modal window ever blocking them.

#include <QMessageBox>
#include <QString>

class QWidget;

namespace jr {

class MessageBox {
 public:
  enum Buttons { kOkOnly = 0, kOkCancel = 1, kYesNoCancel = 3, kYesNo = 4 };
  enum Icon { kCritical = 16, kQuestion = 32, kExclamation = 48, kInformation = 64 };
  // The button the user chose; closing the box counts as its most cautious button.
  enum class Answer { kOk, kCancel, kYes, kNo };

  struct Shown {
    QString text;
    QString title;
    Buttons buttons = kOkOnly;
    Answer default_answer = Answer::kOk;
    Icon icon = kExclamation;
  };

  // Shows a modal message box and returns the answer. Closing the box with Escape or its
  // close button answers Cancel where there is one, else No, else OK. Without an explicit
  // default the first button is the default.
  static Answer show(const QString& text, const QString& title, Buttons buttons = kOkOnly,
                     Answer default_answer = Answer::kOk, Icon icon = kExclamation,
                     QWidget* parent = nullptr);

  // Testing: no box is ever shown. Each show() takes the next queued answer, or the
  // default button when none is queued, and is recorded.
  static void enableTesting(bool on = true);
  static void setNextAnswer(Answer answer);
  static const QList<Shown>& history();
  static QString lastText();
  static QString lastTitle();
  static Shown last();
  // Forgets the history and the queued answers.
  static void reset();
};

}  // namespace jr
