#pragma once
// A generated job of any size, as catalogue-made jobs are: one line per step, each waiting
// for the one before, a mix of line types, every fifth line switched off.

#include <algorithm>
#include <string>

#include "jobfile/job_file.h"
#include "model/job_rules.h"

namespace jr::bench {

inline JobDocument LargeJob(int lines, const std::string& folder) {
  const char* types[] = {"Flow Runner", "User Batchfile", "Health Inspector", "Settings Editor"};
  JobDocument job;
  job.Description = "Nightly extraction of the sales data mart";
  job.LogFile = folder + "/admin_report.htm";
  job.UserFile = folder + "/user_report.htm";
  job.TempLogDir = folder;
  job.MaxParallel = "4";
  job.table.SetJobLineCount(lines);
  // Numbers ten apart, closer where that would pass the highest number a line may have.
  const int step = std::clamp(kHighestJobLineNr / std::max(lines, 1), 1, 10);
  for (int row = 0; row < lines; ++row) {
    const int number = (row + 1) * step;
    const bool own = row % 4 == 1;
    job.table.Set(kColNumber, row, std::to_string(number));
    job.table.Set(kColDescription, row, "Load step " + std::to_string(row + 1));
    job.table.Set(kColType, row, types[row % 4]);
    job.table.Set(kColOptions, row, own ? "" : "-mode full -retries 2");
    job.table.Set(kColWait, row, row == 0 ? "" : std::to_string(number - step));
    job.table.Set(kColStopOnError, row, row % 3 == 0 ? "true" : "false");
    job.table.Set(kColActive, row, row % 5 == 4 ? "false" : "true");
    job.table.Set(kColBatchFile, row, own ? folder + "/step.sh" : std::string());
    for (int column = kColLogFile; column <= kColRepeatOnSuccess; ++column) {
      job.table.Set(column, row, "");
    }
  }
  return job;
}

}  // namespace jr::bench
