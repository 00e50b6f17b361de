#pragma once
// The event through which a stop request wakes a waiting runner at once: the console's
// control handler sets it, the launcher's wait includes it. It resets when a wait
// returns on it, so that only a new request wakes the next wait.

#include <windows.h>

namespace jr {

// The event; null when it could not be made.
HANDLE StopWakeEvent();

}  // namespace jr
