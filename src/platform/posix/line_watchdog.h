#pragma once
// The guard that ends a run's job lines when the runner dies without ending them itself
// (SIGKILL, the OOM killer, a crash). A runner that dies that way cannot clean up, so a
// second, small process does: it learns each job line's process group as the line starts
// and ends, and when its connection to the runner breaks it sends the groups it knows
// SIGTERM and, 10 seconds later, SIGKILL, as a stop would. Then, when the runner had asked for
// it and not said goodbye, it becomes the runner's program with the arguments it was given
// (exec, never a fork of its own), which tells of the run; else it exits.
//
// The connection is a socket pair whose runner end only the runner holds (close-on-exec,
// and job lines are started without the runner's descriptors), so it breaks exactly when
// the runner is gone. The watchdog holds nothing else of the runner's: no descriptor, no
// current folder, no place in its session, so that a lock the runner held is freed when
// the runner dies and a terminal or a signal to the runner's process group leaves it be.

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/status.h"

namespace jr {

class LineWatchdog {
 public:
  LineWatchdog() = default;
  // Ends the watchdog at once, without its ending anything, and reaps it.
  ~LineWatchdog();
  LineWatchdog(const LineWatchdog&) = delete;
  LineWatchdog& operator=(const LineWatchdog&) = delete;

  // Starts the watchdog unless it runs. Called before a job line is started, so that the
  // line is guarded from its first moment. A watchdog that cannot be had is not asked for
  // again; the run goes on without one.
  Status Ensure();

  // The connection's runner end, -1 without a watchdog. A child about to become a job
  // line's program tells of its own group on it (Announce), so that no moment between its
  // start and the runner's knowing of it goes unguarded.
  int channel() const { return channel_; }
  // The watchdog ends this process group should the runner die: one small message, sent
  // with one system call, which a child between its fork and its exec may do.
  static void Announce(int channel, pid_t group);
  // The group is no longer the runner's: its processes have ended or were ended.
  void Unwatch(pid_t group);

  // What the watchdog started next becomes once it has ended the groups: this process's
  // program with `arguments`, in the current folder as it is now. An empty list is the
  // goodbye, which a running watchdog is told: it exits once it has ended the groups.
  void SetRunnerGoneArguments(std::vector<std::string> arguments);

 private:
  void Send(int message);

  // Made before the fork: the watchdog may not allocate.
  std::vector<std::string> gone_arguments_;
  std::vector<char*> gone_argv_;  // "jobrunner", the arguments, null; empty for none
  std::string gone_folder_;
  int channel_ = -1;
  pid_t pid_ = 0;
  bool given_up_ = false;
};

}  // namespace jr
