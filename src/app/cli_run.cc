#include "app/cli_run.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string_view>

#include "app/cli.h"
#include "jobfile/job_file.h"
#include "model/time_text.h"
#include "notify/run_summary.h"
#include "platform/metadata_location.h"
#include "platform/stop_requests.h"
#include "run/job_lock.h"
#include "run/rerun_plan.h"
#include "run/run_job.h"
#include "run/run_session.h"
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
// At the end, what went wrong for cron to mail, or the run's end for the one watching.
class CommandLineProgress final : public RunSessionObserver {
 public:
  CommandLineProgress(std::string job_file, bool progress)
      : job_file_(std::move(job_file)), progress_(progress) {}

  void LineStarted(const RunLine& line) override {
    started_[line.JobLineNr()] = clock_.Now();
    Progress("started", line, "");
  }
  void LineFinished(const RunLine& line) override {
    auto found = started_.find(line.JobLineNr());
    std::string took =
        found == started_.end() ? "" : " after " + Seconds(found->second, clock_.Now());
    // Only running lines are kept: a run of many thousand lines would keep every one.
    if (found != started_.end()) started_.erase(found);
    Progress(line.ErrorOccurred() ? "FAILED" : "OK", line, took);
  }
  void LineSkipped(const RunLine& line) override { Progress("skipped", line, ""); }
  void LineRepeated(const RunLine& original, const RunLine& copy) override {
    Progress("repeated", original, " as line " + std::to_string(copy.JobLineNr()));
  }
  void LineCannotStart(const RunLine& line, std::string_view reason) override {
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
    // Always shown: the reports leave these lines out.
    std::fprintf(stderr, "jobrunner: rerun of %.*s: job lines over, not run again: %s\n",
                 static_cast<int>(rerun_of.size()), rerun_of.data(),
                 JobLineNumbersText(over).c_str());
  }
  void Warning(std::string_view text) override {
    std::fprintf(stderr, "jobrunner: warning: %s: %.*s\n", job_file_.c_str(),
                 static_cast<int>(text.size()), text.data());
  }
  void LongerThanUsual(std::string_view text) override {
    if (!StandardErrorIsTerminal()) return;
    std::fprintf(stderr, "jobrunner: %s: %.*s\n", job_file_.c_str(), static_cast<int>(text.size()),
                 text.data());
  }
  void EndForeseen(const ExpectedEnd&, std::string_view text) override {
    if (!progress_ || text.empty()) return;
    std::fprintf(stderr, "%s  %.*s\n", FormatTimeText(clock_.Now()).c_str(),
                 static_cast<int>(text.size()), text.data());
  }
  void WaitingFor(const RunLockHolder& holder) override {
    // A run that has only just taken the lock has not named itself yet.
    const std::string run = holder.run_id.empty() ? "another run" : "run " + holder.run_id;
    std::fprintf(stderr, "jobrunner: waiting for %s of this job to end\n", run.c_str());
  }
  void RunFinished(const RunSessionOutcome& outcome) override;

 private:
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
  // Progress lines show the time of day; how long a line took is measured on the same clock.
  SystemClock clock_;
  bool progress_;
  std::map<int32_t, TimePoint> started_;
};

void CommandLineProgress::RunFinished(const RunSessionOutcome& outcome) {
  const RunResult& result = outcome.run;
  if (result.scheduler.end == SchedulerOutcome::End::kInterrupted) {
    std::fprintf(stderr, "jobrunner: stopped by %s; running job lines were ended\n",
                 StopRequestName());
  } else if (outcome.stopped_during_reports) {
    std::fprintf(stderr, "jobrunner: stopped by %s while the reports were made\n",
                 StopRequestName());
  }
  if (result.scheduler.end == SchedulerOutcome::End::kTimeLimit) {
    std::fprintf(stderr, "jobrunner: %s\n", JobTimeLimitText(outcome.job_time_limit).c_str());
  }
  if (StandardErrorIsTerminal()) {
    std::fprintf(stderr, "Job %s\n  run folder: %s\n  reports:    %s\n              %s\n",
                 result.report.status_text.c_str(), result.run_folder.c_str(),
                 outcome.finished.admin_report.c_str(), outcome.finished.user_report.c_str());
  }
  for (const std::string& missing : result.report.missing_reports) {
    std::fprintf(stderr, "jobrunner: %s\n", missing.c_str());
  }
  // Cron mails whatever a run writes on standard error: a run that went wrong says there
  // what went wrong and where to look, one without errors says nothing. Someone at a
  // terminal has watched the progress lines instead.
  if (outcome.level == ErrorLevel::kNoErrors || StandardErrorIsTerminal()) return;
  std::fputs(RunEndSummaryText(SummaryOf(outcome.finished)).c_str(), stderr);
}

// The exit status for an outcome, after saying on standard error why a run did not start.
int ExitStatusOf(const RunSessionOutcome& outcome, const std::string& job_file) {
  switch (outcome.end) {
    case RunSessionOutcome::End::kRan:
      break;
    case RunSessionOutcome::End::kDayOff:
      // Planned, so nothing for cron to mail; the one at a terminal learns why nothing ran.
      if (StandardErrorIsTerminal()) {
        std::fprintf(stderr, "jobrunner: %s: %s; nothing was run\n", job_file.c_str(),
                     outcome.day_off.c_str());
      }
      return kExitNoErrors;
    case RunSessionOutcome::End::kBusy:
      std::fprintf(stderr, "jobrunner: %s\n", AlreadyRunningText(job_file, *outcome.busy).c_str());
      return kExitAlreadyRunning;
    case RunSessionOutcome::End::kStopped:
      std::fprintf(stderr, "jobrunner: stopped by %s while waiting; the job was not run\n",
                   StopRequestName());
      return kExitFatal;
    case RunSessionOutcome::End::kRefused:
      for (const Refusal& refusal : outcome.refusals) {
        switch (refusal.kind) {
          case Refusal::Kind::kFault:
            std::fprintf(stderr, "%s: %s: %s; the job was not run.\n", kTitle.data(),
                         job_file.c_str(), refusal.text.c_str());
            break;
          case Refusal::Kind::kPreflight:
            std::fprintf(stderr, "jobrunner: error: %s: %s; the job was not run\n",
                         job_file.c_str(), refusal.text.c_str());
            break;
          case Refusal::Kind::kSetup:
            std::fprintf(stderr, "%s: %s The job was not run.\n", kTitle.data(),
                         refusal.text.c_str());
            break;
          case Refusal::Kind::kOther:
            std::fprintf(stderr, "%s: %s: %s\n", kTitle.data(), job_file.c_str(),
                         refusal.text.c_str());
            break;
        }
      }
      return kExitCannotRun;
  }
  switch (outcome.level) {
    case ErrorLevel::kNoErrors:
      return kExitNoErrors;
    case ErrorLevel::kErrors:
      return kExitErrors;
    case ErrorLevel::kFatal:
      break;
  }
  return kExitFatal;
}

}  // namespace

Result<RerunBasis> RerunBasisFor(const std::string& job_file, const RerunOption& option) {
  Result<RerunBasis> basis = ReadRerunBasis(SystemMetadataDatabasePath(), job_file, option.run_id);
  if (basis.ok()) basis.value.downstream = option.downstream;
  if (!basis.ok() || !basis.value.job_changed) return basis;
  const std::string changed = JobChangedText(job_file, option.run_id);
  if (!option.force) {
    return Status::Failed(changed + "; the rerun was refused (--force runs it anyway)");
  }
  std::fprintf(stderr, "jobrunner: warning: %s; run anyway (--force)\n", changed.c_str());
  return basis;
}

int RunFromCommandLine(const std::string& job_file, const std::optional<RerunOption>& rerun,
                       bool ignore_calendar) {
  StderrNotifier notifier;
  RunSessionRequest request;
  ReadResult read = ReadJobFile(job_file, request.job);
  if (read.status != ReadStatus::kLoaded) {
    notifier.ShowMessage("Open", read.message, MessageIcon::kCritical);
    // The fixed text above does not say what is wrong; the cause names the file.
    if (!read.detail.empty()) std::fprintf(stderr, "jobrunner: %s\n", read.detail.c_str());
    return kExitBadJobFile;
  }
  request.file_warnings = ReadingWarnings(read);
  request.job.FileName = job_file;
  request.from_command_line = true;
  request.history_database = SystemMetadataDatabasePath();
  request.ignore_calendar = ignore_calendar;
  // The run keeps its own lines; the table they were made of is of no more use.
  request.lines_prepared = [&request] { request.job.table = JobLineTable(); };
  if (rerun) {
    Result<RerunBasis> basis = RerunBasisFor(job_file, *rerun);
    if (!basis.ok()) {
      std::fprintf(stderr, "jobrunner: error: %s\n", basis.message().c_str());
      return kExitBadJobFile;
    }
    request.rerun = std::move(basis.value);
  }
  StopRequests stop_requests;
  CommandLineProgress progress(job_file, StandardErrorIsTerminal());
  return ExitStatusOf(RunSessionOnThisMachine(
                          request, notifier, [] { return StopRequested(); }, progress),
                      job_file);
}

size_t NameJobWarnings(const std::string& job_file, const ReadResult& read,
                       const JobDocument& job) {
  const std::vector<std::string> warnings = JobWarnings(job, ReadingWarnings(read));
  for (const std::string& warning : warnings) {
    std::fprintf(stderr, "jobrunner: warning: %s: %s\n", job_file.c_str(), warning.c_str());
  }
  return warnings.size();
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
  std::vector<PreflightProblem> problems =
      PreflightProblems(job.table, job.table.LineCount(), made.value->env(),
                        SystemMetadataDatabasePath(), job.TempLogDir);
  for (const PreflightProblem& problem : problems) {
    std::fprintf(stderr, "jobrunner: warning: %s: %s\n", job_file.c_str(), problem.text.c_str());
  }
  return problems;
}

}  // namespace jr
