#include "platform/stop_requests.h"

#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdio>

#include "platform/win32/stop_wake.h"

namespace jr {
namespace {

// Set by the console's control handler, which the system runs on a thread of its own.
std::atomic<int> g_stop_event{0};
// Auto-reset, made on first use and kept until the program ends; see stop_wake.h.
HANDLE WakeEvent() {
  static const HANDLE wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  return wake;
}

// Ctrl+C, Ctrl+Break and closing the console window set the flag and are handled here;
// the run then ends its job lines (the launcher's job object takes their children along)
// and writes its reports. The event number is kept one above the system's, so that Ctrl+C
// (0) still reads as a request.
BOOL WINAPI OnConsoleControl(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
      g_stop_event = static_cast<int>(event) + 1;
      if (HANDLE wake = WakeEvent(); wake != nullptr) SetEvent(wake);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

StopRequests::StopRequests() {
  g_stop_event = 0;
  if (HANDLE wake = WakeEvent(); wake != nullptr) ResetEvent(wake);
  SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
}

StopRequests::~StopRequests() { SetConsoleCtrlHandler(&OnConsoleControl, FALSE); }

HANDLE StopWakeEvent() { return WakeEvent(); }

bool StopRequested() { return g_stop_event.load() != 0; }

void WakeStopWaits() {
  if (HANDLE wake = WakeEvent(); wake != nullptr) SetEvent(wake);
}

const char* StopRequestName() {
  switch (g_stop_event.load()) {
    case 0:
      return "";
    case CTRL_C_EVENT + 1:
      return "Ctrl+C";
    case CTRL_BREAK_EVENT + 1:
      return "Ctrl+Break";
    case CTRL_CLOSE_EVENT + 1:
      return "the console window closing";
    default:
      return "a console event";
  }
}

bool StandardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

// Console events come on a thread of their own; no other thread hears of them.
void BlockSignalsInThisThread() {}

}  // namespace jr
