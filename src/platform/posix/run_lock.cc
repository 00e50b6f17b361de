#include "platform/run_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>

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

}  // namespace jr
