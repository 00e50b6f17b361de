#pragma once
// `jobrunner --credential set|list|remove`: the administrator's tools for the credential
// folder, so that a job file names a password instead of holding it.

#include <string>

namespace jr {

// `action` is "set" (the value of credential `name` from standard input, not shown at a
// terminal), "list" or "remove"; `name` a credential's name (IsCredentialName) for set and
// remove. 0 when done; 1 when the credential is refused or cannot be written, removed or
// listed (the cause on standard error, never a value).
int CredentialCommand(const std::string& action, const std::string& name);

}  // namespace jr
