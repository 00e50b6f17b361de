#include <errno.h>
#include <fcntl.h>
#include <langinfo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform_io.h"

namespace pagegen {

namespace {

const char* KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "it is a folder, not a file";
  if (S_ISFIFO(mode)) return "it is a named pipe, not a file";
  if (S_ISCHR(mode)) return "it is a character device, not a file";
  if (S_ISBLK(mode)) return "it is a block device, not a file";
  if (S_ISSOCK(mode)) return "it is a socket, not a file";
  return "it is not a plain file";
}

// Opens a plain file for reading; -1 with `error` (and `missing` for a file that does not
// exist) otherwise. O_NONBLOCK: opening a named pipe must not wait for its writer.
int OpenPlainFile(const std::string& name, struct stat& info, std::string& error,
                  bool* missing = nullptr) {
  int fd = open(name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    if (missing != nullptr) *missing = errno == ENOENT || errno == ENOTDIR;
    error = std::strerror(errno);
    return -1;
  }
  if (fstat(fd, &info) != 0) {
    error = std::strerror(errno);
    close(fd);
    return -1;
  }
  if (!S_ISREG(info.st_mode)) {
    error = KindOf(info.st_mode);
    close(fd);
    return -1;
  }
  return fd;
}

// Reads on until the end or until `text` holds more than `limit` bytes.
bool ReadRest(int fd, long long limit, std::string& text, std::string& error) {
  char buffer[65536];
  while (static_cast<long long>(text.size()) <= limit) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = std::strerror(errno);
      return false;
    }
    if (n == 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  return true;
}

}  // namespace

bool ReadWholeFile(const std::string& name, long long limit, std::string& text,
                   std::string& error) {
  struct stat info {};
  int fd = OpenPlainFile(name, info, error);
  if (fd < 0) return false;
  const bool read = info.st_size <= limit && ReadRest(fd, limit, text, error);
  close(fd);
  if (read && static_cast<long long>(text.size()) <= limit) return true;
  if (error.empty()) error = "it is larger than " + std::to_string(limit >> 20) + " MiB";
  return false;
}

FileTail ReadFileTail(const std::string& name, long long limit) {
  FileTail result;
  struct stat info {};
  int fd = OpenPlainFile(name, info, result.error, &result.missing);
  if (fd < 0) return result;
  result.size = info.st_size;
  if (info.st_size > limit) {
    result.offset = info.st_size - limit;
    if (lseek(fd, result.offset, SEEK_SET) < 0) {
      result.error = std::strerror(errno);
      close(fd);
      return result;
    }
  }
  const bool read = ReadRest(fd, limit, result.text, result.error);
  close(fd);
  if (!read) return result;
  if (static_cast<long long>(result.text.size()) > limit) {
    result.text.resize(static_cast<size_t>(limit));
  }
  result.readable = true;
  return result;
}

bool ReplaceFileContents(const std::string& output, const std::string& content,
                         std::string& error) {
  std::string temporary = output + ".XXXXXX";
  int fd = mkstemp(temporary.data());
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  size_t done = 0;
  int failure = 0;
  while (done < content.size()) {
    ssize_t n = write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      failure = errno;
      break;
    }
    done += static_cast<size_t>(n);
  }
  // A full disk may show only when the data reaches it: fsync before the page replaces
  // the old one.
  if (failure == 0 && fsync(fd) != 0) failure = errno;
  if (close(fd) != 0 && failure == 0) failure = errno;
  if (failure != 0) {
    error = std::strerror(failure);
    unlink(temporary.c_str());
    return false;
  }
  if (rename(temporary.c_str(), output.c_str()) != 0) {
    error = std::strerror(errno);
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

std::string LocalNow(const char* format) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buffer[64];
  size_t length = std::strftime(buffer, sizeof buffer, format, &local);
  return std::string(buffer, length);
}

std::string LocaleMonthAbbreviation(int index) {
  const char* local = nl_langinfo(static_cast<nl_item>(ABMON_1 + index));
  return local != nullptr ? local : "";
}

}  // namespace pagegen
