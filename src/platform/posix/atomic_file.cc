#include "platform/atomic_file.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <string>

namespace jr {
namespace {

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The cause in the words an administrator needs, for the errors a save typically meets.
std::string Cause(int error, const std::string& folder) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return "the folder \"" + folder + "\" does not exist";
    case EACCES:
    case EPERM:
      return "no permission to write there";
    case EROFS:
      return "the file system is read-only";
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return "the disk is full";
    default:
      return strerror(error);
  }
}

Status Fail(const std::string& path, const std::string& folder, int error) {
  return Status::Failed("Cannot write \"" + path + "\": " + Cause(error, folder) + ".");
}

bool WriteAll(int fd, std::string_view content) {
  while (!content.empty()) {
    const ssize_t written = write(fd, content.data(), content.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    content.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

unsigned long NextSuffix() {
  static unsigned long counter = 0;
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<unsigned long>(now.tv_nsec) + ++counter;
}

}  // namespace

Status ReplaceFileContents(const std::string& path,
                           const std::function<std::string_view()>& next) {
  // Renaming over a symbolic link would replace the link itself; write to what it names.
  std::string target = path;
  struct stat link_info;
  if (lstat(path.c_str(), &link_info) == 0 && S_ISLNK(link_info.st_mode)) {
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) != nullptr) target = resolved;
  }
  const std::string folder = FolderOf(target);

  // Renaming would also replace a file that is write-protected; respect the protection.
  struct stat old_info;
  const bool exists = stat(target.c_str(), &old_info) == 0;
  if (exists && S_ISDIR(old_info.st_mode)) return Fail(path, folder, EISDIR);
  if (exists && access(target.c_str(), W_OK) != 0) return Fail(path, folder, errno);

  // Created like any new document (0666 less the umask), so a first save gets the
  // permissions the user expects; a replaced file keeps its own below.
  std::string temp;
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    temp = target + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(NextSuffix());
    fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return Fail(path, folder, errno);

  int failure = 0;
  for (std::string_view piece = next(); !piece.empty() && !failure; piece = next()) {
    if (!WriteAll(fd, piece)) failure = errno;
  }
  if (!failure && exists && fchmod(fd, old_info.st_mode & 07777) != 0) failure = errno;
  if (!failure && fsync(fd) != 0) failure = errno;
  if (close(fd) != 0 && !failure) failure = errno;
  if (!failure && rename(temp.c_str(), target.c_str()) != 0) failure = errno;
  if (failure) {
    unlink(temp.c_str());
    return Fail(path, folder, failure);
  }
  // The rename itself reaches the disk only with the folder's entry.
  const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return Status::Ok();
}

}  // namespace jr
