#pragma once
// `jobrunner --schedule` and `--unschedule`: a job's schedule as a systemd timer.

#include <string>

namespace jr {

// Installs the service and timer that run `job_file` at its schedule (see UnitFolderFor for
// where; `root` an image root), after systemd has read the expression and verified the
// units; with `dry_run` prints them and changes nothing. 0; 3 when the job file cannot be
// loaded; 4 when its schedule cannot be installed (why on standard error).
int ScheduleCommand(const std::string& job_file, bool dry_run, const std::string& root);

// Disables and removes the job's service and timer. 0, also when none was installed; 4 when
// they could not be removed.
int UnscheduleCommand(const std::string& job_file, const std::string& root);

}  // namespace jr
