#pragma once
// The batch file that runs a saved job unattended (from cron, say): what the editor's Make
// Batch File and `jobrunner --batch-file` write.

#include <map>
#include <string>

#include "platform/status.h"

namespace jr {

// The job file by its absolute name, a link kept as a link, as a scheduler starts it from
// another folder: it follows the link when that is pointed elsewhere.
std::string UnattendedJobFileName(const std::string& job_file);

// The command line that runs `job_file` unattended with the program `program`: both
// shell-quoted, so blanks and shell characters in the names are safe, and ended by a line
// feed.
std::string BatchFileLine(const std::string& program, const std::string& job_file);

// The variables an unattended run of the job needs that a scheduler would not give it: the
// JOBRUNNER_* variables of this process's environment (cron starts the script with almost
// no environment, and the job must find the registry, the database and the event log this
// process would have used), and the credential folder as JOBRUNNER_CREDENTIALS_DIR unless
// the registry names it. By name.
std::map<std::string, std::string> UnattendedVariables();

// The whole batch file: an interpreter line, so that the file can be started directly, the
// JOBRUNNER_* variables of this process's environment, each set for the command that
// follows, by name (cron starts the script with almost no environment, and the job must
// find the registry, the database and the event log this process would have used), the
// credential folder as JOBRUNNER_CREDENTIALS_DIR unless the registry names it, and the
// command line.
std::string BatchFileText(const std::string& program, const std::string& job_file);

// Writes `text` to `path`, replacing what it held, and lets whoever may read it run it
// (rwxr-xr-x less the umask for a new file; an existing one keeps its other bits). Fails
// naming the file when it cannot be written.
Status WriteBatchFile(const std::string& path, const std::string& text);

}  // namespace jr
