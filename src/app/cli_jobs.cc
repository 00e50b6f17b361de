#include "app/cli_jobs.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>

#include "app/cli.h"
#include "app/cli_check.h"
#include "insight/job_overview.h"
#include "jobfile/job_file.h"
#include "model/time_text.h"
#include "platform/file_digest.h"
#include "platform/metadata_location.h"
#include "run/job_schedule.h"

namespace jr {
namespace {

using Json = nlohmann::ordered_json;
using std::chrono::milliseconds;

struct JobRow {
  JobOverview overview;
  std::optional<std::string> description, schedule, timer;
  std::optional<std::time_t> next;
};

int64_t WholeSeconds(milliseconds duration) {
  return std::chrono::duration_cast<std::chrono::seconds>(duration).count();
}

template <typename T, typename F>
Json OrNull(const std::optional<T>& value, F make) {
  return value ? Json(make(*value)) : Json(nullptr);
}

Json RowJson(const JobRow& row) {
  const std::optional<RunSummary>& last = row.overview.last;
  Json last_run = nullptr;
  if (last) {
    last_run = {{"run_id", last->run_id},
                {"start", IsoUtcText(last->start)},
                {"outcome", RunOutcomeWord(last->status)},
                {"duration_s",
                 WholeSeconds(std::chrono::duration_cast<milliseconds>(*last->end - last->start))}};
  }
  auto text = [](const std::string& value) { return value; };
  return {{"job_file", row.overview.job_file},
          {"description", OrNull(row.description, text)},
          {"schedule", OrNull(row.schedule, text)},
          {"timer", OrNull(row.timer, text)},
          {"next_run", OrNull(row.next, IsoLocalText)},
          {"last_run", last_run},
          {"usual_duration_s", OrNull(row.overview.usual, WholeSeconds)},
          {"running", row.overview.running}};
}

void PrintRow(const JobRow& row) {
  const std::optional<RunSummary>& last = row.overview.last;
  const std::string took =
      last ? DurationText(std::chrono::duration_cast<milliseconds>(*last->end - last->start)) : "-";
  std::printf(
      "%-20s  %-24s  %-20s  %-11s  %8s  %8s  %-7s  %s%s\n",
      row.next ? FormatTimeText(std::chrono::system_clock::from_time_t(*row.next)).c_str() : "-",
      row.schedule.value_or("-").c_str(), last ? FormatTimeText(last->start).c_str() : "-",
      last ? RunOutcomeWord(last->status) : "-", took.c_str(),
      row.overview.usual ? DurationText(*row.overview.usual).c_str() : "-",
      row.overview.running ? "running" : "-", row.overview.job_file.c_str(),
      row.description ? (" (" + *row.description + ")").c_str() : "");
}

}  // namespace

int JobsCommand(bool json, const std::string& root) {
  std::map<std::string, const InstalledTimer*> timers;
  const std::vector<InstalledTimer> installed = InstalledTimers(UnitFoldersToList(root));
  std::vector<std::string> timer_jobs;
  for (const InstalledTimer& timer : installed) {
    if (timer.job_file.empty()) continue;
    const std::string job = AbsoluteFileName(timer.job_file);
    timers.emplace(job, &timer);
    timer_jobs.push_back(job);
  }
  Result<std::vector<JobOverview>> overviews =
      ReadJobOverviews(SystemMetadataDatabasePath(), timer_jobs);
  if (!overviews.ok()) {
    std::fprintf(stderr, "jobrunner: error: %s\n", overviews.message().c_str());
    return kExitErrors;
  }
  std::vector<JobRow> rows;
  for (JobOverview& overview : overviews.value) {
    JobRow row{std::move(overview), {}, {}, {}, {}};
    const auto timer = timers.find(row.overview.job_file);
    if (timer != timers.end()) {
      row.timer = timer->second->place.folder + "/" + timer->second->unit;
      row.schedule = timer->second->schedule;
    }
    JobDocument job;
    job.FileName = row.overview.job_file;
    if (ReadJobFileHeader(row.overview.job_file, job).status == ReadStatus::kLoaded) {
      row.description = job.Description;
      // The installed timer is what runs the job; the file's schedule only without one.
      if (!row.schedule && !job.schedule.Schedule.empty()) row.schedule = job.schedule.Schedule;
    }
    if (row.schedule) {
      job.schedule.Schedule = *row.schedule;
      const ScheduleLook look = LookAhead(job, 1);
      if (const std::vector<PlannedRun>& runs = look.runs; !runs.empty() && !runs.back().day_off) {
        row.next = runs.back().time;
      }
    }
    rows.push_back(std::move(row));
  }
  std::stable_sort(rows.begin(), rows.end(), [](const JobRow& a, const JobRow& b) {
    if (a.next && b.next) return *a.next < *b.next;
    return a.next.has_value() && !b.next;
  });
  if (json) {
    Json out = Json::array();
    for (const JobRow& row : rows) out.push_back(RowJson(row));
    std::printf("%s\n", out.dump(2).c_str());
  } else {
    std::printf("%-20s  %-24s  %-20s  %-11s  %8s  %8s  %-7s  %s\n", "NEXT RUN", "SCHEDULE",
                "LAST RUN", "OUTCOME", "TOOK", "USUAL", "NOW", "JOB FILE");
    for (const JobRow& row : rows) PrintRow(row);
  }
  return std::fflush(stdout) == 0 ? kExitNoErrors : kExitCannotWriteOutput;
}

}  // namespace jr
