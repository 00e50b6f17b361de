#pragma once
// Reading a file that must be a plain file: opened without waiting (a named pipe or a
// device would block an unattended run for ever), refused unless it is a regular file,
// and refused (or cut) above a size limit before anything is read.

#include <cstddef>
#include <string>

namespace jr {

enum class FileReadStatus {
  kRead,
  kMissing,   // the file does not exist
  kNotAFile,  // a folder, named pipe, device or socket
  kTooLarge,  // larger than the limit (only with OverLimit::kRefuse)
  kError,     // cannot be opened or read (permissions, I/O error)
};

// What to do with a file larger than the limit: refuse it, read its first `limit` bytes, or
// its last (the end of a log).
enum class OverLimit { kRefuse, kCut, kTail };

struct FileReadResult {
  FileReadStatus status = FileReadStatus::kError;
  std::string text;
  // Unless kRead: the cause, as a clause to put after the file's name: "it is a named
  // pipe, not a file", "it is larger than 1 MiB", "No such file or directory".
  std::string cause;

  bool ok() const { return status == FileReadStatus::kRead; }
};

FileReadResult ReadRegularFile(const std::string& path, size_t limit,
                               OverLimit over = OverLimit::kRefuse);

// "64 MiB", "4 KiB", "100 bytes": how a limit is named in messages.
std::string SizeLimitText(size_t bytes);

// The end of a read of up to `limit` + 1 bytes into `read.text`, the same on every system:
// more than `limit` bytes are refused or cut as `over` says, anything else is read.
FileReadResult FinishedRead(FileReadResult read, size_t limit, OverLimit over);

}  // namespace jr
