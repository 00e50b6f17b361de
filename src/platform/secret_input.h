#pragma once
// Reading a secret from standard input: typed at a terminal without being shown, or piped
// in from a file by a script.

#include <string>
#include <string_view>

#include "platform/status.h"

namespace jr {

// At a terminal: writes `prompt` to standard error, turns echoing off, reads one line and
// turns echoing back on (also when the user interrupts with Ctrl-C, which then ends the
// program as usual). Otherwise reads standard input to its end. One trailing line feed is
// taken off. At most `limit` + 1 bytes are kept, so that a caller can refuse a longer value.
Result<std::string> ReadSecretInput(std::string_view prompt, size_t limit);

}  // namespace jr
