#pragma once
// A job: its header and its job-line table as the job file and the editor hold them (text,
// so that a file is written back as it was read), and the settings a run takes from them,
// read by one function that also words every fault that keeps the job from running.

#include <cstdint>
#include <string>
#include <vector>

#include "model/job_line_table.h"
#include "model/job_rules.h"
#include "model/notify_rules.h"
#include "model/schedule.h"

namespace jr {

// The job as the editor holds it.
struct JobDocument {
  std::string Description;
  std::string LogFile;     // administrators' report file
  std::string UserFile;    // end users' report file
  std::string TempLogDir;  // log-file folder
  bool LogToEventLog = false;
  std::string MaxParallel = "99";
  // Whole seconds as typed; empty: no limit (and no JobTimeLimit attribute in the file).
  std::string JobTimeLimit;
  // "refuse", "wait" or "allow" as the file holds it (see ParseOverlap); empty or "refuse":
  // no Overlap attribute in the file.
  std::string Overlap;
  // Who is told about the job's runs, as the file holds them; empty: not in the file.
  std::string NotifyMail;     // mail addresses separated by commas
  std::string NotifyWebhook;  // an http:// or https:// URL
  std::string NotifyOn;       // "failure" (also when empty) or "always"
  // When the job runs and which days it keeps off; not in the file when empty.
  ScheduleAttributes schedule;
  JobLineTable table;
  // The file the job was read from or is saved as; not part of what a file holds.
  std::string FileName;

  friend bool operator==(const JobDocument&, const JobDocument&) = default;
};

// The header's settings as a run uses them.
struct JobSettings {
  int32_t maximum = kHighestMaxParallel;  // job lines running at the same time
  int32_t time_limit = 0;                 // the whole run's, in seconds; 0: none
  OverlapPolicy overlap = OverlapPolicy::kRefuse;
  std::vector<std::string> notify_mail;  // the addresses, blanks around them taken off
  std::string notify_webhook;            // empty: none
  NotifyWhen notify_on = NotifyWhen::kFailure;
};

struct CheckedJob {
  JobSettings settings;
  // Every fault that keeps the job from running, in this order: the maximum, the job's time
  // limit, the job lines' time limits, the overlap policy, the notices, the job lines the run
  // takes that do not read whole (a list entry, a repeat setting). Each is a clause that
  // names the setting or the job line and the value, such as `the maximum
  // number of parallel job lines "1x7" is not a whole number from 1 to 99`. Each front end
  // frames it (the file's name before it, what follows after it) but never words it anew.
  std::vector<std::string> faults;
  bool ok() const { return faults.empty(); }
};

// Reads the settings of `job` and finds every fault; a setting with a fault keeps its
// default in `settings`.
CheckedJob CheckJob(const JobDocument& job);

}  // namespace jr
