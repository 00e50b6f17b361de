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

bool ReadWholeFile(const std::string& name, std::string& text, std::string& error) {
  int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  struct stat info {};
  if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    close(fd);
    error = "it is a folder";
    return false;
  }
  char buffer[65536];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = std::strerror(errno);
      close(fd);
      return false;
    }
    if (n == 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return true;
}

FileTail ReadFileTail(const std::string& name, long long limit) {
  FileTail result;
  int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    result.missing = errno == ENOENT || errno == ENOTDIR;
    result.error = std::strerror(errno);
    return result;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    result.error = "it is not a plain file";
    return result;
  }
  result.size = info.st_size;
  if (info.st_size > limit) {
    result.offset = info.st_size - limit;
    if (lseek(fd, result.offset, SEEK_SET) < 0) {
      result.error = std::strerror(errno);
      close(fd);
      return result;
    }
  }
  char buffer[65536];
  while (static_cast<long long>(result.text.size()) < limit) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      result.error = std::strerror(errno);
      close(fd);
      return result;
    }
    if (n == 0) break;
    result.text.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
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
  while (done < content.size()) {
    ssize_t n = write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    done += static_cast<size_t>(n);
  }
  if (done < content.size() || close(fd) != 0) {
    error = std::strerror(errno);
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
