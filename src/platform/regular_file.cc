#include "platform/regular_file.h"

namespace jr {

std::string SizeLimitText(size_t bytes) {
  if (bytes >= (size_t{1} << 20) && bytes % (size_t{1} << 20) == 0) {
    return std::to_string(bytes >> 20) + " MiB";
  }
  if (bytes >= 1024 && bytes % 1024 == 0) return std::to_string(bytes >> 10) + " KiB";
  return std::to_string(bytes) + " bytes";
}

FileReadResult FinishedRead(FileReadResult read, size_t limit, OverLimit over) {
  if (read.text.size() > limit) {
    if (over == OverLimit::kRefuse) {
      FileReadResult refused;
      refused.status = FileReadStatus::kTooLarge;
      refused.cause = "it is larger than " + SizeLimitText(limit);
      return refused;
    }
    if (over == OverLimit::kTail) {
      read.text.erase(0, read.text.size() - limit);
    } else {
      read.text.resize(limit);
    }
  }
  read.status = FileReadStatus::kRead;
  return read;
}

}  // namespace jr
