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
#include "run/run_job.h"

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
  JobRunOutcome(bool ran = false, std::string message = {})
      : ran(ran), message(std::move(message)) {}
  // False when the run could not start at all; `message` then says why.
  bool ran = false;
  // For a run: its final status text ("finished without errors." and the like).
  std::string message;
  std::vector<EngineMessage> engine_messages;
};

class JobExecutor {
 public:
  virtual ~JobExecutor() = default;
  // Runs `job` in window mode and returns when the run is over. Called on the window's run
  // thread (RunWorker), never the GUI thread: it touches no widget, and `observers` hear
  // the run on that thread. The run ends early, as an interrupted command-line run does,
  // once `stop` is requested; a pause that waits for the launcher's children ends at once
  // then. With `rerun`, the run is a rerun of that earlier run. `lock`, the job's lock held
  // for the run (or null, or not held), is to name the run once its id is known.
  virtual JobRunOutcome execute(const JobDocument& job, int32_t max_parallel, const StopFlag& stop,
                                const RunObservers& observers, const RerunBasis* rerun = nullptr,
                                RunLock* lock = nullptr) = 0;
};

// An executor for builds without a run driver: every run is refused with a message.
std::unique_ptr<JobExecutor> MakeUnavailableJobExecutor();

// Runs jobs through the run driver on the launcher the registry sets (a wrong setting
// refuses the run with its message) and this machine's registry, event log and metadata
// log, as command-line mode does.
std::unique_ptr<JobExecutor> MakeDriverJobExecutor();

}  // namespace jr
