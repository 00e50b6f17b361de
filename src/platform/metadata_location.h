#pragma once
// Where the system's process metadata database lies. Only the path: what is kept in it is
// the store's business.

#include <string>

namespace jr {

// $JOBRUNNER_METADATA_DB when set, else on Linux $XDG_STATE_HOME/jobrunner/metadata.sqlite,
// else ~/.local/state/jobrunner/metadata.sqlite, on Windows
// %LOCALAPPDATA%\jobrunner\metadata.sqlite. Empty when none of these can be made out;
// kNoMetadataPlace then says why.
std::string SystemMetadataDatabasePath();
extern const char* const kNoMetadataPlace;

}  // namespace jr
