#include "app/cli_run.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string_view>

#include "app/cli.h"
#include "insight/expected_end.h"
#include "jobfile/job_file.h"
#include "model/job_rules.h"
#include "model/notify_rules.h"
#include "model/time_text.h"
#include "notify/notices.h"
#include "notify/run_summary.h"
#include "platform/file_digest.h"
#include "platform/metadata_location.h"
#include "platform/stop_requests.h"
#include "run/job_lock.h"
#include "run/preflight.h"
#include "run/rerun_plan.h"
#include "run/run_job.h"
#include "run/system_env.h"

namespace jr {
namespace {

constexpr std::string_view kTitle = "Extraction Job Runner";

class StderrNotifier final : public Notifier {
 public:
  void ShowMessage(std::string_view title, std::string_view text, MessageIcon) override {
    std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(title.size()), title.data(),
                 static_cast<int>(text.size()), text.data());
  }
};

std::string Seconds(TimePoint from, TimePoint to) {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(ms) / 1000.0);
  return text;
}

// Warnings and reasons on standard error, and progress lines only when someone watches it.
class CommandLineProgress final : public RunObserver {
 public:
  CommandLineProgress(std::string job_file, const Clock& clock, bool progress)
      : job_file_(std::move(job_file)), clock_(clock), progress_(progress) {}

  // Progress lines then tell the run's expected end after each line's end.
  void Foresee(std::unique_ptr<ExpectedEndWatch> watch) { watch_ = std::move(watch); }

  void LineStarted(const RunLine& line) override {
    if (watch_) watch_->LineStarted(line);
    started_[line.JobLineNr()] = clock_.Now();
    Progress("started", line, "");
  }
  void LineFinished(const RunLine& line) override {
    if (watch_) watch_->LineFinished(line);
    auto found = started_.find(line.JobLineNr());
    std::string took =
        found == started_.end() ? "" : " after " + Seconds(found->second, clock_.Now());
    Progress(line.ErrorOccurred() ? "FAILED" : "OK", line, took);
    ExpectedEndProgress();
  }
  void LineSkipped(const RunLine& line) override {
    if (watch_) watch_->LineSkipped(line);
    Progress("skipped", line, "");
  }
  void LineRepeated(const RunLine& original, const RunLine& copy) override {
    if (watch_) watch_->LineRepeated(original, copy);
    Progress("repeated", original, " as line " + std::to_string(copy.JobLineNr()));
  }
  void LineCannotStart(const RunLine& line, std::string_view reason) override {
    if (watch_) watch_->LineCannotStart(line, reason);
    // Always shown: the reports have no place for the reason.
    std::fprintf(stderr, "jobrunner: job line %d (%s) cannot start: %.*s\n", line.JobLineNr(),
                 line.definition().description.c_str(), static_cast<int>(reason.size()),
                 reason.data());
  }
  void LineStartFailed(const RunLine& line, std::string_view failure) override {
    // Always shown, as the log file may be none or nobody's to read.
    std::fprintf(stderr, "jobrunner: %s\n", LineStartFailedText(line, failure).c_str());
  }
  void LineTimeLimitReached(const RunLine& line) override {
    std::fprintf(stderr, "jobrunner: %s\n", LineTimeLimitText(line).c_str());
    Progress("time limit reached", line, "");
  }
  void LineRepeatRefused(const RunLine& line, int32_t copies) override {
    std::fprintf(stderr, "jobrunner: %s\n", RepeatRefusedText(line.JobLineNr(), copies).c_str());
  }
  void LinesOver(std::string_view rerun_of, const std::vector<int32_t>& over) override {
    if (watch_) watch_->LinesOver(rerun_of, over);
    // Always shown: the reports leave these lines out.
    std::fprintf(stderr, "jobrunner: rerun of %.*s: job lines over, not run again: %s\n",
                 static_cast<int>(rerun_of.size()), rerun_of.data(),
                 JobLineNumbersText(over).c_str());
  }
  void Warning(std::string_view text) override {
    std::fprintf(stderr, "jobrunner: warning: %s: %.*s\n", job_file_.c_str(),
                 static_cast<int>(text.size()), text.data());
  }

 private:
  void ExpectedEndProgress() {
    if (!progress_ || !watch_ || !watch_->Going()) return;
    const TimePoint now = clock_.Now();
    const std::string text = ExpectedEndText(watch_->Expected(), now);
    if (!text.empty()) std::fprintf(stderr, "%s  %s\n", FormatTimeText(now).c_str(), text.c_str());
  }
  void Progress(const char* what, const RunLine& line, const std::string& extra) {
    if (!progress_) return;
    const std::string copy_of =
        line.OriginalJobLineNr() > 0
            ? " (repeat of " + std::to_string(line.OriginalJobLineNr()) + ")"
            : std::string();
    std::fprintf(stderr, "%s  line %d%s %s: %s%s\n", FormatTimeText(clock_.Now()).c_str(),
                 line.JobLineNr(), copy_of.c_str(), line.definition().description.c_str(), what,
                 extra.c_str());
  }

  std::string job_file_;
  const Clock& clock_;
  bool progress_;
  std::map<int32_t, TimePoint> started_;
  std::unique_ptr<ExpectedEndWatch> watch_;
};

// What the progress lines foresee the run's end from: the job's usual durations as its
// earlier runs give them, read once. A history that cannot be read foresees nothing.
std::unique_ptr<ExpectedEndWatch> WatchForExpectedEnd(const RunRequest& request,
                                                      const Clock& clock) {
  Result<std::unique_ptr<RunHistory>> history =
      RunHistory::OpenForReading(request.history_database);
  if (!history.ok() || !history.value) return nullptr;
  Result<UsualDurations> usual =
      ReadUsualDurations(*history.value, AbsoluteFileName(request.job_file), clock.Now());
  if (!usual.ok() || usual.value.empty()) return nullptr;
  return std::make_unique<ExpectedEndWatch>(*request.table, request.row_count, request.maximum,
                                            std::move(usual.value), clock);
}

// The job's lock for the run by its overlap policy. A run refused for another one is told on
// standard error and kept in the run history; a run that waits says for which.
Result<JobLock> TakeLockFor(const RunRequest& request, OverlapPolicy policy, RunEnv& env) {
  Result<JobLock> lock = TakeJobLock(
      request.history_database, request.job_file, policy,
      [](const RunLockHolder& holder) {
        std::fprintf(stderr, "jobrunner: waiting for run %s of this job to end\n",
                     holder.run_id.c_str());
      },
      [] { return StopRequested(); });
  if (!lock.ok()) return lock;
  if (lock.value.busy) {
    std::fprintf(stderr, "jobrunner: %s\n",
                 AlreadyRunningText(request.job_file, *lock.value.busy).c_str());
    if (Status kept = RecordRefusedRun(request, env); !kept.ok()) {
      std::fprintf(stderr,
                   "jobrunner: warning: the refused run is left out of the run history: %s\n",
                   kept.message.c_str());
    }
  } else if (lock.value.stopped) {
    std::fprintf(stderr, "jobrunner: stopped by %s while waiting; the job was not run\n",
                 StopRequestName());
  }
  return lock;
}

// Names at the start what would go wrong later: a line that cannot start, a report that
// cannot be made, as warnings; what would stop the run halfway refuses it. False when the
// run must not start.
bool PassesPreflight(const std::string& job_file, const RunRequest& request, RunEnv& env,
                     RunObserver& progress) {
  bool passes = true;
  for (const PreflightProblem& problem :
       PreflightProblems(*request.table, request.row_count, env, SystemMetadataDatabasePath())) {
    if (!problem.refuses) {
      progress.Warning(problem.text);
      continue;
    }
    std::fprintf(stderr, "jobrunner: error: %s: %s; the job was not run\n", job_file.c_str(),
                 problem.text.c_str());
    passes = false;
  }
  return passes;
}

// Cron mails whatever a run writes on standard error: a run that went wrong says there what
// went wrong and where to look, one without errors says nothing. Someone at a terminal has
// watched the progress lines instead.
void WriteSummaryForCron(ErrorLevel error_level, const JobDocument& job, const RunResult& result,
                         const LineTroubleCollector& troubles) {
  if (error_level == ErrorLevel::kNoErrors || StandardErrorIsTerminal()) return;
  RunEndSummary summary;
  summary.job_description = job.Description;
  summary.status_text = StatusText(error_level);
  summary.lines = troubles.lines();
  summary.run_folder = result.run_folder;
  summary.admin_report = job.LogFile;
  summary.user_report = job.UserFile;
  std::fputs(RunEndSummaryText(summary).c_str(), stderr);
}

}  // namespace

Result<RerunBasis> RerunBasisFor(const std::string& job_file, const RerunOption& option) {
  Result<RerunBasis> basis = ReadRerunBasis(SystemMetadataDatabasePath(), job_file, option.run_id);
  if (!basis.ok() || !basis.value.job_changed) return basis;
  const std::string changed = JobChangedText(job_file, option.run_id);
  if (!option.force) {
    return Status::Failed(changed + "; the rerun was refused (--force runs it anyway)");
  }
  std::fprintf(stderr, "jobrunner: warning: %s; run anyway (--force)\n", changed.c_str());
  return basis;
}

int RunFromCommandLine(const std::string& job_file, const std::optional<RerunOption>& rerun) {
  StderrNotifier notifier;
  JobDocument job;
  ReadResult read = ReadJobFile(job_file, job);
  if (read.status != ReadStatus::kLoaded) {
    notifier.ShowMessage("Open", read.message, MessageIcon::kCritical);
    // The fixed text above does not say what is wrong; the cause names the file.
    if (!read.detail.empty()) std::fprintf(stderr, "jobrunner: %s\n", read.detail.c_str());
    return kExitBadJobFile;
  }
  WarnUnreadLists(job_file, read);
  const CheckedJob checked = CheckJob(job);
  for (const std::string& fault : checked.faults) {
    notifier.ShowMessage(kTitle, job_file + ": " + fault + "; the job was not run.",
                         MessageIcon::kCritical);
  }
  if (!checked.ok()) return kExitCannotRun;

  job.FileName = job_file;
  RunRequest request = RunRequestFor(job, checked.settings, /*from_command_line=*/true);
  request.history_database = SystemMetadataDatabasePath();
  if (rerun) {
    Result<RerunBasis> basis = RerunBasisFor(job_file, *rerun);
    if (!basis.ok()) {
      std::fprintf(stderr, "jobrunner: error: %s\n", basis.message().c_str());
      return kExitBadJobFile;
    }
    request.rerun = std::move(basis.value);
  }
  const std::string unpassable = UnpassableName(request);
  if (!unpassable.empty()) {
    notifier.ShowMessage(kTitle, job_file + ": " + unpassable, MessageIcon::kCritical);
    return kExitCannotRun;
  }

  Result<std::unique_ptr<SystemEnv>> made = SystemEnv::Make(notifier);
  if (!made.ok()) {
    notifier.ShowMessage(kTitle, made.message() + " The job was not run.", MessageIcon::kCritical);
    return kExitCannotRun;
  }
  std::unique_ptr<SystemEnv> system = std::move(made.value);
  CommandLineProgress progress(job_file, system->env().clock, StandardErrorIsTerminal());
  if (!PassesPreflight(job_file, request, system->env(), progress)) return kExitCannotRun;
  if (StandardErrorIsTerminal())
    progress.Foresee(WatchForExpectedEnd(request, system->env().clock));
  const std::string registry_failure = system->env().registry.ReadFailure();
  if (!registry_failure.empty()) progress.Warning(registry_failure);

  StopRequests stop_requests;
  Result<JobLock> lock = TakeLockFor(request, checked.settings.overlap, system->env());
  if (!lock.ok()) {
    notifier.ShowMessage(kTitle, job_file + ": " + lock.message(), MessageIcon::kCritical);
    return kExitCannotRun;
  }
  if (lock.value.busy) return kExitAlreadyRunning;
  if (lock.value.stopped) return kExitFatal;
  request.lock = &lock.value.lock;
  LauncherRunControl control(system->launcher(), [] { return StopRequested(); });
  LineTroubleCollector troubles;
  RunResult result = RunJob(request, system->env(), control, {&progress, &troubles});
  if (!result.refused.empty()) {
    notifier.ShowMessage(kTitle, job_file + ": " + result.refused, MessageIcon::kCritical);
    return kExitCannotRun;
  }

  const bool interrupted = result.scheduler.end == SchedulerOutcome::End::kInterrupted;
  if (interrupted) {
    std::fprintf(stderr, "jobrunner: stopped by %s; running job lines were ended\n",
                 StopRequestName());
  } else if (StopRequested()) {
    std::fprintf(stderr, "jobrunner: stopped by %s while the reports were made\n",
                 StopRequestName());
  }
  if (result.scheduler.end == SchedulerOutcome::End::kTimeLimit) {
    std::fprintf(stderr, "jobrunner: %s\n", JobTimeLimitText(request.job_time_limit).c_str());
  }
  if (StandardErrorIsTerminal()) {
    std::fprintf(stderr, "Job %s\n  run folder: %s\n  reports:    %s\n              %s\n",
                 result.report.status_text.c_str(), result.run_folder.c_str(), job.LogFile.c_str(),
                 job.UserFile.c_str());
  }
  // A run whose reports were not written did not deliver what the job is for, whatever
  // its lines did.
  for (const std::string& missing : result.report.missing_reports) {
    std::fprintf(stderr, "jobrunner: %s\n", missing.c_str());
  }
  ErrorLevel error_level = result.report.error_level;
  if (!result.report.missing_reports.empty()) {
    error_level = std::max(error_level, ErrorLevel::kErrors);
  }
  // A stop while the reports were made interrupted the run as much as one during the lines.
  if (StopRequested()) error_level = ErrorLevel::kFatal;
  WriteSummaryForCron(error_level, job, result, troubles);
  // Last, once the reports are there; what cannot be sent is a warning and changes nothing.
  SendFinishedNotice(request.notify, FinishedRunOf(request, result, error_level, troubles.lines()),
                     system->env(), [&progress](std::string_view text) { progress.Warning(text); });
  switch (error_level) {
    case ErrorLevel::kNoErrors:
      return kExitNoErrors;
    case ErrorLevel::kErrors:
      return kExitErrors;
    case ErrorLevel::kFatal:
      break;
  }
  return kExitFatal;
}

void WarnUnreadLists(const std::string& job_file, const ReadResult& read) {
  for (const UnreadLists& unread : read.unread_lists) {
    std::fprintf(stderr, "jobrunner: warning: %s: %s: %s\n", job_file.c_str(),
                 UnreadListsText(unread).c_str(), kListsNeedSkipOnError);
  }
}

std::vector<PreflightProblem> WarnPreflightProblems(const std::string& job_file,
                                                    const JobDocument& job) {
  StderrNotifier notifier;
  Result<std::unique_ptr<SystemEnv>> made = SystemEnv::Make(notifier);
  // A launcher setting that cannot be used is the check's own error already.
  if (!made.ok()) return {};
  // Said first: every problem below may follow from it.
  if (const std::string failure = made.value->env().registry.ReadFailure(); !failure.empty()) {
    std::fprintf(stderr, "jobrunner: warning: %s: %s\n", job_file.c_str(), failure.c_str());
  }
  std::vector<PreflightProblem> problems = PreflightProblems(
      job.table, job.table.LineCount(), made.value->env(), SystemMetadataDatabasePath());
  for (const PreflightProblem& problem : problems) {
    std::fprintf(stderr, "jobrunner: warning: %s: %s\n", job_file.c_str(), problem.text.c_str());
  }
  return problems;
}

}  // namespace jr
