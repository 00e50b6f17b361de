#include "model/credential_references.h"

#include <algorithm>

#include "platform/credentials.h"
#include "platform/program_command.h"

namespace jr {

std::vector<std::string> CredentialReferences(std::string_view options) {
  std::vector<std::string> names;
  for (const std::string& word : SplitArguments(options)) {
    if (!word.starts_with(kCredentialPrefix)) continue;
    std::string name = word.substr(kCredentialPrefix.size());
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  }
  return names;
}

Result<std::vector<std::string>> WithCredentialValues(std::vector<std::string> arguments,
                                                      const std::string& folder) {
  for (std::string& argument : arguments) {
    if (!argument.starts_with(kCredentialPrefix)) continue;
    // Read at every start, not kept: a credential rotated during a long run reaches the
    // lines that start after.
    Result<std::string> value =
        ReadCredential(std::string_view(argument).substr(kCredentialPrefix.size()), folder);
    if (!value.ok()) return value.status;
    argument = std::move(value.value);
  }
  return arguments;
}

}  // namespace jr
