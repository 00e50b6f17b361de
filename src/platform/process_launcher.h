#pragma once
// Starting external programs and telling whether they still run. One implementation per
// operating system; the engine sees only this interface.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace jr {

// A started process as the engine keeps it; 0 means none. Only values above 0 are
// started processes.
using ProcessHandle = int32_t;

class ProcessLauncher {
 public:
  virtual ~ProcessLauncher() = default;

  // Starts `program` with `arguments` (one text, split by the platform's rules) without a
  // console window and without waiting, with the runner's environment and current folder
  // and standard input from the null device. Returns the handle, or 0 when the process
  // could not be created.
  virtual ProcessHandle Start(std::string_view program, std::string_view arguments) = 0;

  // Non-blocking. True while the process runs. When it has ended, releases it (reaps it)
  // and sets `handle` to 0. A handle of 0 gives false.
  virtual bool IsRunning(ProcessHandle& handle) = 0;

  // The engine no longer polls this process (its line was found finished by its status
  // line while the process still ran). The launcher still reaps it when it exits.
  virtual void Forget(ProcessHandle handle) = 0;

  // Waits until one of the launcher's processes ends or `timeout` has passed, whichever
  // comes first. Returns at once when a process ended since the last call.
  virtual void WaitForExit(std::chrono::milliseconds timeout) = 0;

  // Ends every process this launcher started that still runs, whole process trees
  // included: a polite request first, a forced end after `grace`. Reaps them.
  virtual void TerminateAll(std::chrono::milliseconds grace) = 0;

  // Names for what the following Start calls start, for launchers that hand job lines to
  // a batch system that shows job names; local launchers ignore them. A run sets its run
  // name once; StartJobLine sets the job line number just before each start, which marks
  // that start as a job line's.
  virtual void SetRunName(std::string_view /*run_name*/) {}
  virtual void SetJobLineNr(int32_t /*job_line_nr*/) {}
};

}  // namespace jr

#include <memory>

namespace jr {

// The launcher of this operating system.
std::unique_ptr<ProcessLauncher> MakeSystemProcessLauncher();

}  // namespace jr
