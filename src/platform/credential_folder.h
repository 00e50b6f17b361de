#pragma once
// The credential folder this system uses when neither JOBRUNNER_CREDENTIALS_DIR nor the
// registry names one; the choice between them lives in CredentialFolder (credentials.h).

#include <string>

namespace jr {

// /etc/jobrunner/credentials for root, else $XDG_CONFIG_HOME/jobrunner/credentials or
// ~/.config/jobrunner/credentials; on Windows %APPDATA%\jobrunner\credentials. Empty when
// none of these can be made out.
std::string DefaultCredentialFolder();

}  // namespace jr
