#include "app/cli_credential.h"

#include <cstdio>
#include <memory>

#include "app/cli.h"
#include "platform/credentials.h"
#include "platform/registry.h"
#include "platform/secret_input.h"

namespace jr {
namespace {

int Failed(const std::string& message) {
  std::fprintf(stderr, "jobrunner: %s\n", message.c_str());
  return kExitErrors;
}

int List(const std::string& folder) {
  const Result<std::vector<CredentialEntry>> listed = ListCredentials(folder);
  if (!listed.ok()) return Failed(listed.message());
  std::printf("%s\n", folder.c_str());
  for (const CredentialEntry& entry : listed.value) {
    std::printf("%-24s %-12s %s  %s\n", entry.name.c_str(),
                entry.owner.empty() ? "-" : entry.owner.c_str(),
                entry.mode.empty() ? "-" : entry.mode.c_str(),
                entry.problem.empty() ? "usable" : ("not usable: " + entry.problem).c_str());
  }
  return kExitNoErrors;
}

}  // namespace

int CredentialCommand(const std::string& action, const std::string& name) {
  const std::string folder = CredentialFolder(*MakeSystemRegistryReader());
  if (folder.empty()) {
    return Failed("no credential folder can be made out; set JOBRUNNER_CREDENTIALS_DIR");
  }
  if (action == "list") return List(folder);
  if (action == "remove") {
    if (const Status removed = RemoveCredential(folder, name); !removed.ok()) {
      return Failed(removed.message);
    }
    return kExitNoErrors;
  }
  Result<std::string> value =
      ReadSecretInput("Value of credential \"" + name + "\": ", kMaxCredentialBytes);
  if (!value.ok()) return Failed(value.message());
  const Status written = WriteCredential(folder, name, value.value);
  value.value.assign(value.value.size(), '\0');  // no copy lingers in freed memory
  if (!written.ok()) return Failed(written.message);
  std::fprintf(stderr, "jobrunner: credential \"%s\" written to %s/%s\n", name.c_str(),
               folder.c_str(), name.c_str());
  return kExitNoErrors;
}

}  // namespace jr
