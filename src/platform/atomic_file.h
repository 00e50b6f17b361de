#pragma once
// Replacing a file's contents without ever leaving it half written.

#include <string>
#include <string_view>

#include "platform/status.h"

namespace jr {

// Writes `content` to a fresh temporary file in the folder of `path`, flushes it to disk
// and renames it over `path`. Either `path` afterwards holds exactly `content`, or it is
// left as it was (and no temporary file stays behind): then a failure naming `path` and
// the cause (folder missing, no permission, disk full, ...).
// An existing file keeps its permission bits; a symbolic link is written through.
Status ReplaceFileContents(const std::string& path, std::string_view content);

}  // namespace jr
