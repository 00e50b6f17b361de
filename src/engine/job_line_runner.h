#pragma once
// Starting one job line's program and recording the outcome in the line.

#include <string>

#include "model/job_line.h"
#include "model/run_env.h"

namespace jr {

// Starts the line's program with its options. A line without a program is left as it
// is and gives false. An existing status file is deleted first, so that no verdict of an
// earlier run can be read. When the start succeeds the line is running (ProcessId,
// StartingTime, IsRunning); when it fails the line is ended as failed to start (see
// EndAsFailedToStart). Returns the line's IsRunning. False with `failure` set when the
// old status file cannot be deleted or the metadata log fails: that ends the scheduler.
bool StartJobLine(clsJobLine& line, RunEnv& env, std::string* failure);

// Marks a waiting line failed and over as a line whose program could not be started:
// ErrorOccured and AlreadyRun set, IsRunning cleared, both times stamped, metadata logged.
// False with `failure` set when the metadata log fails.
bool EndAsFailedToStart(clsJobLine& line, std::string* failure);

}  // namespace jr
