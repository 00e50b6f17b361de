#include "platform/credentials.h"

#include "platform/credential_folder.h"
#include "platform/environment.h"
#include "platform/installation.h"

namespace jr {

bool IsCredentialName(std::string_view name) {
  if (name.empty() || name.size() > 64 || name.front() == '.') return false;
  for (const char c : name) {
    const bool allowed = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                         (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
    if (!allowed) return false;
  }
  return true;
}

std::string CredentialFolder(RegistryReader& registry) {
  if (std::string folder = EnvironmentValue("JOBRUNNER_CREDENTIALS_DIR"); !folder.empty()) {
    return folder;
  }
  if (std::string folder = GetRegistryString(registry, kCredentialsKey, "Folder");
      !folder.empty()) {
    return folder;
  }
  return DefaultCredentialFolder();
}

Result<std::string> CredentialValue(std::string_view name, std::string bytes) {
  const std::string refused = "credential \"" + std::string(name) + "\": the value ";
  if (!bytes.empty() && bytes.back() == '\n') bytes.pop_back();
  // The value is the only thing not to name here: each cause says what is wrong with it
  // without quoting a byte of it.
  if (bytes.size() > kMaxCredentialBytes) {
    return Status::Failed(refused + "is longer than " + std::to_string(kMaxCredentialBytes) +
                          " bytes");
  }
  if (bytes.empty()) return Status::Failed(refused + "is empty");
  if (bytes.find_first_of("\r\n") != std::string::npos) {
    return Status::Failed(refused + "has more than one line; a credential is one line");
  }
  if (bytes.find('\0') != std::string::npos) {
    return Status::Failed(refused + "holds a NUL byte");
  }
  return bytes;
}

}  // namespace jr
