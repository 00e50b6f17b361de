#pragma once
// Credentials: secrets kept out of job files. A job line's options name one with the whole
// option word `@cred:NAME`; the runner reads its value just before the line's program starts
// and passes it nowhere but that program's argument list. Values live one a file in a
// credential folder that nobody but the runner's user (or root) may write, or where systemd
// hands a service its credentials, or on Windows in the Credential Manager.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"
#include "platform/status.h"

namespace jr {

// The key, under HKEY_LOCAL_MACHINE, whose value `Folder` names the credential folder.
inline constexpr std::string_view kCredentialsKey = "SOFTWARE\\Extraction Job Runner\\Credentials";

// What an option word starts with when it stands for a credential.
inline constexpr std::string_view kCredentialPrefix = "@cred:";

// The longest value a credential may have, in bytes.
inline constexpr size_t kMaxCredentialBytes = 4096;

// Whether `name` may name a credential: 1 to 64 of A-Z a-z 0-9 . _ -, not starting with a
// dot (so that no name leaves the folder or hides in it).
bool IsCredentialName(std::string_view name);

// The credential folder: $JOBRUNNER_CREDENTIALS_DIR when set, else the registry value
// `Folder` of kCredentialsKey, else /etc/jobrunner/credentials for root and
// $XDG_CONFIG_HOME/jobrunner/credentials (~/.config/jobrunner/credentials) for everyone
// else (on Windows %APPDATA%\jobrunner\credentials). Empty when none can be made out.
std::string CredentialFolder(RegistryReader& registry);

// Checks a credential's value as read: one trailing line feed is taken off; an empty value,
// one with a NUL, CR or LF inside, or one over kMaxCredentialBytes is refused. The failure
// names `name` and what is wrong, never the value.
Result<std::string> CredentialValue(std::string_view name, std::string bytes);

// The value of credential `name`: $CREDENTIALS_DIRECTORY/NAME when that variable is set,
// else the file NAME in `folder` (see CredentialFolder), else, on Windows, the Credential
// Manager's generic credential `jobrunner/NAME`. Before a byte is read, the folder must be
// owned by root or by this process's user and writable by nobody else, and the file must be
// a regular file (no symbolic link followed), owned by root or by this user, with no
// permission for group or others. A failure is a sentence that starts with `credential
// "NAME": ` and names the file, its owner and mode and what is wrong, never the value.
Result<std::string> ReadCredential(std::string_view name, const std::string& folder);

// Writes `value` (checked as CredentialValue checks it) as credential `name` in `folder`:
// atomically, mode 0600, the folder made with mode 0700 when missing.
Status WriteCredential(const std::string& folder, std::string_view name, std::string_view value);

// Removes credential `name` from `folder`; fails when it is not there.
Status RemoveCredential(const std::string& folder, std::string_view name);

struct CredentialEntry {
  std::string name;
  std::string owner;  // the owning user's name, or its number when it has none
  std::string mode;   // four octal digits, as "0600"
  // Empty when ReadCredential would take it; else why not, as ReadCredential says it.
  std::string problem;
};

// The credentials in `folder`, by name; an empty list when the folder does not exist.
Result<std::vector<CredentialEntry>> ListCredentials(const std::string& folder);

}  // namespace jr
