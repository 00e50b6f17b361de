#pragma once
// What a run needs before its first job line starts, looked at before anything starts, so
// that an unattended run does not stop halfway (or run without its reports) for something
// that was wrong from the beginning.

#include <cstdint>
#include <string>
#include <vector>

#include "model/job_line_table.h"
#include "model/run_env.h"

namespace jr {

struct PreflightProblem {
  // The run cannot go on without it: nothing may start. Otherwise the run goes ahead and
  // the problem shows where it strikes (a line that fails to start, a missing report).
  bool refuses = false;
  std::string text;
};

// The problems of a run of the first `row_count` rows of `table` on `env`, whose process
// metadata database is `database` and whose run folder is made in `log_file_folder`: a
// database that cannot be written or exists but is no database (looked at read-only), a
// log-file folder that may not be written or is missing and cannot be made, and a registry
// file named by JOBRUNNER_REGISTRY that cannot be read and a credential an active line
// refers to that cannot be read (ReadCredential) refuse the run; a report generator or
// a template that is missing and an active line whose program is missing do not.
// A credential that an active line of a run refers to (see CredentialReferences).
struct CredentialUse {
  int32_t line = 0;
  std::string description;  // the line's
  std::string name;
  std::string problem;  // why it cannot be read now, as ReadCredential says; empty when it can
};

// The credentials the active lines among the first `row_count` rows of `table` refer to, by
// line in table order, each read from `folder` (CredentialFolder) and its value dropped.
std::vector<CredentialUse> CredentialUses(const JobLineTable& table, int row_count,
                                          const std::string& folder);

std::vector<PreflightProblem> PreflightProblems(const JobLineTable& table, int row_count,
                                                RunEnv& env, const std::string& database,
                                                const std::string& log_file_folder);

}  // namespace jr
