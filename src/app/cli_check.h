#pragma once
// `jobrunner --check FILE`: loads a job file as the editor's Open does and prints what it
// holds, so that a hand-edited file can be checked before an unattended run meets it.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/cli_run.h"
#include "jobfile/job_file.h"
#include "platform/process_launcher.h"
#include "platform/registry.h"
#include "platform/status.h"

namespace jr {

// Standard output could not be written (sysexits' EX_IOERR).
inline constexpr int kExitCannotWriteOutput = 74;

// `args` are the words after "--check", joined with single blanks into the file name as
// in an unattended run. Prints the job as one JSON object on standard output and returns
// 0; a refused file gives "Open: <message>" (and a line with the cause) on standard error
// and 3; no file name gives the usage and 64.
// With `rerun`, the object gains "rerun": the run and the job lines its rerun would take
// as over and would run; a rerun that would be refused is refused here too, with 3.
// What a run would meet before its first line is named as warnings; with `strict` a file
// that loads but has any of them gives 1. The schedule members follow "credentials":
// "Schedule", "CatchUp", "RandomDelay", "Calendar" (null for a value a run would not take)
// and "next_runs", the next five runs that are no day off as systemd computes them (null
// without a schedule or without systemd-analyze); a schedule differing from the one the
// installed timer (in the image `root`, when given) runs is named as a warning. A calendar
// file that a run could not read gives 4.
int RunCheck(const std::vector<std::string>& args,
             const std::optional<RerunOption>& rerun = std::nullopt, bool strict = false,
             const std::string& root = {});

// Tells why the job file of a command was not loaded ("Open: <message>" and a line with the
// cause, when there is one, on standard error) and returns the exit status for it, 3.
int RefuseUnloadedJob(const ReadResult& read);

// The job as one JSON object: the header texts, LogToEventLog as 0 or 1, and "lines",
// one array of 14 cells per job line in table order, a cell a string or null for no
// value. Text that is not valid UTF-8 has each offending byte replaced by U+FFFD.
// `more_members`, when not empty, is JSON text of further members, added last.
std::string JobJson(const JobDocument& job, std::string_view more_members = {});

// What --check needs to look at outside the process to tell whether the cluster would
// take job lines.
class LauncherProbe {
 public:
  virtual ~LauncherProbe() = default;
  // The full name of `program` found on PATH; empty when there is none.
  virtual std::string FindOnPath(std::string_view program) = 0;
  // Runs `program` with `arguments` to its end.
  virtual Result<ProgramOutput> Run(const std::string& program,
                                    const std::vector<std::string>& arguments) = 0;
};

// The probe of this machine, through the platform's process seam.
std::unique_ptr<LauncherProbe> MakeSystemLauncherProbe();

// Lines (each ending in a line break) telling the launcher in use and, for the cluster,
// whether srun is found and the controller answers; what is wrong starts with "error:".
// Empty when the registry sets no launcher type: job lines run here, as they always did.
std::string DescribeLauncher(RegistryReader& registry, LauncherProbe& probe);

}  // namespace jr
