#include "platform/stop_requests.h"

#include <signal.h>
#include <unistd.h>

namespace jr {
namespace {

volatile sig_atomic_t g_stop_signal = 0;

void OnStopSignal(int signal_number) { g_stop_signal = signal_number; }

struct sigaction g_old_int = {};
struct sigaction g_old_term = {};

}  // namespace

// SIGINT and SIGTERM only set a flag; the pause between passes ends early because the
// handler is installed without SA_RESTART.
StopRequests::StopRequests() {
  struct sigaction action = {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &g_old_int);
  sigaction(SIGTERM, &action, &g_old_term);
}

StopRequests::~StopRequests() {
  sigaction(SIGINT, &g_old_int, nullptr);
  sigaction(SIGTERM, &g_old_term, nullptr);
}

bool StopRequested() { return g_stop_signal != 0; }

const char* StopRequestName() {
  switch (g_stop_signal) {
    case 0:
      return "";
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    default:
      return "a signal";
  }
}

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

}  // namespace jr
