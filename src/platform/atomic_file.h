#pragma once
// Replacing a file's contents without ever leaving it half written.

#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/status.h"

namespace jr {

// Writes the content to a fresh temporary file in the folder of `path`, flushes it to disk
// and renames it over `path`. Either `path` afterwards holds exactly `content`, or it is
// left as it was (and no temporary file stays behind): then a failure naming `path` and
// the cause (folder missing, no permission, disk full, ...).
// An existing file keeps its permission bits; a symbolic link is written through.
// The content is given piece by piece, so that a long file is never held whole: `next` is
// called for the next piece until it gives an empty one, and not at all when the file
// cannot be made.
Status ReplaceFileContents(const std::string& path,
                           const std::function<std::string_view()>& next);

// The same with the whole content at once.
inline Status ReplaceFileContents(const std::string& path, std::string_view content) {
  bool given = false;
  return ReplaceFileContents(path, [&]() -> std::string_view {
    return std::exchange(given, true) ? std::string_view() : content;
  });
}

}  // namespace jr
