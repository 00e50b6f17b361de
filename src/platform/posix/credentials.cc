#include "platform/credentials.h"

#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "platform/credential_store.h"
#include "platform/environment.h"
#include "platform/posix/file_owner.h"

namespace jr {
namespace {

// Closes a descriptor when it goes out of scope, so that no early return leaks one.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

// "readable by others", "writable by its group": the widest of the permissions `bits` (a
// subset of 077) grants, others before the group.
std::string OpenToText(mode_t bits) {
  const bool others = (bits & 007) != 0;
  const mode_t granted = others ? (bits & 007) : ((bits >> 3) & 007);
  const char* verb = (granted & 4) != 0   ? "readable"
                     : (granted & 2) != 0 ? "writable"
                                          : "executable";
  return std::string(verb) + (others ? " by others" : " by its group");
}

// Why `info` of `what` may not be trusted by the runner's user: neither root nor that user
// owns it, or it grants group or others one of `forbidden`; empty when it may.
std::string TrustProblem(const struct stat& info, const std::string& what, mode_t forbidden,
                         const char* fix) {
  const uid_t me = geteuid();
  const std::string mode = ModeText(info.st_mode);
  if (info.st_uid != 0 && info.st_uid != me) {
    const std::string trusted = me == 0 ? "not by root" : "neither by root nor by " + UserName(me);
    return what + " is owned by " + UserName(info.st_uid) + " (mode " + mode + "), " + trusted +
           "; chown it to " + UserName(me);
  }
  if ((info.st_mode & forbidden) != 0) {
    return what + " is " + OpenToText(info.st_mode & forbidden) + " (mode " + mode + "); make it " +
           fix;
  }
  return {};
}

// One place a credential may be: absent, refused or read.
struct Lookup {
  bool missing = false;
  Result<std::string> value;
};

Lookup Missing() {
  Lookup lookup;
  lookup.missing = true;
  return lookup;
}

Lookup Refused(const std::string& prefix, const std::string& cause) {
  Lookup lookup;
  lookup.value = Status::Failed(prefix + cause);
  return lookup;
}

Lookup ReadIn(const std::string& folder, std::string_view name, const std::string& prefix) {
  const std::string path = (std::filesystem::path(folder) / std::string(name)).string();
  // The folder itself may be reached through a symbolic link (an administrator may move
  // it); what is checked is the folder opened, whose owner and mode the descriptor shows.
  const Descriptor dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() < 0) {
    if (errno == ENOENT) return Missing();
    if (errno == ENOTDIR)
      return Refused(prefix, "the credential folder " + folder + " is no folder");
    return Refused(prefix,
                   "the credential folder " + folder + " cannot be opened: " + strerror(errno));
  }
  struct stat info {};
  if (fstat(dir.get(), &info) != 0) {
    return Refused(prefix, "the credential folder " + folder + ": " + strerror(errno));
  }
  // Whoever may write the folder may swap a credential for a file of their own.
  if (std::string problem = TrustProblem(info, "the credential folder " + folder, 022, "0700");
      !problem.empty()) {
    return Refused(prefix, problem);
  }
  // O_NOFOLLOW: a symbolic link is refused, not followed to a file nobody checked.
  // O_NONBLOCK: a named pipe must not hold the run until someone writes to it.
  const Descriptor file(openat(dir.get(), std::string(name).c_str(),
                               O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (file.get() < 0) {
    if (errno == ENOENT) return Missing();
    if (errno == ELOOP) {
      return Refused(prefix, path + " is a symbolic link; a credential must be a file of its own");
    }
    return Refused(prefix, path + " cannot be opened: " + strerror(errno));
  }
  if (fstat(file.get(), &info) != 0) return Refused(prefix, path + ": " + strerror(errno));
  if (!S_ISREG(info.st_mode)) {
    return Refused(prefix, path + " is not a regular file (mode " + ModeText(info.st_mode) + ")");
  }
  if (std::string problem = TrustProblem(info, path, 077, "0600"); !problem.empty()) {
    return Refused(prefix, problem);
  }
  // A value, its line feed and one byte more, which shows a file too long.
  std::string bytes;
  char buffer[kMaxCredentialBytes + 2];
  while (bytes.size() < sizeof buffer) {
    const ssize_t got = read(file.get(), buffer, sizeof buffer - bytes.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return Refused(prefix, path + " cannot be read: " + strerror(errno));
    if (got == 0) break;
    bytes.append(buffer, static_cast<size_t>(got));
  }
  Lookup lookup;
  lookup.value = CredentialValue(name, std::move(bytes));
  // "the value is empty" says more beside the file it came from.
  if (!lookup.value.ok()) lookup.value.status.message.insert(prefix.size(), path + ": ");
  return lookup;
}

}  // namespace

std::string DefaultCredentialFolder() {
  // Root runs the server's jobs, with whatever home cron or systemd give it: their
  // credentials lie beside the rest of the system's configuration.
  if (geteuid() == 0) return "/etc/jobrunner/credentials";
  return UserBaseFolderPath("XDG_CONFIG_HOME", ".config", "jobrunner/credentials");
}

Result<std::string> ReadCredential(std::string_view name, const std::string& folder) {
  if (Status named = CheckCredentialName(name); !named.ok()) return named;
  const std::string prefix = CredentialFailureStart(name);
  std::string looked;
  // systemd hands a service the credentials of its unit here; they come first, as the
  // administrator who wrote the unit meant them to.
  if (std::string handed = EnvironmentValue("CREDENTIALS_DIRECTORY"); !handed.empty()) {
    Lookup lookup = ReadIn(handed, name, prefix);
    if (!lookup.missing) return lookup.value;
    looked = handed + " (CREDENTIALS_DIRECTORY) nor in ";
  }
  if (folder.empty()) {
    return Status::Failed(prefix +
                          "no credential folder: neither JOBRUNNER_CREDENTIALS_DIR, "
                          "XDG_CONFIG_HOME nor HOME is set");
  }
  Lookup lookup = ReadIn(folder, name, prefix);
  if (!lookup.missing) return lookup.value;
  return CredentialNotFound(name, looked + folder);
}

}  // namespace jr
