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

// How a job line's start went.
struct JobLineStart {
  bool started = false;  // the program runs (ProcessId and StartingTime set)
  // Why a program could not be started: "could not start PROGRAM: REASON" with the system's
  // reason. Empty when it was started, or when the line has no program.
  std::string failure;
};

// Starts the line's program with its options, named for a batch system after `run_name`
// and the line's number. An existing status file is deleted first, so that no verdict of an
// earlier run can be read. Not started for a line without a program or a program that
// could not be started. Fails when the old status file cannot be deleted.
Result<JobLineStart> StartJobLine(RunLine& line, RunEnv& env, std::string_view run_name);

// Stamps both times of a line that ended without its program ever running (its state
// already failed); its metadata is still to be logged.
void StampUnstarted(RunLine& line, const Clock& clock);

// Writes the ended line's entry to the process metadata log: its verdict (0 or 3), log
// file, times and job id. Fails when the log cannot be created or written.
Status LogLineMetadata(const RunLine& line, ProcessMetadataLogFactory& metadata);

// Polls the running line's program: true once it has ended, with how it ended recorded in
// the line (RunLine::ExitStatus).
bool JobLineProgramEnded(RunLine& line, ProcessLauncher& launcher);

}  // namespace jr
