#include "engine/job_line_runner.h"

#include "platform/shell_exec_task.h"

namespace jr {
namespace {

// Callers tell a failure from a line that did not start by `failure` being set, so a
// failure always carries a text, even when the seam gave none.
void Report(std::string* failure, std::string text, std::string fallback) {
  if (failure) *failure = text.empty() ? std::move(fallback) : std::move(text);
}

}  // namespace

bool EndAsFailedToStart(clsJobLine& line, std::string* failure) {
  line.setErrorOccured(true);
  line.setIsRunning(false);
  line.setAlreadyRun(true);
  line.SetStartingTime();
  line.SetStopTime();
  std::string error;
  if (line.LogProcessMetaData(&error)) return true;
  Report(failure, std::move(error),
         "the process metadata log failed for job line " + std::to_string(line.JobLineNr()));
  return false;
}

bool StartJobLine(clsJobLine& line, RunEnv& env, std::string* failure) {
  const std::string& program = line.ProgramExecuter();
  if (program.empty()) return false;
  const std::string& status_file = line.StatusFileName();
  if (!status_file.empty() && env.file_system.FileExists(status_file)) {
    std::string error;
    if (!env.file_system.RemoveFile(status_file, &error)) {
      Report(failure, std::move(error), "cannot delete the old status file " + status_file);
      return false;
    }
  }
  env.launcher.SetJobLineNr(line.JobLineNr());
  line.setProcessId(ShellExecTask(env.launcher, program, line.ProgramOptions()));
  if (line.ProcessId() > 0) {
    line.SetStartingTime();
    line.setIsRunning(true);
  } else if (!EndAsFailedToStart(line, failure)) {
    return false;
  }
  return line.IsRunning();
}

}  // namespace jr
