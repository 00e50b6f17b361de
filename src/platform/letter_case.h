#pragma once
// Words of files and settings that people type by hand, read whatever their letter case.

#include <string_view>

namespace jr {

// Whether `text` is `lower_word` (written in lower case) in any mix of ASCII letter case.
inline bool EqualsIgnoringCase(std::string_view text, std::string_view lower_word) {
  if (text.size() != lower_word.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lower_word[i]) return false;
  }
  return true;
}

}  // namespace jr
