#pragma once
// Where the system's process metadata database lies. Only the path: what is kept in it is
// the store's business.

#include <string>

namespace jr {

// $JOBRUNNER_METADATA_DB when set, else on Linux /var/lib/jobrunner/metadata.sqlite for root
// and $XDG_STATE_HOME/jobrunner/metadata.sqlite, else ~/.local/state/jobrunner/metadata.sqlite
// for everyone else, on Windows
// %LOCALAPPDATA%\jobrunner\metadata.sqlite. Empty when none of these can be made out;
// kNoMetadataPlace then says why.
std::string SystemMetadataDatabasePath();
extern const char* const kNoMetadataPlace;

// Why the database at `path` (SystemMetadataDatabasePath) could not be written, as far as
// can be seen without creating anything: no path at all, a database file or folder that
// may not be written, or a folder on the way that is no folder. Empty when none of these.
std::string MetadataPlaceProblem(const std::string& path);

}  // namespace jr
