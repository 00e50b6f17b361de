#pragma once
// Running one job from start to end: naming the run, creating its folder, preparing the
// job lines, scheduling them and writing the reports. Front ends start a run through
// RunSession, which surrounds this one with the job's checks, its lock and its watchers.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/scheduler.h"
#include "jobfile/job_file.h"
#include "model/job_line_table.h"
#include "model/run_env.h"
#include "notify/notices.h"
#include "report/generate_reports.h"
#include "store/run_history.h"
#include "store/run_lock_holder.h"

namespace jr {

// The earlier run a rerun does again, as the run history holds it.
struct RerunBasis {
  std::string run_id;
  std::vector<RunLineRecord> lines;
  // The job file is no longer the one that run read (its SHA-256 differs).
  bool job_changed = false;
  // The lines that wait for a line run again are run again too (see PlanRerun).
  bool downstream = false;
};

// Run `run_id` of `job_file` from the run history database `database`. Fails, with the
// message naming the cause, when the database holds no such run of that job file or
// cannot be read.
Result<RerunBasis> ReadRerunBasis(const std::string& database, const std::string& job_file,
                                  const std::string& run_id);

// Why a rerun of a changed job file is refused, or what the warning says when it is run.
std::string JobChangedText(const std::string& job_file, const std::string& run_id);

struct RunResult;

// Hears the stages of a run beyond its lines: what watches a run from outside (the metrics
// file, the longer-than-usual watch) without the run knowing it.
class RunWatcher {
 public:
  virtual ~RunWatcher() = default;
  // The lines are prepared and the run's row begun in `history` (null when the run is not
  // kept); no line has started yet. The lines stay until RunEnded.
  virtual void RunBegan(const RunResult& /*run*/, TimePoint /*started*/, RunHistory* /*history*/,
                        const RunLines& /*lines*/) {}
  // The reports are written; `over` holds the lines a rerun left out.
  virtual void RunEnded(const RunResult& /*run*/, TimePoint /*started*/, const RunLines& /*lines*/,
                        const std::vector<int32_t>& /*over*/) {}
};

struct RunRequest {
  std::string job_file;  // the job file's name, when the job came from one
  std::string job_description;
  std::string admin_report;     // the job's LogFile
  std::string user_report;      // the job's UserFile
  std::string log_file_folder;  // the job's TempLogDir, as typed
  bool log_to_event_log = false;
  const JobLineTable* table = nullptr;
  int row_count = 0;
  bool from_command_line = false;
  int32_t maximum = 99;
  int32_t job_time_limit = 0;  // seconds; 0 for none
  // The database of the run history the run is kept in (empty: the run is not kept).
  std::string history_database;
  // Set for a rerun: the lines that succeeded in that run are not run again.
  std::optional<RerunBasis> rerun;
  // The job's lock the caller took for the run (see TakeJobLock), or null: the run names
  // itself in it as soon as its id is known.
  RunLock* lock = nullptr;
  // Who is told about the run, and when.
  NoticeTargets notify;
  // Told of the run's stages, in this order.
  std::vector<RunWatcher*> watchers;
  // Called once the run's lines are made from the table, which the run reads no more: a
  // caller that owns a large job may let its lines go then.
  std::function<void()> lines_prepared;
};

struct RunResult {
  std::string run_timestamp;  // yyyymmdd_hhmmss
  std::string run_name;       // "SorelJob~" + number
  std::string run_folder;     // log-file folder + separator + timestamp + separator
  TimePoint start_time{};     // taken after the lines were prepared
  std::string run_id;         // in the run history; empty when the run is not kept
  int line_count = 0;         // job lines prepared from the table
  SchedulerOutcome scheduler;
  ReportOutcome report;
  // Not empty when the run was refused before anything started (no run folder, no
  // program, no report): the message that says why.
  std::string refused;
};

// The run of a loaded job as the window and command-line mode start it: its header texts
// unchanged, its whole table, and the settings read from it (see CheckJob).
RunRequest RunRequestFor(const JobDocument& job, const JobSettings& settings,
                         bool from_command_line);

// The run as its "finished" notice tells it, ended with `error_level`.
FinishedRun FinishedRunOf(const RunRequest& request, const RunResult& result,
                          ErrorLevel error_level, std::vector<LineTrouble> troubles);

// What the user is told when the job's time limit of `seconds` ended the run.
std::string JobTimeLimitText(int32_t seconds);

// What the user is told when a job line's time limit was reached.
std::string LineTimeLimitText(const RunLine& line);

// What the user is told when a job line's program could not be started, `failure` saying
// which and why (see JobLineStart).
std::string LineStartFailedText(const RunLine& line, std::string_view failure);

// Keeps in the run history a run that started nothing: a row without lines whose status
// is `status`, RunStatus::kRefused when another run of the job held its lock,
// RunStatus::kDayOff on a day off of the job's calendar.
Status RecordEmptyRun(const RunRequest& request, RunEnv& env, RunStatus status);

// The run name for a random fraction in [0, 1).
std::string RunNameFor(double fraction);

// Why the job cannot be run because a name the programs get on their command lines holds
// a double quote (which would end the quoted argument early); empty when it can. Names
// the value and where it comes from.
std::string UnpassableName(const RunRequest& request);

// Runs the job, unless UnpassableName or PrepareJobLines refuses it (then only `refused` is
// set), paused and stopped by `control`, every event told to each of `observers` and, when
// the run is kept, to the run history. Steps that fail are passed over and the run goes on
// with what it has; what went wrong is told through observers.Warning. Never throws. The
// checks before a run, its lock and what watches it are the run session's (RunSession).
RunResult RunJob(const RunRequest& request, RunEnv& env, RunControl& control,
                 const RunObservers& observers);

}  // namespace jr
