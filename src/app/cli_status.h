#pragma once
// `jobrunner --status`: the runs going on now, with the state of each of their job lines,
// for people and (with --json) for scripts.

#include <optional>
#include <string>

namespace jr {

// The runs of `job_file`, or of every job, going on now. Nothing going on, or no database,
// says so ("[]" with `json`) and gives 0, as does a list; an unreadable database names the
// file and the cause and gives 3.
int RunStatusCommand(const std::optional<std::string>& job_file, bool json);

}  // namespace jr
