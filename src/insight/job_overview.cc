#include "insight/job_overview.h"

#include <algorithm>
#include <set>

#include "insight/runs_in_progress.h"
#include "insight/usual_durations.h"

namespace jr {

using std::chrono::milliseconds;

JobOverview JobOverviewOf(std::string job_file, const std::vector<RunSummary>& runs, bool running) {
  JobOverview overview{std::move(job_file), std::nullopt, std::nullopt, running};
  std::vector<milliseconds> durations;
  for (const RunSummary& run : runs) {
    if (!run.end || StartedNothing(run.status)) continue;
    if (!overview.last) overview.last = run;
    if (!run.rerun_of.empty() || durations.size() == kUsualDurationRuns) continue;
    durations.push_back(std::chrono::duration_cast<milliseconds>(*run.end - run.start));
  }
  if (!durations.empty()) overview.usual = Median(std::move(durations));
  return overview;
}

Result<std::vector<JobOverview>> ReadJobOverviews(const std::string& database,
                                                  const std::vector<std::string>& more_job_files) {
  std::set<std::string> files(more_job_files.begin(), more_job_files.end());
  Result<std::unique_ptr<RunHistory>> history = RunHistory::OpenForReading(database);
  if (!history.ok()) return history.status;
  if (history.value) {
    Result<std::vector<std::string>> recorded = history.value->JobFiles();
    if (!recorded.ok()) return recorded.status;
    files.insert(recorded.value.begin(), recorded.value.end());
  }
  Result<std::vector<RunInProgress>> live = RunsInProgress(database, std::nullopt);
  if (!live.ok()) return live.status;
  std::vector<JobOverview> overviews;
  for (const std::string& file : files) {
    std::vector<RunSummary> runs;
    if (history.value) {
      Result<std::vector<RunSummary>> recent =
          history.value->RecentRuns(file, kUsualDurationLookBack);
      if (!recent.ok()) return recent.status;
      runs = std::move(recent.value);
    }
    const bool running =
        std::any_of(live.value.begin(), live.value.end(),
                    [&](const RunInProgress& run) { return run.run.job_file == file; });
    overviews.push_back(JobOverviewOf(file, runs, running));
  }
  return overviews;
}

}  // namespace jr
