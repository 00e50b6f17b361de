// Runs a job from the window through the same run session as command-line mode, on this
// machine's launcher, registry, event log and metadata log.

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
  JobRunOutcome execute(const RunSessionRequest& request, const StopFlag& stop,
                        RunSessionObserver& observer) override {
    CollectingNotifier notifier;
    // As in command-line mode the run waits for the next child to end; the window's Stop
    // ends that wait.
    JobRunOutcome outcome =
        WindowOutcomeOf(RunSessionOnThisMachine(
                            request, notifier, [&stop] { return stop.Requested(); }, observer),
                        request.job.FileName);
    outcome.engine_messages = std::move(notifier.messages);
    return outcome;
  }
};

}  // namespace

std::unique_ptr<JobExecutor> MakeDriverJobExecutor() {
  return std::make_unique<DriverJobExecutor>();
}

}  // namespace jr
