#pragma once
// Blanks around what is typed into a field: only blanks are taken off, since a tab or a line
// break at an end belongs to the text.

#include <QString>

namespace jr {

inline QString TrimBlanks(const QString& text) {
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && text[begin] == u' ') ++begin;
  while (end > begin && text[end - 1] == u' ') --end;
  return text.mid(begin, end - begin);
}

}  // namespace jr
