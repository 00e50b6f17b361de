// Runs a job from the window through the same driver as command-line mode, with the
// machine's launcher, registry, event log and metadata log.

#include <QString>
#include <algorithm>
#include <cctype>
#include <chrono>

#include "platform/metadata_location.h"
#include "run/run_job.h"
#include "run/system_env.h"
#include "ui/controls/message_box.h"
#include "ui/main_window/job_executor.h"

namespace jr {
namespace {

// The one message the engine may show (a failed event-log write) appears as a box.
class MessageBoxNotifier final : public Notifier {
 public:
  void ShowMessage(std::string_view title, std::string_view text, MessageIcon icon) override {
    MessageBox::Icon box_icon = MessageBox::kExclamation;
    if (icon == MessageIcon::kCritical) box_icon = MessageBox::kCritical;
    if (icon == MessageIcon::kInformation) box_icon = MessageBox::kInformation;
    MessageBox::show(QString::fromUtf8(text.data(), static_cast<int>(text.size())),
                     QString::fromUtf8(title.data(), static_cast<int>(title.size())),
                     MessageBox::kOkOnly, MessageBox::kOk, box_icon);
  }
};

// The window's pause processes its events; this one also ends as soon as a job line's
// program exits, so that a finished line is noticed at once and not up to a second later.
class ChildAwareHooks final : public RunHooks {
 public:
  ChildAwareHooks(RunHooks& window, ProcessLauncher& launcher)
      : window_(window), launcher_(launcher) {}

  void Pause(std::chrono::milliseconds longest) override {
    using std::chrono::steady_clock;
    const steady_clock::time_point end = steady_clock::now() + longest;
    while (true) {
      window_.Pause(std::chrono::milliseconds(0));
      if (window_.StopRequested()) return;
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(end - steady_clock::now());
      if (left.count() <= 0) return;
      // Short slices keep the window responsive while it waits for a child.
      const std::chrono::milliseconds slice = std::min(left, std::chrono::milliseconds(25));
      const steady_clock::time_point before = steady_clock::now();
      launcher_.WaitForExit(slice);
      if (steady_clock::now() - before + std::chrono::milliseconds(1) < slice) return;
    }
  }
  bool StopRequested() const override { return window_.StopRequested(); }
  void LineStarted(const RunLine& line) override { window_.LineStarted(line); }
  void LineFinished(const RunLine& line) override { window_.LineFinished(line); }
  void LineSkipped(const RunLine& line) override { window_.LineSkipped(line); }
  void LineRepeated(const RunLine& original, const RunLine& copy) override {
    window_.LineRepeated(original, copy);
  }
  void LineCannotStart(const RunLine& line, std::string_view reason) override {
    window_.LineCannotStart(line, reason);
  }
  void LineTimeLimitReached(const RunLine& line) override { window_.LineTimeLimitReached(line); }
  void LinesOver(std::string_view rerun_of, const std::vector<int32_t>& over) override {
    window_.LinesOver(rerun_of, over);
  }
  void Warning(std::string_view text) override { window_.Warning(text); }

 private:
  RunHooks& window_;
  ProcessLauncher& launcher_;
};

class DriverJobExecutor final : public JobExecutor {
 public:
  JobRunOutcome execute(const JobDocument& job, int32_t max_parallel, RunHooks& hooks,
                        const RerunBasis* rerun) override {
    MessageBoxNotifier notifier;
    Result<std::unique_ptr<SystemEnv>> made = SystemEnv::Make(notifier);
    if (!made.ok()) return {false, made.message()};
    std::unique_ptr<SystemEnv> system = std::move(made.value);
    ChildAwareHooks child_aware(hooks, system->launcher());
    RunRequest request = RunRequestFor(job, max_parallel, /*from_command_line=*/false);
    request.history_database = SystemMetadataDatabasePath();
    if (rerun != nullptr) request.rerun = *rerun;
    RunResult result = RunJob(request, system->env(), child_aware);
    if (!result.refused.empty()) {
      std::string message = result.refused;  // a clause after "job file: " on a command line
      message.front() =
          static_cast<char>(std::toupper(static_cast<unsigned char>(message.front())));
      return {false, message};
    }
    if (result.scheduler.end == SchedulerOutcome::End::kTimeLimit) {
      hooks.Warning(JobTimeLimitText(request.job_time_limit));
    }
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
