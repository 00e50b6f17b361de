#include "engine/job_line_runner.h"

#include "platform/shell_exec_task.h"

namespace jr {

std::string ClusterJobName(std::string_view run_name, int32_t job_line_nr) {
  return (run_name.empty() ? std::string("jobrunner") : std::string(run_name)) + "_" +
         std::to_string(job_line_nr);
}

Status EndAsFailedToStart(RunLine& line) {
  line.setErrorOccurred(true);
  line.setIsRunning(false);
  line.setAlreadyRun(true);
  line.SetStartingTime();
  line.SetStopTime();
  return line.LogProcessMetaData();
}

bool JobLineProgramEnded(RunLine& line, ProcessLauncher& launcher) {
  const ProcessHandle handle = line.ProcessId();
  ProcessHandle polled = handle;
  if (IsTaskRunning(launcher, polled)) return false;
  line.setExitStatus(handle > 0 ? launcher.ExitStatus(handle) : std::nullopt);
  return true;
}

Result<bool> StartJobLine(RunLine& line, RunEnv& env, std::string_view run_name) {
  const std::string& program = line.ProgramExecuter();
  if (program.empty()) return false;
  const std::string& status_file = line.StatusFileName();
  if (!status_file.empty() && env.file_system.FileExists(status_file)) {
    if (Status removed = env.file_system.RemoveFile(status_file); !removed.ok()) return removed;
  }
  line.setProcessId(
      ShellExecTask(env.launcher, {program, line.ProgramArguments(),
                                   ClusterJobName(run_name, line.JobLineNr()), line.TimeLimit()}));
  if (line.ProcessId() > 0) {
    line.SetStartingTime();
    line.setIsRunning(true);
  } else if (Status ended = EndAsFailedToStart(line); !ended.ok()) {
    return ended;
  }
  return line.IsRunning();
}

}  // namespace jr
