#include "model/job.h"

#include <set>

#include "model/job_line.h"

namespace jr {

CheckedJob CheckJob(const JobDocument& job) {
  CheckedJob checked;
  JobSettings& settings = checked.settings;
  std::vector<std::string>& faults = checked.faults;

  if (const MaxParallelResult maximum = ParseMaxParallel(job.MaxParallel); maximum.ok()) {
    settings.maximum = maximum.value;
  } else {
    faults.push_back("the maximum number of parallel job lines \"" + job.MaxParallel +
                     "\" is not a whole number from " + std::to_string(kLowestMaxParallel) +
                     " to " + std::to_string(kHighestMaxParallel));
  }
  if (const TimeLimitResult limit = ParseTimeLimit(job.JobTimeLimit); limit.ok()) {
    settings.time_limit = limit.seconds;
  } else {
    faults.push_back(TimeLimitFaultText("job's time limit", job.JobTimeLimit));
  }
  for (int row = 0; row < job.table.LineCount(); ++row) {
    const std::string limit = job.table.Text(kColTimeLimit, row);
    if (ParseTimeLimit(limit).ok()) continue;
    faults.push_back(
        TimeLimitFaultText("time limit of job line " + job.table.Text(kColNumber, row), limit));
  }
  if (const Result<OverlapPolicy> overlap = ParseOverlap(job.Overlap); overlap.ok()) {
    settings.overlap = overlap.value;
  } else {
    faults.push_back(overlap.message());
  }
  if (Result<std::vector<std::string>> mail = ParseNotifyMail(job.NotifyMail); mail.ok()) {
    settings.notify_mail = std::move(mail.value);
  } else {
    faults.push_back(mail.message());
  }
  if (const Status webhook = CheckNotifyWebhook(job.NotifyWebhook); webhook.ok()) {
    settings.notify_webhook = job.NotifyWebhook;
  } else {
    faults.push_back(webhook.message);
  }
  if (const Result<NotifyWhen> on = ParseNotifyOn(job.NotifyOn); on.ok()) {
    settings.notify_on = on.value;
  } else {
    faults.push_back(on.message());
  }
  // A line the run takes must read whole: a list entry that names no line would stop the
  // run halfway, when the scheduler reaches it. A time limit that does not read is named
  // above already.
  std::set<int32_t> taken;
  for (const JobLineRow& row : ReadJobLineRows(job.table, job.table.LineCount())) {
    if (!row.active || !row.number || !taken.insert(*row.number).second || row.line.ok()) continue;
    if (!ParseTimeLimit(job.table.Text(kColTimeLimit, row.row)).ok()) continue;
    faults.push_back(row.line.message());
  }
  return checked;
}

}  // namespace jr
