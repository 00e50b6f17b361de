#pragma once
// Requests from outside to stop an unattended run (Ctrl+C, a termination request, the
// terminal closing), and
// whether someone watches the run's standard error.

namespace jr {

// While an object lives, stop requests set a flag instead of ending the program and end
// the launcher's wait (ProcessLauncher::WaitForExit) at once; the run then notices the
// flag and ends its running job lines.
class StopRequests {
 public:
  StopRequests();
  ~StopRequests();
  StopRequests(const StopRequests&) = delete;
  StopRequests& operator=(const StopRequests&) = delete;
};

// True once a stop was requested.
bool StopRequested();
// Ends the launcher's wait (ProcessLauncher::WaitForExit) at once, as a stop request does,
// or the next one when none is going on, without being a stop request itself: for a run
// that the program stops (the window's Stop). Safe from any thread.
void WakeStopWaits();
// What was received, for the message that tells why the run ended ("SIGTERM", "Ctrl+C");
// empty when nothing was.
const char* StopRequestName();

bool StandardErrorIsTerminal();

// Leaves every signal to the program's other threads. A helper thread that sleeps until it
// has work calls it first: a child's end or a stop request then never wakes it, and reaches
// the thread that waits for them.
void BlockSignalsInThisThread();

}  // namespace jr
