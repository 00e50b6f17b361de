#pragma once
// Running the prepared job lines of one run to their end.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/run_control.h"
#include "engine/run_plan.h"
#include "model/run_env.h"
#include "model/run_lines.h"
#include "platform/shell_exec_task.h"
#include "platform/status.h"

namespace jr {

// How long children get to end after a polite request when a run is stopped.
inline constexpr std::chrono::milliseconds kStopGrace{10000};

struct SchedulerOutcome {
  enum class End {
    kAllOver,      // every line is over
    kStopOnError,  // a stop-on-error line failed
    kFailure,      // something inside a pass failed; `failure` says what
    kInterrupted,  // control.StopRequested(): running children were ended and marked failed
    kTimeLimit,    // the job's time limit was reached: ended as kInterrupted is
  };
  End end = End::kAllOver;
  std::string failure;
};

// Runs the lines until every one is over, a stop-on-error line fails, something inside a
// pass fails, or the control asks to stop. Never more than `maximum` lines run at a time.
// Lines that can never start (no program, a maximum below 1, wait lists that wait for
// themselves or for such lines) are ended as failed to start and reported through
// observers.LineCannotStart, so a run always ends. While lines run and nothing changed it
// calls control.Pause with at most 1000 ms, and no longer than to the nearest time limit.
// Every pass ends with observers.PassEnded, before the pause, and so does the call; a pass
// that starts programs calls observers.BeforeStarts before the first.
// `run_name` names the job lines' programs for a batch system (see StartJobLine).
//
// A running line whose TimeLimit has passed on env.clock since it started has its program
// ended (see ProcessLauncher::BeginTerminate), is reported through
// observers.LineTimeLimitReached, gets the time-limit line appended to its log file and,
// once its program is gone, finishes as failed, its error lists applied. `job_time_limit`
// (zero: none) counts from the call; when it passes, the run ends as a stop from outside
// does. A repeat copy with a repeat delay starts no earlier than the plan allows: the pause
// ends at that time too. A repeat the line's repeat limit refuses is reported through
// observers.LineRepeatRefused and noted in the ended line's log file; the run goes on. A
// program that could not be started has the reason appended to its line's log file and
// reported through observers.LineStartFailed before the line finishes as failed.
SchedulerOutcome RunScheduler(RunLines& collection, int32_t maximum, RunEnv& env,
                              RunControl& control, const RunObservers& observers,
                              std::string_view run_name = {},
                              std::chrono::seconds job_time_limit = {});

// What the runner appends to the log file of a line it ended at its time limit.
std::string TimeLimitLogText(int32_t seconds);

// Why job line `line_number` was not repeated again: "job line N: repeated C times; no
// further repeat". With "jobrunner: " before it, it ends the log file of the line whose
// end asked for the repeat.
std::string RepeatRefusedText(int32_t line_number, int32_t copies);

// True when the running line is to be treated as finished: its status line is neither
// empty nor "running" (any case, blanks around ignored), or its process has ended. A line
// found finished by its status line while its process may still run has that process
// handed back to the launcher, which reaps it when it ends.
bool IsJobLineFinished(RunLine& line, RunEnv& env);

// The verdict of a finished line from its status line: a line without a status file name
// succeeds when its program exited with 0 (see FailedByExitStatus); one whose status line is
// "ok" (any case, blanks around ignored) succeeds. A failing status line other than exactly
// "failure" or "running" names lines to repeat.
struct LineVerdict {
  bool failed = false;
  std::optional<std::string> repeat;
};
LineVerdict JudgeLine(const RunLine& line, std::string_view status);


}  // namespace jr
