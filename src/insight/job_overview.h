#pragma once
// What the run history says of each job at a glance: its last run, how long its runs
// usually take and whether one goes on now.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "store/run_history.h"

namespace jr {

struct JobOverview {
  std::string job_file;  // absolute
  // The newest run that ran the job and ended (one that started nothing does not count).
  std::optional<RunSummary> last;
  // The median duration of the newest kUsualDurationRuns such runs, reruns left out.
  std::optional<std::chrono::milliseconds> usual;
  bool running = false;
};

// The job's overview from its runs, newest first.
JobOverview JobOverviewOf(std::string job_file, const std::vector<RunSummary>& runs, bool running);

// The overviews of every job file with runs in the history at `database` and of
// `more_job_files` (absolute names), each once, in name order. A missing database holds
// no runs.
Result<std::vector<JobOverview>> ReadJobOverviews(const std::string& database,
                                                  const std::vector<std::string>& more_job_files);

}  // namespace jr
