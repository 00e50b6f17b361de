#pragma once
// The window runs a job through this interface, so that the run driver can be plugged in
// (and tests can run "jobs" that are only scripted progress).

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/run_control.h"
#include "jobfile/job_file.h"
#include "model/run_env.h"
#include "platform/stop_requests.h"
#include "run/run_session.h"

namespace jr {

// The window's Stop as the run's thread sees it.
class StopFlag {
 public:
  // From any thread: the run is to stop, and a wait for the launcher's children ends now.
  void Request() {
    requested_ = true;
    WakeStopWaits();
  }
  bool Requested() const { return requested_; }

 private:
  std::atomic<bool> requested_{false};
};

// A message the engine gave while the run went on (a failed event-log write, say); the
// window shows it once the run is over.
struct EngineMessage {
  std::string title;
  std::string text;
  MessageIcon icon = MessageIcon::kExclamation;
};

struct JobRunOutcome {
  JobRunOutcome(bool ran = false, std::string message = {}, std::string title = "Execute")
      : ran(ran), message(std::move(message)), title(std::move(title)) {}
  // False when the run could not start at all; `message` then says why, under `title`.
  bool ran = false;
  // For a run: its final status text ("finished without errors." and the like).
  std::string message;
  std::string title;
  std::vector<EngineMessage> engine_messages;
};

// What the window says of a session's outcome: the final status of a run (with the reports
// that were not written), or why the job did not run, in the words the command line uses.
JobRunOutcome WindowOutcomeOf(const RunSessionOutcome& outcome, const std::string& job_file);

class JobExecutor {
 public:
  virtual ~JobExecutor() = default;
  // Runs the session of `request` and returns when it is over. Called on the window's run
  // thread (RunWorker), never the GUI thread: it touches no widget, and `observer` hears
  // the run on that thread. The run ends early, as an interrupted command-line run does,
  // once `stop` is requested; a pause that waits for the launcher's children ends at once
  // then.
  virtual JobRunOutcome execute(const RunSessionRequest& request, const StopFlag& stop,
                                RunSessionObserver& observer) = 0;
};

// An executor for builds without a run driver: every run is refused with a message.
std::unique_ptr<JobExecutor> MakeUnavailableJobExecutor();

// Runs jobs as command-line mode does (see RunSessionOnThisMachine).
std::unique_ptr<JobExecutor> MakeDriverJobExecutor();

}  // namespace jr
