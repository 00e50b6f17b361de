#pragma once
// The descriptor through which a stop request wakes a waiting runner at once: the signal
// handler writes a byte into a pipe whose read end the launcher polls beside the pidfds
// of its children. A byte written before the wait began is still there when it begins,
// so no request is lost between looking at the flag and going to sleep.

namespace jr {

// The read end; -1 when the pipe could not be made.
int StopWakeFd();

// Reads what the handler wrote, so that only a new request wakes the next wait.
void DrainStopWake();

}  // namespace jr
