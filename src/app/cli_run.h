#pragma once
// Unattended runs: `jobrunner JOBFILE`.

#include <optional>
#include <string>

#include "jobfile/job_file.h"
#include "platform/status.h"
#include "run/preflight.h"
#include "run/run_job.h"

namespace jr {

// `--rerun RUNID [--force] [--downstream]`.
struct RerunOption {
  std::string run_id;
  bool force = false;       // run it although the job file changed since that run
  bool downstream = false;  // also the lines that wait for one run again
};

// Loads the job file, runs the job and writes its reports. Returns the exit status:
// 0, 1 or 2 by the run's final status, 3 when the file cannot be loaded or is no job
// file, 4 when the job cannot be run at all, 5 when another run of the job goes on and the
// job's overlap policy refuses a second one. Messages go to standard error; progress too,
// when standard error is a terminal. With `rerun`, the run is a rerun of that run, refused
// with 3 as RerunBasisFor says. On a day off of the job's calendar nothing starts and the
// exit status is 0, unless `ignore_calendar`.
int RunFromCommandLine(const std::string& job_file,
                       const std::optional<RerunOption>& rerun = std::nullopt,
                       bool ignore_calendar = false);

// The earlier run of a rerun of `job_file` from this machine's run history. Fails when it
// is no run of the job file, and when the job file changed since that run unless
// `option.force`; a forced rerun of a changed file is told as a warning on standard error.
Result<RerunBasis> RerunBasisFor(const std::string& job_file, const RerunOption& option);

// For --check: what a run of `job` from `job_file` would meet before its first line (see
// PreflightProblems), each named on standard error as a warning, also what would refuse
// the run.
std::vector<PreflightProblem> WarnPreflightProblems(const std::string& job_file,
                                                    const JobDocument& job);

// For --check: names on standard error, as warnings, what a run of `job`, read from
// `job_file` as `read` says, would warn of before anything else (see JobWarnings); returns
// how many.
size_t NameJobWarnings(const std::string& job_file, const ReadResult& read, const JobDocument& job);

}  // namespace jr
