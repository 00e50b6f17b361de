#pragma once
// `jobrunner --jobs`: every job of this machine at a glance.

#include <string>

namespace jr {

// One row per job known here: each job file with runs in the history and each job of a
// runner's timer in the unit folders (those of the image `root` when given), with its
// description, schedule, next run (days off left out), last run, usual duration and
// whether a run goes on now; sorted by next run, jobs without one last. With `json`, the
// array the README's "Scheduling" describes. 0; 1 when the history cannot be read.
int JobsCommand(bool json, const std::string& root);

}  // namespace jr
