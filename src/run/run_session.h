#pragma once
// One run of a loaded job, whichever front end starts it: the job's checks, the preflight,
// the job's lock, the run history, the run and its reports, the final status, the notices,
// the metrics and what watches the run while it goes on (its expected end, the moment it
// takes longer than usual). The command line and the window differ only in their observer
// (what they show of the run) and in the questions they ask before they start one.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/run_control.h"
#include "model/error_level.h"
#include "model/job.h"
#include "model/run_env.h"
#include "notify/notices.h"
#include "run/run_job.h"
#include "store/run_lock_holder.h"

namespace jr {

struct RunSessionRequest {
  // The job as loaded; its FileName names its file (empty for a job never saved).
  JobDocument job;
  // Set for a rerun: the earlier run whose successful lines are not run again.
  std::optional<RerunBasis> rerun;
  bool from_command_line = false;
  // The run history's database, beside which the job's lock lies.
  std::string history_database;
  // Whether the run may wait for another run of the job, as the overlap policy "wait" asks.
  // When not, such a job is refused while the other run goes on, as "refuse" would.
  bool may_wait = true;
  // What the reading of the job's file passed over (see ReadingWarnings), each a clause the
  // session says as a warning before anything else.
  std::vector<std::string> file_warnings;
  // Runs the job also on a day off of its calendar (the window asks before).
  bool ignore_calendar = false;
  // See RunRequest::lines_prepared: the command line lets the job's lines go then, so that
  // a run of many thousand lines does not keep them twice.
  std::function<void()> lines_prepared;
};

// The warnings a session of `job` says before anything else, each a clause: the
// `file_warnings` of its file's reading, then what the job-line lists of the lines a run
// takes pass over (see JobLineListWarnings), then its lines that hold a password in clear
// text (HoldsClearPassword), then the faults of its schedule (ScheduleFaults, and what
// systemd says against the expression). `--check` names the same.
std::vector<std::string> JobWarnings(const JobDocument& job,
                                     const std::vector<std::string>& file_warnings);

// Why a session did not run the job. Each front end frames the text its own way.
struct Refusal {
  enum class Kind {
    kFault,      // a fault of the job (see CheckJob)
    kPreflight,  // something the run needs is not there (see PreflightProblems)
    kSetup,      // this machine's run environment cannot be made (a wrong launcher setting)
    kOther,      // a whole clause that says the job was not run
  };
  Kind kind = Kind::kOther;
  std::string text;
};

struct RunSessionOutcome {
  enum class End {
    kRan,      // the job ran: `level` is its final status
    kRefused,  // nothing started: `refusals` say why
    kBusy,     // another run of the job goes on and the job's policy refuses a second
    kStopped,  // a stop came while the run waited for another run's end
    kDayOff,   // nothing started: today is a day off of the job's calendar (`day_off`)
  };
  End end = End::kRefused;
  std::vector<Refusal> refusals;
  std::optional<RunLockHolder> busy;  // for kBusy: the run that goes on
  // For kDayOff: "today (2026-12-24) is a day off in CALENDAR".
  std::string day_off;
  RunResult run;
  // The run's final status: its reports' level, at least kErrors when a report was not
  // written, kFatal when a stop came (also while the reports were being written).
  ErrorLevel level = ErrorLevel::kNoErrors;
  // A stop came after the lines had ended, while the reports were being written.
  bool stopped_during_reports = false;
  int32_t job_time_limit = 0;  // seconds
  // For kRan: the run as its notice tells it, with the lines that went wrong.
  FinishedRun finished;
};

// What a front end shows of a session: the run's events (see RunObserver), and a few of the
// session's own.
class RunSessionObserver : public RunObserver {
 public:
  // The job's policy waits for another run of the job to end, which `holder` names.
  virtual void WaitingFor(const RunLockHolder& /*holder*/) {}
  // The run is over and its reports are written; the notices go out after this.
  virtual void RunFinished(const RunSessionOutcome& /*outcome*/) {}
};

// Runs the job of `request` on `env`, paused and stopped by `control`. Never throws; every
// outcome is told in the result, and what goes wrong on the way without stopping the run
// goes to `observer` as a warning.
RunSessionOutcome RunSession(const RunSessionRequest& request, RunEnv& env, RunControl& control,
                             RunSessionObserver& observer);

// The same on this machine: its registry, its launcher as the registry's launcher setting
// asks for it (a setting that cannot be used refuses the run), its event log and metadata
// store; `stop` is asked whether the run is to stop, and `notifier` shows the engine's
// messages.
RunSessionOutcome RunSessionOnThisMachine(const RunSessionRequest& request, Notifier& notifier,
                                          const std::function<bool()>& stop,
                                          RunSessionObserver& observer);

}  // namespace jr
