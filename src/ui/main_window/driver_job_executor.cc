// Runs a job from the window through the same driver as command-line mode, with the
// machine's launcher, registry, event log and metadata log.

#include <algorithm>
#include <cctype>

#include "notify/notices.h"
#include "notify/run_summary.h"
#include "platform/metadata_location.h"
#include "run/run_job.h"
#include "run/system_env.h"
#include "ui/main_window/job_executor.h"

namespace jr {
namespace {

// The messages the engine may give (a failed event-log write) wait for the end of the run:
// a box shown from the run's thread, or one that held the run up until it was answered,
// would be worse than one that comes a little later.
class CollectingNotifier final : public Notifier {
 public:
  void ShowMessage(std::string_view title, std::string_view text, MessageIcon icon) override {
    messages.push_back({std::string(title), std::string(text), icon});
  }
  std::vector<EngineMessage> messages;
};

class DriverJobExecutor final : public JobExecutor {
 public:
  JobRunOutcome execute(const JobDocument& job, int32_t max_parallel, const StopFlag& stop,
                        const RunObservers& observers, const RerunBasis* rerun,
                        RunLock* lock) override {
    CollectingNotifier notifier;
    JobRunOutcome outcome = Run(job, max_parallel, stop, observers, rerun, lock, notifier);
    outcome.engine_messages = std::move(notifier.messages);
    return outcome;
  }

 private:
  static JobRunOutcome Run(const JobDocument& job, int32_t max_parallel, const StopFlag& stop,
                           const RunObservers& observers, const RerunBasis* rerun, RunLock* lock,
                           Notifier& notifier) {
    Result<std::unique_ptr<SystemEnv>> made = SystemEnv::Make(notifier);
    if (!made.ok()) return {false, made.message()};
    std::unique_ptr<SystemEnv> system = std::move(made.value);
    // As in command-line mode the run waits for the next child to end; the window's Stop
    // ends that wait.
    LauncherRunControl control(system->launcher(), [&stop] { return stop.Requested(); });
    JobSettings settings = CheckJob(job).settings;
    settings.maximum = max_parallel;
    RunRequest request = RunRequestFor(job, settings, /*from_command_line=*/false);
    request.history_database = SystemMetadataDatabasePath();
    if (rerun != nullptr) request.rerun = *rerun;
    request.lock = lock;
    LineTroubleCollector troubles;
    RunObservers all{&troubles};
    all.Add(observers);
    RunResult result = RunJob(request, system->env(), control, all);
    if (!result.refused.empty()) {
      std::string message = result.refused;  // a clause after "job file: " on a command line
      message.front() =
          static_cast<char>(std::toupper(static_cast<unsigned char>(message.front())));
      return {false, message};
    }
    if (result.scheduler.end == SchedulerOutcome::End::kTimeLimit) {
      observers.Warning(JobTimeLimitText(request.job_time_limit));
    }
    // The notice goes after the reports, as from the command line; what cannot be sent is
    // a warning in the run panel.
    const ErrorLevel error_level = result.report.missing_reports.empty()
                                       ? result.report.error_level
                                       : std::max(result.report.error_level, ErrorLevel::kErrors);
    SendFinishedNotice(request.notify,
                       FinishedRunOf(request, result, error_level, troubles.lines()), system->env(),
                       [&observers](std::string_view text) { observers.Warning(text); });
    // A report that was not written is news the status text alone would hide.
    std::string message = result.report.status_text;
    for (const std::string& missing : result.report.missing_reports) {
      message += " " + missing + ".";
    }
    return {true, message};
  }
};

}  // namespace

std::unique_ptr<JobExecutor> MakeDriverJobExecutor() {
  return std::make_unique<DriverJobExecutor>();
}

}  // namespace jr
