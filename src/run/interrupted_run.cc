#include "run/interrupted_run.h"

#include <algorithm>

#include "insight/runs_in_progress.h"
#include "jobfile/job_file.h"
#include "notify/notices.h"
#include "notify/run_metrics.h"
#include "platform/file_digest.h"
#include "store/run_lock_holder.h"

namespace jr {
namespace {

// The run as its finished notice tells it: the job as its file reads now (the run's own row
// when it no longer reads), each line that was cut short a trouble of its own.
FinishedRun NoticeRunOf(const RunSummary& run, const std::vector<RunLineRecord>& lines,
                        const JobDocument* job, const std::string& database) {
  FinishedRun finished;
  finished.job_file = run.job_file;
  finished.description = job ? job->Description : run.description;
  finished.admin_report = run.admin_report;
  finished.user_report = run.user_report;
  finished.run_folder = run.run_folder;
  finished.run_id = run.run_id;
  finished.history_database = database;
  finished.error_level = ErrorLevel::kFatal;
  finished.interrupted = true;
  const std::map<int32_t, int32_t> links = RepeatLinks(lines);
  for (const RunLineRecord& line : lines) {
    if (line.outcome != LineOutcome::kInterrupted && line.outcome != LineOutcome::kFailed) {
      continue;
    }
    LineTrouble trouble;
    trouble.number = line.line;
    if (line.repeat_of) trouble.repeat_of = OriginOf(line.line, links);
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

void InterruptionGuard::RunBegan(const RunResult& run, TimePoint, RunHistory*) {
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
  Result<std::unique_ptr<RunHistory>> history = RunHistory::OpenForWriting(database);
  if (!history.ok()) return history.status;
  Result<bool> marked = history.value->MarkInterrupted(run_id, end);
  if (!marked.ok() || !marked.value) return marked;
  Result<std::optional<RunSummary>> run = history.value->FindRun(job_file, run_id);
  if (!run.ok()) return run.status;
  // Another job's run by that id: it was marked, but is not this job's to tell of.
  if (!run.value) return true;
  Result<std::vector<std::vector<RunLineRecord>>> lines = history.value->Lines({run_id});
  if (!lines.ok()) return lines.status;

  JobDocument job;
  const bool read = ReadJobFile(job_file, job).status == ReadStatus::kLoaded;
  if (std::string folder = MetricsFolder(env.registry); !folder.empty()) {
    bool held = false;
    if (Result<std::string> lock = RunLockPath(database, job_file); lock.ok()) {
      Result<std::optional<RunLockHolder>> holder = RunLockHolderOf(lock.value);
      held = holder.ok() && holder.value;
    }
    if (!held) {
      const std::string text =
          MetricsText(job_file, false, LastRunFromHistory(*history.value, job_file));
      if (Status written = WriteMetricsFile(folder, job_file, text); !written.ok()) {
        warn("the metrics were not written: " + written.message);
      }
    }
  }
  if (read) {
    const CheckedJob checked = CheckJob(job);
    const RunRequest request = RunRequestFor(job, checked.settings, true);
    SendFinishedNotice(request.notify, NoticeRunOf(*run.value, lines.value.front(), &job, database),
                       env, warn);
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
