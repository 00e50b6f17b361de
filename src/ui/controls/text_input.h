#pragma once
// Every question for a line of text goes through here, so that tests can answer it without
// a modal window ever blocking them.

#include <QString>
#include <optional>

class QWidget;

namespace jr {

class TextInput {
 public:
  // Asks for one line of text, `proposed` preset; nullopt when the user cancels.
  static std::optional<QString> ask(const QString& label, const QString& title,
                                    const QString& proposed, QWidget* parent = nullptr);

  // Testing: no dialog is ever shown. Each ask() takes the next queued answer (nullopt for
  // Cancel), or the proposed text when none is queued; the last proposal is kept.
  static void enableTesting(bool on = true);
  static void setNextAnswer(std::optional<QString> answer);
  static QString lastProposed();
  static void reset();
};

}  // namespace jr
