#pragma once
// A file's owner and mode as messages and listings name them.

#include <sys/types.h>

#include <string>

namespace jr {

// The user's name, or its number when it has none.
std::string UserName(uid_t uid);
// The permission bits as four octal digits: "0600".
std::string ModeText(mode_t mode);

}  // namespace jr
