#include "platform/credential_store.h"

#include "platform/credentials.h"

namespace jr {

Status CredentialNameRefused(std::string_view name) {
  return Status::Failed("credential \"" + std::string(name) +
                        "\": a name is 1 to 64 of A-Z a-z 0-9 . _ - and does not start with "
                        "a dot");
}

Status CheckCredentialToWrite(const std::string& folder, std::string_view name,
                              std::string_view value) {
  if (!IsCredentialName(name)) return CredentialNameRefused(name);
  // The file holds the value as written; a run takes one trailing line feed off.
  if (Result<std::string> checked = CredentialValue(name, std::string(value) + "\n");
      !checked.ok()) {
    return checked.status;
  }
  if (folder.empty()) {
    return Status::Failed("credential \"" + std::string(name) +
                          "\": no credential folder can be made out");
  }
  return Status::Ok();
}

}  // namespace jr
