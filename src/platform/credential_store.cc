#include "platform/credential_store.h"

#include "platform/credentials.h"

namespace jr {

Status CheckCredentialToWrite(const std::string& folder, std::string_view name,
                              std::string_view value) {
  if (Status named = CheckCredentialName(name); !named.ok()) return named;
  // The file holds the value as written; a run takes one trailing line feed off.
  if (Result<std::string> checked = CredentialValue(name, std::string(value) + "\n");
      !checked.ok()) {
    return checked.status;
  }
  if (folder.empty()) {
    return Status::Failed(CredentialFailureStart(name) + "no credential folder can be made out");
  }
  return Status::Ok();
}

}  // namespace jr
