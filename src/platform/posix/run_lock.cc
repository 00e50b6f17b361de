#include "platform/run_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/run_lock_file.h"

namespace jr {
namespace {

Status Failed(const std::string& what, const std::string& path, int error) {
  return Status::Failed("cannot " + what + " the run lock \"" + path + "\": " + strerror(error));
}

int Fd(RunLockFile file) { return static_cast<int>(file); }

}  // namespace

Result<RunLockFile> OpenRunLockFileForTaking(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return Failed("open", path, errno);
  return RunLockFile{fd};
}

Result<std::optional<RunLockFile>> OpenRunLockFileForAsking(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) return std::optional<RunLockFile>(fd);
  if (errno == ENOENT) return std::optional<RunLockFile>();
  return Failed("open", path, errno);
}

void CloseRunLockFile(RunLockFile file) { close(Fd(file)); }

Result<bool> TryLockRunLockFile(RunLockFile file, bool shared, const std::string& path) {
  while (flock(Fd(file), (shared ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) return false;
    if (errno != EINTR) return Failed(shared ? "test" : "take", path, errno);
  }
  // A shared lock only asked whether the lock is free: give it back at once.
  if (shared) flock(Fd(file), LOCK_UN);
  return true;
}

std::string ReadRunLockFile(RunLockFile file) {
  char buffer[4096];
  const ssize_t size = pread(Fd(file), buffer, sizeof buffer, 0);
  return size > 0 ? std::string(buffer, static_cast<size_t>(size)) : std::string();
}

Status WriteRunLockFile(RunLockFile file, const std::string& text) {
  if (ftruncate(Fd(file), 0) != 0 ||
      pwrite(Fd(file), text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) {
    return Status::Failed(std::string("cannot write the run lock: ") + strerror(errno));
  }
  return Status::Ok();
}

int64_t CurrentProcessId() { return getpid(); }

TimePoint CurrentProcessStart() {
  const TimePoint now = std::chrono::system_clock::now();
  timespec booted{};
  clock_gettime(CLOCK_BOOTTIME, &booted);
  // Field 22 of the process's stat line, in clock ticks since the boot; the name before it,
  // in parentheses, may hold blanks and parentheses itself.
  std::ifstream stat("/proc/self/stat");
  std::string line;
  std::getline(stat, line);
  const size_t name_end = line.rfind(')');
  if (name_end == std::string::npos) return now;
  std::istringstream fields(line.substr(name_end + 1));
  std::string field;
  for (int number = 3; number < 22 && (fields >> field); ++number) {
  }
  unsigned long long ticks = 0;
  const long per_second = sysconf(_SC_CLK_TCK);
  if (!(fields >> ticks) || per_second <= 0) return now;
  const auto hertz = static_cast<unsigned long long>(per_second);
  const auto age = std::chrono::seconds(booted.tv_sec) + std::chrono::nanoseconds(booted.tv_nsec) -
                   std::chrono::seconds(ticks / hertz) -
                   std::chrono::nanoseconds(ticks % hertz * 1'000'000'000ULL / hertz);
  if (age.count() < 0) return now;
  return now - std::chrono::duration_cast<TimePoint::duration>(age);
}

}  // namespace jr
