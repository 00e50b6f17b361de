#include "platform/credentials.h"

#include "platform/credential_store.h"
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

std::string CredentialFailureStart(std::string_view name) {
  return "credential \"" + std::string(name) + "\": ";
}

Status CheckCredentialName(std::string_view name) {
  if (IsCredentialName(name)) return Status::Ok();
  return Status::Failed(CredentialFailureStart(name) +
                        "not a credential name (1 to 64 of A-Z a-z 0-9 . _ -, not starting "
                        "with a dot)");
}

Status CredentialNotFound(std::string_view name, const std::string& looked) {
  return Status::Failed(CredentialFailureStart(name) + "not found in " + looked +
                        "; store it with: jobrunner --credential set " + std::string(name));
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
  const std::string refused = CredentialFailureStart(name) + "the value ";
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
