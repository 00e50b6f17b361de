// Writing, removing and listing the files of the credential folder: what the
// administrator's tools do; reading a value for a run is ReadCredential's.

#include "platform/credential_store.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/credentials.h"
#include "platform/posix/file_owner.h"

namespace jr {
namespace {

Status Refused(std::string_view name, const std::string& what) {
  return Status::Failed(CredentialFailureStart(name) + what);
}

// The folder as a run expects it: made with its missing parents, the folder itself for
// nobody but its owner.
Status MakeFolder(std::string_view name, const std::string& folder) {
  struct stat info {};
  if (stat(folder.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) return Status::Ok();
    return Refused(name, folder + " is no folder");
  }
  const std::filesystem::path path(folder);
  std::error_code ec;
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    return Refused(name, "cannot make the folder " + folder + ": " + strerror(errno));
  }
  chmod(folder.c_str(), 0700);  // whatever the umask took away or let through
  return Status::Ok();
}

}  // namespace

Status WriteCredential(const std::string& folder, std::string_view name, std::string_view value) {
  if (Status checked = CheckCredentialToWrite(folder, name, value); !checked.ok()) {
    return checked;
  }
  if (Status made = MakeFolder(name, folder); !made.ok()) return made;

  const std::string path = folder + "/" + std::string(name);
  // The temporary name starts with a dot, which no credential's does: a list never shows
  // it. O_EXCL and O_NOFOLLOW: nobody's link or file receives the value.
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    temporary = folder + "/." + std::string(name) + "." + std::to_string(getpid()) + "-" +
                std::to_string(attempt);
    fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return Refused(name, "cannot write in " + folder + ": " + strerror(errno));

  int failure = fchmod(fd, 0600) == 0 ? 0 : errno;
  for (std::string_view rest = value; failure == 0 && !rest.empty();) {
    const ssize_t written = write(fd, rest.data(), rest.size());
    if (written < 0 && errno != EINTR) failure = errno;
    if (written > 0) rest.remove_prefix(static_cast<size_t>(written));
  }
  if (failure == 0 && fsync(fd) != 0) failure = errno;
  if (close(fd) != 0 && failure == 0) failure = errno;
  if (failure == 0 && rename(temporary.c_str(), path.c_str()) != 0) failure = errno;
  if (failure != 0) {
    unlink(temporary.c_str());
    return Refused(name, "cannot write " + path + ": " + strerror(failure));
  }
  // The rename reaches the disk only with the folder's entry.
  if (const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return Status::Ok();
}

Status RemoveCredential(const std::string& folder, std::string_view name) {
  if (Status named = CheckCredentialName(name); !named.ok()) return named;
  const std::string path = folder + "/" + std::string(name);
  if (unlink(path.c_str()) != 0) {
    if (errno == ENOENT) return Refused(name, "there is no " + path);
    return Refused(name, "cannot remove " + path + ": " + strerror(errno));
  }
  return Status::Ok();
}

Result<std::vector<CredentialEntry>> ListCredentials(const std::string& folder) {
  std::vector<CredentialEntry> entries;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) {
    if (errno == ENOENT) return entries;
    return Status::Failed("cannot list the credential folder " + folder + ": " + strerror(errno));
  }
  while (const struct dirent* entry = readdir(dir)) {
    // Other files (a temporary one, notes) cannot be named by a job line.
    if (!IsCredentialName(entry->d_name)) continue;
    struct stat info {};
    if (fstatat(dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
    CredentialEntry listed{entry->d_name, UserName(info.st_uid), ModeText(info.st_mode), {}};
    if (Result<std::string> read = ReadCredential(listed.name, folder); !read.ok()) {
      listed.problem = read.message();
    }
    entries.push_back(std::move(listed));
  }
  closedir(dir);
  std::sort(entries.begin(), entries.end(),
            [](const CredentialEntry& a, const CredentialEntry& b) { return a.name < b.name; });
  return entries;
}

}  // namespace jr
