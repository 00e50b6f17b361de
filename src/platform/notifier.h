#pragma once
// How the engine tells the user something in either mode: a message box in the window,
// a "TITLE: TEXT" line on standard error in command-line mode.

#include <string_view>

namespace jr {

enum class MessageIcon { kExclamation, kCritical, kQuestion, kInformation };

class Notifier {
 public:
  virtual ~Notifier() = default;
  virtual void ShowMessage(std::string_view title, std::string_view text, MessageIcon icon) = 0;
};

}  // namespace jr
