#pragma once
// Starting external programs and telling whether they still run. One implementation per
// operating system; the engine sees only this interface.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/status.h"

namespace jr {

// A started process as the engine keeps it; 0 means none. Only values above 0 are
// started processes.
using ProcessHandle = int32_t;

// What to start.
struct StartRequest {
  std::string program;
  // One element per argument, handed to the program as they are: a system that starts
  // programs from a list passes them on unchanged, Windows joins them into one command
  // line quoted so that the program's own splitting gives them back.
  std::vector<std::string> arguments;
  // Set for work that a launcher may hand to a batch system: the name that system shows
  // for it. Empty: the program always runs on this machine (a local launcher runs
  // everything here and ignores it).
  std::string cluster_job_name;
  // The program's time limit in seconds, 0 for none. The runner ends the program itself;
  // a batch system may be told as well.
  int32_t time_limit_seconds = 0;
  // The file that takes the program's standard output and error, appended to; a launcher
  // makes it at the start and removes it again when the program ended without writing to
  // it, so that only a program that wrote something leaves one. Empty: the runner's own.
  std::string output_file = {};
};

class ProcessLauncher {
 public:
  virtual ~ProcessLauncher() = default;

  // Starts the program with its arguments without a console window and without waiting,
  // with the runner's environment and current folder and standard input from the null
  // device. Returns the handle, or 0 when the process could not be created.
  virtual ProcessHandle Start(const StartRequest& request) = 0;

  // As Start; when the process could not be created, the failure says what could not be
  // started and the system's reason, as "PROGRAM: REASON" ("/srv/x/run.sh: No such file or
  // directory"), so that the one who reads a run's log learns why a line never ran. A
  // launcher that cannot tell why gives a reason of its own.
  virtual Result<ProcessHandle> TryStart(const StartRequest& request) {
    const ProcessHandle handle = Start(request);
    if (handle > 0) return handle;
    return Status::Failed(request.program + ": the process could not be created");
  }

  // Non-blocking. True while the process runs. When it has ended, releases it (reaps it)
  // and sets `handle` to 0. A handle of 0 gives false.
  virtual bool IsRunning(ProcessHandle& handle) = 0;

  // How the process ended, once IsRunning has reported its end (asked with the handle
  // IsRunning was given, before it was cleared): its exit status when it ended by itself;
  // none while it runs, when a signal or this launcher ended it, when it was forgotten, or
  // when the launcher cannot know. A launcher that never knows need not say so. It is told
  // once: a run of many thousand lines would otherwise keep every line's status.
  virtual std::optional<int> ExitStatus(ProcessHandle /*handle*/) const { return std::nullopt; }

  // The engine no longer polls this process (its line was found finished by its status
  // line while the process still ran). The launcher still reaps it when it exits.
  virtual void Forget(ProcessHandle handle) = 0;

  // Waits until one of the launcher's processes ends, a stop is requested from outside
  // (see StopRequests) or `timeout` has passed, whichever comes first. Returns at once when
  // a process ended since the last call.
  virtual void WaitForExit(std::chrono::milliseconds timeout) = 0;

  // Ends every process this launcher started that still runs, whole process trees
  // included: a polite request first, a forced end after `grace`. Reaps them.
  virtual void TerminateAll(std::chrono::milliseconds grace) = 0;

  // As TerminateAll, for one process (and its tree) only; nothing when it has ended.
  virtual void Terminate(ProcessHandle handle, std::chrono::milliseconds grace) = 0;

  // As Terminate, without waiting: the polite request now, the forced end once `grace` has
  // passed, sent from a later call of the launcher (WaitForExit ends no later than that).
  // The handle stays valid for IsRunning until the process has ended. A launcher that
  // cannot ask a program to end ends its tree at once.
  virtual void BeginTerminate(ProcessHandle handle, std::chrono::milliseconds grace) = 0;

  // Should this process end without saying goodbye while it answers for a run, this
  // process's own program is started with `arguments` (in the current folder as it is now,
  // with this process's environment), once the programs the launcher still answered for are
  // ended: so that someone tells of the run. Asked before the first start; an empty list is
  // the goodbye: the run ended as it should, nothing is started. A launcher without a guard
  // that outlives the runner (see line_watchdog.h) does nothing: the run's next look finds it.
  virtual void SetRunnerGoneArguments(std::vector<std::string> /*arguments*/) {}
};

}  // namespace jr

#include <memory>

namespace jr {

// The launcher of this operating system.
std::unique_ptr<ProcessLauncher> MakeSystemProcessLauncher();

// What a program run to its end wrote, and how it ended.
struct ProgramOutput {
  int exit_status = -1;  // -1 when it did not end by itself
  std::string output;    // standard output and error together
};

// Starts the program as a launcher would (its batch job name aside), with standard output
// and error captured, and waits for its end. Fails when it cannot be started. For short
// helper programs only: nothing ends it early.
Result<ProgramOutput> RunAndCapture(const StartRequest& request);

}  // namespace jr
