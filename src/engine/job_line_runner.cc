#include "engine/job_line_runner.h"

#include "model/credential_references.h"
#include "platform/credentials.h"
#include "platform/shell_exec_task.h"

namespace jr {

std::string ClusterJobName(std::string_view run_name, int32_t job_line_nr) {
  return (run_name.empty() ? std::string("jobrunner") : std::string(run_name)) + "_" +
         std::to_string(job_line_nr);
}

Status LogLineMetadata(const RunLine& line, ProcessMetadataLogFactory& metadata) {
  // A line logs once it has ended, or failed to start, so both times are there.
  if (!line.StartingTime() || !line.StopTime()) {
    return Status::Failed("job line " + std::to_string(line.JobLineNr()) +
                          " has no start or stop time to log");
  }
  Result<std::unique_ptr<ProcessMetadataLog>> created = metadata.Create();
  if (!created.ok()) return created.status;
  ProcessMetadataLog& log = *created.value;
  log.SetEntryStatus(line.ErrorOccurred() ? 3 : 0);
  log.SetEntryLogFile(line.LogFileName());
  log.SetEntryStart(*line.StartingTime());
  log.SetEntryStop(*line.StopTime());
  log.SetEntryJobId(line.JobId());
  return log.WriteEntry(
      MetadataEntryArguments(line.definition().type, line.TimeLimitReached() ? "time limit" : ""));
}

void StampUnstarted(RunLine& line, const Clock& clock) {
  const TimePoint now = clock.Now();
  line.SetStartingTime(now);
  line.SetStopTime(now);
}

bool JobLineProgramEnded(RunLine& line, ProcessLauncher& launcher) {
  const ProcessHandle handle = line.ProcessId();
  ProcessHandle polled = handle;
  if (IsTaskRunning(launcher, polled)) return false;
  line.SetExitStatus(handle > 0 ? launcher.ExitStatus(handle) : std::nullopt);
  return true;
}

Result<JobLineStart> StartJobLine(RunLine& line, RunEnv& env, std::string_view run_name) {
  const std::string& program = line.Program();
  if (program.empty()) return JobLineStart{};
  const std::string& status_file = line.StatusFileName();
  if (!status_file.empty() && env.file_system.FileExists(status_file)) {
    if (Status removed = env.file_system.RemoveFile(status_file); !removed.ok()) return removed;
  }
  // The values exist only in this request: the line keeps its references, which is all
  // that its log, reports and history ever show.
  Result<std::vector<std::string>> arguments =
      WithCredentialValues(line.ProgramArguments(), CredentialFolder(env.registry));
  if (!arguments.ok())
    return JobLineStart{false, "could not start " + program + ": " + arguments.message()};
  const Result<ProcessHandle> started = env.launcher.TryStart(
      {program, std::move(arguments.value), ClusterJobName(run_name, line.JobLineNr()),
       line.definition().time_limit, line.OutputFileName()});
  line.SetProcessId(started.ok() ? started.value : 0);
  if (line.ProcessId() <= 0) {
    return JobLineStart{
        false, "could not start " + (started.ok() ? program + ": no process" : started.message())};
  }
  line.SetStartingTime(env.clock.Now());
  return JobLineStart{true, {}};
}

}  // namespace jr
