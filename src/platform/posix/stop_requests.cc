#include "platform/stop_requests.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <mutex>

#include "platform/posix/stop_wake.h"

namespace jr {
namespace {

volatile sig_atomic_t g_stop_signal = 0;
// The pipe of stop_wake.h, made on first use and kept until the program ends, so that a
// wait that began before a wake is asked for is woken by it; -1 when it could not be made.
volatile sig_atomic_t g_wake_read = -1;
volatile sig_atomic_t g_wake_write = -1;
std::once_flag g_wake_made;

void MakeWake() {
  std::call_once(g_wake_made, [] {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
      g_wake_read = fds[0];
      g_wake_write = fds[1];
    }
  });
}

void Wake() {
  if (g_wake_write >= 0) {
    const char byte = 1;
    // Non-blocking: a full pipe already wakes every wait.
    [[maybe_unused]] const ssize_t written = write(g_wake_write, &byte, 1);
  }
}

void OnStopSignal(int signal_number) {
  const int saved_errno = errno;
  g_stop_signal = signal_number;
  Wake();
  errno = saved_errno;
}

struct sigaction g_old_int = {};
struct sigaction g_old_term = {};
struct sigaction g_old_hup = {};

}  // namespace

// SIGINT, SIGTERM and SIGHUP only set a flag and wake the launcher's wait through the
// pipe; the run notices the flag as soon as its pause ends. SIGHUP comes when the terminal
// of a run started by hand closes: the job lines, in process groups of their own, would
// not get it and would run on without a runner.
StopRequests::StopRequests() {
  g_stop_signal = 0;
  MakeWake();
  DrainStopWake();
  struct sigaction action = {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &g_old_int);
  sigaction(SIGTERM, &action, &g_old_term);
  sigaction(SIGHUP, &action, &g_old_hup);
}

StopRequests::~StopRequests() {
  sigaction(SIGINT, &g_old_int, nullptr);
  sigaction(SIGTERM, &g_old_term, nullptr);
  sigaction(SIGHUP, &g_old_hup, nullptr);
}

int StopWakeFd() {
  MakeWake();
  return g_wake_read;
}

void DrainStopWake() {
  const int fd = g_wake_read;
  if (fd < 0) return;
  char bytes[64];
  while (read(fd, bytes, sizeof bytes) > 0) {
  }
}

bool StopRequested() { return g_stop_signal != 0; }

void WakeStopWaits() {
  MakeWake();
  Wake();
}

const char* StopRequestName() {
  switch (g_stop_signal) {
    case 0:
      return "";
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
    default:
      return "a signal";
  }
}

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

void BlockSignalsInThisThread() {
  sigset_t all;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, nullptr);
}

}  // namespace jr
