#include "app/cli_graph.h"

#include <cstdio>

#include "app/cli.h"
#include "app/cli_check.h"
#include "insight/job_graph.h"
#include "jobfile/job_file.h"
#include "platform/file_digest.h"
#include "platform/metadata_location.h"

namespace jr {

int RunGraphCommand(const std::string& job_file, const std::string& run_id) {
  JobDocument job;
  const ReadResult read = ReadJobFile(job_file, job);
  if (read.status != ReadStatus::kLoaded) return RefuseUnloadedJob(read);
  std::optional<GraphRun> run;
  if (!run_id.empty()) {
    // The critical path is not drawn here yet: only the outcomes are read.
    Result<std::optional<GraphRun>> read_run =
        ReadGraphRun(SystemMetadataDatabasePath(), AbsoluteFileName(job_file), run_id);
    if (!read_run.ok()) {
      std::fprintf(stderr, "jobrunner: %s\n", read_run.message().c_str());
      return kExitBadJobFile;
    }
    run = std::move(read_run.value);
  }
  const std::string dot = JobGraphDot(job.table, run);
  if (std::fwrite(dot.data(), 1, dot.size(), stdout) != dot.size() || std::fflush(stdout) != 0) {
    std::perror("jobrunner: cannot write the graph");
    return kExitCannotWriteOutput;
  }
  return kExitNoErrors;
}

}  // namespace jr
