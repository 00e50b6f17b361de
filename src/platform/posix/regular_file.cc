#include "platform/regular_file.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace jr {
namespace {

const char* KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a named pipe";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

FileReadResult Failed(FileReadStatus status, std::string cause) {
  FileReadResult result;
  result.status = status;
  result.cause = std::move(cause);
  return result;
}

}  // namespace

FileReadResult ReadRegularFile(const std::string& path, size_t limit, OverLimit over) {
  // O_NONBLOCK: opening a named pipe nobody writes to, or a device, must not wait.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    return Failed(
        error == ENOENT || error == ENOTDIR ? FileReadStatus::kMissing : FileReadStatus::kError,
        strerror(error));
  }
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    const int error = errno;
    close(fd);
    return Failed(FileReadStatus::kError, strerror(error));
  }
  if (!S_ISREG(info.st_mode)) {
    close(fd);
    return Failed(FileReadStatus::kNotAFile,
                  std::string("it is ") + KindOf(info.st_mode) + ", not a file");
  }
  const auto size = static_cast<unsigned long long>(info.st_size);
  if (over == OverLimit::kRefuse && size > limit) {
    close(fd);
    return Failed(FileReadStatus::kTooLarge, "it is larger than " + SizeLimitText(limit));
  }
  if (over == OverLimit::kTail && size > limit &&
      lseek(fd, static_cast<off_t>(size - limit), SEEK_SET) < 0) {
    const int error = errno;
    close(fd);
    return Failed(FileReadStatus::kError, strerror(error));
  }
  // Read up to one byte past the limit, which shows a file that grew past it meanwhile.
  FileReadResult result;
  result.text.reserve(static_cast<size_t>(std::min<unsigned long long>(size, limit)));
  char buffer[64 * 1024];
  while (result.text.size() <= limit) {
    const size_t want = std::min(sizeof buffer, limit + 1 - result.text.size());
    const ssize_t got = read(fd, buffer, want);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const int error = errno;
      close(fd);
      return Failed(FileReadStatus::kError, strerror(error));
    }
    if (got == 0) break;
    result.text.append(buffer, static_cast<size_t>(got));
  }
  close(fd);
  return FinishedRead(std::move(result), limit, over);
}

}  // namespace jr
