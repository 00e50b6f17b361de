#include "run/run_job.h"

#include <random>
#include <utility>

#include "engine/command_line_builder.h"
#include "launch/slurm_launcher.h"
#include "model/job_rules.h"
#include "model/notify_rules.h"
#include "model/time_text.h"
#include "platform/config.h"
#include "platform/file_digest.h"
#include "run/job_lock.h"
#include "run/rerun_plan.h"
#include "run/run_record.h"

namespace jr {
namespace {

// Seeded anew for every run from the clock and the system's entropy source, so that two
// runs started in the same second (which share a run folder) get different run names.
double RandomFraction(const Clock& clock) {
  std::random_device device;
  std::seed_seq seed{static_cast<uint64_t>(clock.Now().time_since_epoch().count()),
                     static_cast<uint64_t>(device()), static_cast<uint64_t>(device())};
  std::mt19937_64 generator(seed);
  return std::uniform_real_distribution<double>(0.0, 1.0)(generator);
}

// The run's row in the run history as it starts, with the job file's `digest`.
RunStart HistoryStart(const RunRequest& request, const std::string& description,
                      const RunResult& result, TimePoint started, RunEnv& env,
                      const RunObservers& observers, const Result<std::string>& digest) {
  RunStart start;
  start.run_id = result.run_timestamp + "_" + result.run_name;
  start.job_file = AbsoluteFileName(request.job_file);
  if (!digest.ok()) observers.Warning(digest.message());
  start.job_sha256 = digest.value;
  start.description = description;
  if (request.rerun) start.rerun_of = request.rerun->run_id;
  start.host = HostName();
  const Result<LauncherSettings> settings = ReadLauncherSettings(env.registry);
  start.launcher = !settings.ok()                                          ? "unusable"
                   : settings.value.type == LauncherSettings::Type::kSlurm ? "slurm"
                                                                           : "local";
  start.run_folder = result.run_folder;
  start.admin_report = request.admin_report;
  start.user_report = request.user_report;
  start.start = started;
  return start;
}

// Names the run in the job's lock, for a run that finds the lock taken.
void NameRunInLock(const RunRequest& request, const std::string& run_id, TimePoint started,
                   const RunObservers& observers) {
  if (request.lock == nullptr || !request.lock->held()) return;
  const Status named =
      SetRunLockHolder(*request.lock, ThisRunAsHolder(run_id, started, request.job_file));
  if (!named.ok()) observers.Warning(named.message);
}

}  // namespace

Status RecordEmptyRun(const RunRequest& request, RunEnv& env, RunStatus status) {
  Result<std::unique_ptr<RunHistory>> history =
      RunHistory::OpenForWriting(request.history_database);
  if (!history.ok()) return history.status;
  RunResult run;
  const TimePoint now = env.clock.Now();
  run.run_timestamp = FormatRunTimestamp(now);
  run.run_name = RunNameFor(RandomFraction(env.clock));
  Result<std::string> id = history.value->BeginRun(
      HistoryStart(request, request.job_description, run, now, env, RunObservers{},
                   JobFileContentSha256(request.job_file)));
  if (!id.ok()) return id.status;
  RunEnd end;
  end.end = now;
  end.status = status;
  return history.value->EndRun(id.value, end);
}

Result<RerunBasis> ReadRerunBasis(const std::string& database, const std::string& job_file,
                                  const std::string& run_id) {
  const std::string job = AbsoluteFileName(job_file);
  Result<std::unique_ptr<RunHistory>> history = RunHistory::OpenForReading(database);
  if (!history.ok()) return history.status;
  Result<std::optional<RunSummary>> run;
  if (history.value) run = history.value->FindRun(job, run_id);
  if (!run.ok()) return run.status;
  if (!run.value) {
    return Status::Failed("\"" + run_id + "\" is no recorded run of the job file \"" + job +
                          "\"; see jobrunner --history");
  }
  if (StartedNothing(run.value->status)) {
    return Status::Failed("run \"" + run_id + "\" " +
                          (run.value->status == RunStatus::kRefused
                               ? "was refused, as another run of the job went on"
                               : "fell on a day off") +
                          "; it ran no job line to run again");
  }
  Result<std::vector<std::vector<RunLineRecord>>> lines = history.value->Lines({run_id});
  if (!lines.ok()) return lines.status;
  const Result<std::string> digest = JobFileContentSha256(job_file);
  if (!digest.ok()) return digest.status;
  RerunBasis basis;
  basis.run_id = run_id;
  basis.lines = std::move(lines.value.front());
  // Runs kept before the Exportdate value was left out hold the digest of the whole file.
  basis.job_changed =
      digest.value != run.value->job_sha256 && FileSha256(job_file).value != run.value->job_sha256;
  return basis;
}

std::string JobChangedText(const std::string& job_file, const std::string& run_id) {
  return "the job file \"" + job_file + "\" changed since run " + run_id +
         " (its SHA-256 differs), so the lines that succeeded then may not be those of the "
         "job now";
}

RunRequest RunRequestFor(const JobDocument& job, const JobSettings& settings,
                         bool from_command_line) {
  RunRequest request;
  request.job_description = job.Description;
  request.admin_report = job.LogFile;
  request.user_report = job.UserFile;
  request.log_file_folder = job.TempLogDir;
  request.log_to_event_log = job.LogToEventLog;
  request.table = &job.table;
  request.row_count = job.table.LineCount();
  request.from_command_line = from_command_line;
  request.maximum = settings.maximum;
  request.job_time_limit = settings.time_limit;
  request.job_file = job.FileName;
  request.notify = {settings.notify_mail, settings.notify_webhook,
                    settings.notify_on == NotifyWhen::kAlways};
  return request;
}

FinishedRun FinishedRunOf(const RunRequest& request, const RunResult& result,
                          ErrorLevel error_level, std::vector<LineTrouble> troubles) {
  FinishedRun run;
  run.job_file = request.job_file;
  run.description = request.job_description;
  run.admin_report = request.admin_report;
  run.user_report = request.user_report;
  run.run_folder = result.run_folder;
  run.run_id = result.run_id;
  run.history_database = request.history_database;
  run.missing_reports = result.report.missing_reports;
  run.error_level = error_level;
  run.troubles = std::move(troubles);
  return run;
}

std::string JobTimeLimitText(int32_t seconds) {
  return "the job's time limit of " + std::to_string(seconds) +
         " s was reached; running job lines were ended";
}

std::string LineTimeLimitText(const RunLine& line) {
  return "job line " + std::to_string(line.JobLineNr()) + " (" + line.definition().description +
         "): time limit of " + std::to_string(line.definition().time_limit) +
         " s reached; the program was ended";
}

std::string LineStartFailedText(const RunLine& line, std::string_view failure) {
  return "job line " + std::to_string(line.JobLineNr()) + " (" + line.definition().description +
         "): " + std::string(failure);
}

std::string RunNameFor(double fraction) {
  if (!(fraction >= 0.0) || fraction >= 1.0) fraction = 0.0;
  auto number = static_cast<int64_t>(fraction * 99999.0);
  return "SorelJob~" + std::to_string(number);
}

std::string UnpassableName(const RunRequest& request) {
  // Every one of these reaches a program inside double quotes: the log-file folder in each
  // line's status and log file names, the reports in the generator's arguments.
  const std::pair<const char*, const std::string*> names[] = {
      {"job file", &request.job_file},
      {"log-file folder", &request.log_file_folder},
      {"administrators' report", &request.admin_report},
      {"end users' report", &request.user_report}};
  for (const auto& [what, value] : names) {
    if (std::string text = UnpassableFileNameText(what, *value); !text.empty()) {
      return text + "; the job was not run.";
    }
  }
  return {};
}

RunResult RunJob(const RunRequest& request, RunEnv& env, RunControl& control,
                 const RunObservers& caller_observers) {
  RunResult result;
  result.refused = UnpassableName(request);
  if (!result.refused.empty()) return result;
  JobLineTable empty;
  const JobLineTable& table = request.table != nullptr ? *request.table : empty;
  // A rerun says so wherever the run's description goes: reports, event log, history.
  std::string description = request.job_description;
  std::optional<RerunPlan> rerun;
  if (request.rerun) {
    description += " (rerun of " + request.rerun->run_id + ")";
    rerun = PlanRerun(RerunLinesOf(table, request.row_count), request.rerun->lines,
                      request.rerun->downstream);
  }
  const TimePoint started = env.clock.Now();
  result.run_timestamp = FormatRunTimestamp(started);
  result.run_name = RunNameFor(RandomFraction(env.clock));
  result.run_folder =
      request.log_file_folder + kPathSeparator + result.run_timestamp + kPathSeparator;
  NameRunInLock(request, result.run_timestamp + "_" + result.run_name, started, caller_observers);
  // Taken before the run's lines are made: the file is read whole once more, and a large
  // job's lines and its text are then not held at once.
  const Result<std::string> digest = request.history_database.empty()
                                         ? Result<std::string>{}
                                         : JobFileContentSha256(request.job_file);
  std::vector<std::string> warnings;
  Result<std::unique_ptr<RunLines>> prepared =
      PrepareJobLines(table, request.row_count, result.run_folder, result.run_name,
                      result.run_timestamp, env, &warnings);
  if (!prepared.ok()) {
    RunResult refusal;
    refusal.refused = prepared.message() + "; the job was not run.";
    return refusal;
  }
  if (request.lines_prepared) request.lines_prepared();

  // Only a run that goes ahead opens the run history.
  std::unique_ptr<RunHistory> history;
  if (!request.history_database.empty()) {
    Result<std::unique_ptr<RunHistory>> opened =
        RunHistory::OpenForWriting(request.history_database);
    if (!opened.ok()) {
      caller_observers.Warning("the run is left out of the run history: " + opened.message());
    }
    history = std::move(opened.value);
  }
  RunRecorder recorder(history.get(), caller_observers, env.clock);
  RunObservers observers{&recorder};
  observers.Add(caller_observers);

  // A log-file folder that went missing is made again (the run session has seen that it
  // can be).
  if (Status created = env.file_system.CreateFolders(result.run_folder); !created.ok()) {
    observers.Warning(created.message);
  }
  if (history) {
    recorder.Begin(HistoryStart(request, description, result, started, env, observers, digest));
    result.run_id = recorder.run_id();
    env.metadata.SetRunId(result.run_id);
    // The history adds a suffix to an id that is taken.
    if (result.run_id != result.run_timestamp + "_" + result.run_name) {
      NameRunInLock(request, result.run_id, started, observers);
    }
  }

  std::unique_ptr<RunLines> lines = std::move(prepared.value);
  for (const std::string& warning : warnings) observers.Warning(warning);
  if (!lines) lines = std::make_unique<RunLines>();
  result.line_count = lines->Count();
  if (rerun) {
    MarkRerun(*rerun, *lines);
    recorder.Prepared(*lines, rerun->over);
    observers.LinesOver(request.rerun->run_id, rerun->over);
  } else {
    recorder.Prepared(*lines);
  }

  for (RunWatcher* watcher : request.watchers) {
    watcher->RunBegan(result, started, history.get(), *lines);
  }

  result.start_time = env.clock.Now();
  result.scheduler = RunScheduler(*lines, request.maximum, env, control, observers, result.run_name,
                                  std::chrono::seconds(request.job_time_limit));
  if (result.scheduler.end == SchedulerOutcome::End::kFailure) {
    observers.Warning("the run stopped early: " + result.scheduler.failure);
  }

  ReportRequest report;
  report.job_description = description;
  report.admin_report = request.admin_report;
  report.user_report = request.user_report;
  report.run_folder = result.run_folder;
  report.log_to_event_log = request.log_to_event_log;
  report.run_name = result.run_name;
  report.start_time = result.start_time;
  // A run that was cut short, by a signal or by a failure inside the scheduler, did not
  // do what the job asked; its reports must not call it a success.
  report.interrupted = result.scheduler.end == SchedulerOutcome::End::kInterrupted ||
                       result.scheduler.end == SchedulerOutcome::End::kTimeLimit ||
                       result.scheduler.end == SchedulerOutcome::End::kFailure;
  // A stop that comes while a report generator runs ends it; one that ended the lines
  // already must not keep the reports of the stopped run from being written.
  const bool stopped_before = control.StopRequested();
  result.report = GenerateReports(
      *lines, report, env, [&control](std::chrono::milliseconds ms) { control.Pause(ms); },
      [&control, stopped_before] { return !stopped_before && control.StopRequested(); });
  recorder.End(*lines, result.report.error_level);
  const std::vector<int32_t> over = rerun ? rerun->over : std::vector<int32_t>{};
  for (RunWatcher* watcher : request.watchers) watcher->RunEnded(result, started, *lines, over);
  lines->Clear();
  return result;
}

}  // namespace jr
