#include "app/cli_batch_file.h"

#include <cstdio>

#include "app/cli.h"
#include "app/cli_check.h"
#include "jobfile/job_file.h"
#include "platform/environment.h"
#include "run/batch_file.h"

namespace jr {

int BatchFileCommand(const std::string& job_file, const std::optional<std::string>& out_file) {
  JobDocument job;
  if (const ReadResult read = ReadJobFile(job_file, job); read.status != ReadStatus::kLoaded) {
    return RefuseUnloadedJob(read);
  }
  const std::string program = ProgramFilePath();
  if (program.empty()) {
    std::fputs(
        "jobrunner: error: the program's own file, which the batch file is to start, "
        "cannot be found\n",
        stderr);
    return kExitCannotRun;
  }
  const std::string text = BatchFileText(program, UnattendedJobFileName(job_file));
  if (!out_file) {
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() ||
        std::fflush(stdout) != 0) {
      std::perror("jobrunner: cannot write the batch file");
      return kExitCannotWriteOutput;
    }
    return kExitNoErrors;
  }
  if (const Status written = WriteBatchFile(*out_file, text); !written.ok()) {
    std::fprintf(stderr, "jobrunner: error: %s\n", written.message.c_str());
    return kExitCannotWriteOutput;
  }
  return kExitNoErrors;
}

}  // namespace jr
