#pragma once
// Blanks around typed values carry no meaning: the editor, job files and registry
// settings all mean spaces only by them.

#include <string_view>

namespace jr {

// Removes leading and trailing spaces.
inline std::string_view TrimBlanks(std::string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && text[begin] == ' ') ++begin;
  while (end > begin && text[end - 1] == ' ') --end;
  return text.substr(begin, end - begin);
}

}  // namespace jr
