#pragma once
// What a run lock's file holds: "key=value" lines, one per member of RunLockHolder.

#include <optional>
#include <string>
#include <string_view>

#include "platform/run_lock.h"

namespace jr {

std::string RunLockHolderText(const RunLockHolder& holder);

// The holder a lock file names; nullopt when the text is not (yet) a whole holder.
std::optional<RunLockHolder> ParseRunLockHolder(std::string_view text);

}  // namespace jr
