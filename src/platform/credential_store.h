#pragma once
// What the credential stores of every system check before they write or remove a file.

#include <string>
#include <string_view>

#include "platform/status.h"

namespace jr {

// The refusal of a name outside the grammar (IsCredentialName).
Status CredentialNameRefused(std::string_view name);

// The name, the value as a run would read it back (CredentialValue) and that there is a
// folder: the first that fails.
Status CheckCredentialToWrite(const std::string& folder, std::string_view name,
                              std::string_view value);

}  // namespace jr
