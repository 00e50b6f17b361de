#pragma once
// Starting one job line's program and recording the outcome in the line.

#include <string>
#include <string_view>

#include "model/run_line.h"
#include "model/run_env.h"
#include "platform/status.h"

namespace jr {

// The name a batch system shows for a job line's program: "<run name>_<job line number>"
// ("jobrunner" stands in for a missing run name).
std::string ClusterJobName(std::string_view run_name, int32_t job_line_nr);

// Starts the line's program with its options, named for a batch system after `run_name`
// and the line's number. A line without a program is left as it is and gives false. An
// existing status file is deleted first, so that no verdict of an earlier run can be read.
// When the start succeeds the line is running (ProcessId, StartingTime, IsRunning); when
// it fails the line is ended as failed to start (see EndAsFailedToStart). The value is
// the line's IsRunning; a failure when the old status file cannot be deleted or the
// metadata log fails: that ends the scheduler.
Result<bool> StartJobLine(RunLine& line, RunEnv& env, std::string_view run_name);

// Polls the running line's program: true once it has ended, with how it ended recorded in
// the line (RunLine::ExitStatus).
bool JobLineProgramEnded(RunLine& line, ProcessLauncher& launcher);

// Marks a waiting line failed and over as a line whose program could not be started:
// ErrorOccurred and AlreadyRun set, IsRunning cleared, both times stamped, metadata logged.
// Fails when the metadata log fails.
Status EndAsFailedToStart(RunLine& line);

}  // namespace jr
