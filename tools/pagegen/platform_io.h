#pragma once
// The report generator's file and clock access, one file per operating system.

#include <string>

namespace pagegen {

// The whole file; false with `error` (the system's words, or what the name is when it is
// no plain file: "it is a named pipe, not a file") when it cannot be read or holds more
// than `limit` bytes. A named pipe or device is refused without waiting for a writer.
bool ReadWholeFile(const std::string& name, long long limit, std::string& text, std::string& error);

struct FileTail {
  bool readable = false;
  // The file does not exist (as opposed to existing and not being readable).
  bool missing = false;
  std::string error;
  std::string text;
  long long size = 0;
  // Where `text` starts in the file.
  long long offset = 0;
};

// The last `limit` bytes of a plain file (all of a smaller one); anything else is refused
// without waiting.
FileTail ReadFileTail(const std::string& name, long long limit);

// Writes beside the target and renames, so that a reader never sees half a page and a
// failure leaves the old page in place.
bool ReplaceFileContents(const std::string& output, const std::string& content, std::string& error);

// The current local time in `format` (strftime conventions).
std::string LocalNow(const char* format);

// The LC_TIME locale's abbreviation of month `index` (0 = January); empty when unknown.
std::string LocaleMonthAbbreviation(int index);

}  // namespace pagegen
