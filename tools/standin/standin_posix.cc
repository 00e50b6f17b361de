#include <fcntl.h>
#include <signal.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "standin_platform.h"

namespace {

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t written = write(fd, text.data() + done, text.size() - done);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(written);
  }
  return true;
}

}  // namespace

bool AppendText(const std::string& path, const std::string& text, std::string& error) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  bool ok = WriteAll(fd, text);
  if (close(fd) != 0) ok = false;
  if (!ok) error = "cannot write " + path + ": " + std::strerror(errno);
  return ok;
}

bool ReplaceFileWith(const std::string& path, const std::string& content, std::string& error) {
  std::string temporary = path + ".standin-" + std::to_string(getpid());
  int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = "cannot create " + temporary + ": " + std::strerror(errno);
    return false;
  }
  bool ok = WriteAll(fd, content);
  if (close(fd) != 0) ok = false;
  if (!ok || rename(temporary.c_str(), path.c_str()) != 0) {
    error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

void SleepMs(long ms) {
  if (ms <= 0) return;
  struct timespec request;
  request.tv_sec = ms / 1000;
  request.tv_nsec = (ms % 1000) * 1000000L;
  while (nanosleep(&request, &request) != 0 && errno == EINTR) {
  }
}

long ProcessId() { return static_cast<long>(getpid()); }

long ProcessGroupId() { return static_cast<long>(getpgrp()); }

long StartGrandchild(long ms, std::string& error) {
  pid_t pid = fork();
  if (pid < 0) {
    error = std::string("cannot fork: ") + std::strerror(errno);
    return -1;
  }
  if (pid == 0) {
    SleepMs(ms);
    _exit(0);
  }
  return static_cast<long>(pid);
}

void IgnoreTerminationRequests() { signal(SIGTERM, SIG_IGN); }
