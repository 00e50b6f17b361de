#include "app/cli_schedule.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/cli.h"
#include "app/cli_batch_file.h"
#include "app/cli_check.h"
#include "jobfile/job_file.h"
#include "platform/environment.h"
#include "run/job_schedule.h"

namespace jr {
namespace {

int Refuse(const std::string& job_file, const std::string& why) {
  std::fprintf(stderr, "jobrunner: error: %s: %s; the schedule was not installed\n",
               job_file.c_str(), why.c_str());
  return kExitCannotRun;
}

}  // namespace

int ScheduleCommand(const std::string& job_file, bool dry_run, const std::string& root) {
  JobDocument job;
  if (const ReadResult read = ReadJobFile(job_file, job); read.status != ReadStatus::kLoaded) {
    return RefuseUnloadedJob(read);
  }
  const std::string unattended = UnattendedJobFileName(job_file);
  job.FileName = unattended;
  const std::string program = ProgramFilePath();
  if (program.empty()) return Refuse(job_file, "the program's own file cannot be found");
  Result<std::vector<UnitFile>> units = ScheduleUnitFiles(job, program, unattended);
  if (!units.ok()) return Refuse(job_file, units.message());
  // What systemd would refuse or never run is refused before anything is written.
  const ScheduleLook look = LookAhead(job, 1);
  if (look.reading.kind == CalendarReading::Kind::kNoTool) {
    return Refuse(job_file, std::string("systemd-analyze not found; ") + kNoSystemd);
  }
  if (const std::string problem = ScheduleProblem(job.schedule.Schedule, look.reading);
      !problem.empty()) {
    return Refuse(job_file, problem);
  }
  if (!look.calendar_failure.empty()) return Refuse(job_file, look.calendar_failure);
  const UnitFolder place = UnitFolderFor(root);
  if (dry_run) {
    for (const UnitFile& unit : units.value) {
      std::printf("### %s/%s\n%s\n", place.folder.c_str(), unit.name.c_str(), unit.text.c_str());
    }
    return std::fflush(stdout) == 0 ? kExitNoErrors : kExitCannotWriteOutput;
  }
  if (const Status installed = InstallUnits(place, units.value); !installed.ok()) {
    return Refuse(job_file, installed.message);
  }
  const std::vector<std::string> times = RunTimes(look);
  std::printf("%s/%s installed; next run: %s\n", place.folder.c_str(),
              units.value.back().name.c_str(), times.empty() ? "none" : times.front().c_str());
  return kExitNoErrors;
}

int UnscheduleCommand(const std::string& job_file, const std::string& root) {
  const UnitFolder place = UnitFolderFor(root);
  const std::string name = UnitBaseName(job_file);
  std::error_code ec;
  const std::string timer = place.folder + "/" + name + ".timer";
  if (!place.folder.empty() &&
      !std::filesystem::exists(std::filesystem::path(std::u8string(timer.begin(), timer.end())), ec)) {
    std::fprintf(stderr, "jobrunner: %s: no schedule of the job is installed in %s\n",
                 job_file.c_str(), place.folder.c_str());
    return kExitNoErrors;
  }
  if (const Status removed = RemoveUnits(place, {name + ".service", name + ".timer"});
      !removed.ok()) {
    std::fprintf(stderr, "jobrunner: error: %s: %s\n", job_file.c_str(), removed.message.c_str());
    return kExitCannotRun;
  }
  return kExitNoErrors;
}

}  // namespace jr
