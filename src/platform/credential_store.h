#pragma once
// What each system's ReadCredential and WriteCredential (credentials.h) share with the
// others: the default folder, the sentences of their failures and the checks before a write.

#include <string>
#include <string_view>

#include "platform/status.h"

namespace jr {

// The credential folder when neither JOBRUNNER_CREDENTIALS_DIR nor the registry names one:
// /etc/jobrunner/credentials for root, else $XDG_CONFIG_HOME/jobrunner/credentials or
// ~/.config/jobrunner/credentials; on Windows %APPDATA%\jobrunner\credentials. Empty when
// none of these can be made out.
std::string DefaultCredentialFolder();

// `credential "NAME": `, which every failure about credential `name` starts with.
std::string CredentialFailureStart(std::string_view name);

// A failure for a name that IsCredentialName refuses; ok for one that it takes.
Status CheckCredentialName(std::string_view name);

// The failure for a credential found nowhere; `looked` names where it was looked for.
Status CredentialNotFound(std::string_view name, const std::string& looked);

// The name, the value as a run would read it back (CredentialValue) and that there is a
// folder: the first that fails.
Status CheckCredentialToWrite(const std::string& folder, std::string_view name,
                              std::string_view value);

}  // namespace jr
