#include "run/interrupted_run.h"

#include <algorithm>

#include "insight/runs_in_progress.h"
#include "jobfile/job_file.h"
#include "notify/notices.h"
#include "notify/run_metrics.h"
#include "platform/file_digest.h"
#include "report/generate_reports.h"
#include "report/win_nt_event_log.h"
#include "store/run_lock_holder.h"

namespace jr {
namespace {

// The run as its finished notice tells it, with each line that failed or was cut short.
FinishedRun NoticeRunOf(const RunSummary& run, const std::vector<RunLineRecord>& lines,
                        const std::string& description, const std::string& database) {
  FinishedRun finished;
  finished.job_file = run.job_file;
  finished.description = description;
  finished.admin_report = run.admin_report;
  finished.user_report = run.user_report;
  finished.run_folder = run.run_folder;
  finished.run_id = run.run_id;
  finished.history_database = database;
  finished.error_level = ErrorLevel::kFatal;
  finished.interrupted = true;
  // What stands at the reports' places is an earlier run's: it is neither attached nor taken
  // for this run's.
  for (const auto& [name, report] :
       {std::pair{"administrators'", run.admin_report}, {"end users'", run.user_report}}) {
    finished.missing_reports.push_back(MissingReportText(name, report, "the run was interrupted"));
  }
  for (const RunLineRecord& line : lines) {
    if (line.outcome != LineOutcome::kInterrupted && line.outcome != LineOutcome::kFailed) {
      continue;
    }
    LineTrouble trouble;
    trouble.number = line.line;
    trouble.repeat_of = line.repeat_of.value_or(0);
    trouble.description = line.description;
    trouble.what = LineOutcomeWord(line.outcome);
    finished.troubles.push_back(std::move(trouble));
  }
  return finished;
}

class NoMessages final : public Notifier {
 public:
  void ShowMessage(std::string_view, std::string_view, MessageIcon) override {}
};

// The last moment the run's rows recorded: as near to its runner's end as they tell.
TimePoint LastRecorded(const RunInProgress& dead) {
  TimePoint last = dead.run.start;
  for (const RunLineRecord& line : dead.lines) {
    for (const std::optional<TimePoint>& time : {line.start, line.end}) {
      if (time) last = std::max(last, *time);
    }
  }
  return last;
}

}  // namespace

std::vector<std::string> InterruptedRunArguments(const std::string& run_id,
                                                 const std::string& job_file) {
  return {"--interrupted", run_id, AbsoluteFileName(job_file)};
}

void InterruptionGuard::RunBegan(const RunResult& run, TimePoint, RunHistory*, const RunLines&) {
  if (!run.run_id.empty()) {
    launcher_.SetRunnerGoneArguments(InterruptedRunArguments(run.run_id, job_file_));
  }
}

void InterruptionGuard::RunEnded(const RunResult&, TimePoint, const RunLines&,
                                 const std::vector<int32_t>&) {
  launcher_.SetRunnerGoneArguments({});
}

Result<bool> ReportInterruptedRun(const std::string& database, const std::string& job_file,
                                  const std::string& run_id, TimePoint end, RunEnv& env,
                                  const Warn& warn) {
  std::optional<RunLockHolder> holder;  // who holds the job's lock now
  if (Result<std::string> lock = RunLockPath(database, job_file); lock.ok()) {
    if (Result<std::optional<RunLockHolder>> of = RunLockHolderOf(lock.value); of.ok()) {
      holder = std::move(of.value);
    }
  }
  // A run whose runner holds the job's lock goes on, whoever says otherwise.
  if (holder && holder->run_id == run_id) return false;
  Result<std::unique_ptr<RunHistory>> history = RunHistory::OpenForWriting(database);
  if (!history.ok()) return history.status;
  Result<std::optional<RunSummary>> run = history.value->FindRun(job_file, run_id);
  if (!run.ok()) return run.status;
  if (!run.value) return false;
  Result<bool> marked = history.value->MarkInterrupted(run_id, end);
  if (!marked.ok() || !marked.value) return marked;
  Result<std::vector<std::vector<RunLineRecord>>> lines = history.value->Lines({run_id});
  if (!lines.ok()) return lines.status;

  // A run of the job going on keeps the metrics file itself.
  if (std::string folder = MetricsFolder(env.registry); !folder.empty() && !holder) {
    const std::string text =
        MetricsText(job_file, false, LastRunFromHistory(*history.value, job_file));
    if (Status written = WriteMetricsFile(folder, job_file, text); !written.ok()) {
      warn("the metrics were not written: " + written.message);
    }
  }
  // Those the job file names now are told, and its event log, as at the end of a run; a file
  // that no longer reads names nobody.
  JobDocument job;
  if (ReadJobFile(job_file, job).status == ReadStatus::kLoaded) {
    if (job.LogToEventLog) {
      WriteEventLogEntry(env.event_log, env.notifier,
                         "\r\n\r\nJob '" + job.Description + "' " + kInterruptedText,
                         kEventTypeError, 1);
    }
    const RunRequest request = RunRequestFor(job, CheckJob(job).settings, true);
    SendFinishedNotice(request.notify,
                       NoticeRunOf(*run.value, lines.value.front(), job.Description, database), env,
                       warn);
  }
  return true;
}

void ReportDeadRuns(const std::string& database, const std::optional<std::string>& job_file,
                    RunEnv& env, const Warn& warn) {
  Result<std::vector<RunInProgress>> dead = DeadRuns(database, job_file);
  if (!dead.ok()) return warn("the runs whose runner ended were not looked for: " + dead.message());
  for (const RunInProgress& run : dead.value) {
    Result<bool> reported = ReportInterruptedRun(database, run.run.job_file, run.run.run_id,
                                                 LastRecorded(run), env, warn);
    if (!reported.ok()) {
      warn("run " + run.run.run_id + " of \"" + run.run.job_file +
           "\" was interrupted, and could not be marked so: " + reported.message());
    } else if (reported.value) {
      warn("run " + run.run.run_id + " of \"" + run.run.job_file +
           "\" was interrupted: its runner ended without ending it");
    }
  }
}

Result<std::unique_ptr<SystemEnv>> ReportingEnv() {
  static NoMessages quiet;
  return SystemEnv::Make(quiet);
}

}  // namespace jr
