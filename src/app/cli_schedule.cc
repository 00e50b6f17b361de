#include "app/cli_schedule.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/cli.h"
#include "app/cli_check.h"
#include "jobfile/job_file.h"
#include "run/job_schedule.h"
#include "platform/utf8.h"

namespace jr {

int ScheduleCommand(const std::string& job_file, bool dry_run, const std::string& root) {
  JobDocument job;
  if (const ReadResult read = ReadJobFile(job_file, job); read.status != ReadStatus::kLoaded) {
    return RefuseUnloadedJob(read);
  }
  const Result<ScheduleInstall> install = InstallSchedule(std::move(job), job_file, root, dry_run);
  if (!install.ok()) {
    std::fprintf(stderr, "jobrunner: error: %s: %s; the schedule was not installed\n",
                 job_file.c_str(), install.message().c_str());
    return kExitCannotRun;
  }
  const std::string& folder = install.value.place.folder;
  if (dry_run) {
    for (const UnitFile& unit : install.value.units) {
      std::printf("### %s/%s\n%s\n", folder.c_str(), unit.name.c_str(), unit.text.c_str());
    }
  } else {
    std::printf("%s/%s installed; next run: %s\n", folder.c_str(),
                install.value.units.back().name.c_str(),
                install.value.next_run.empty() ? "none" : install.value.next_run.c_str());
  }
  return std::fflush(stdout) == 0 ? kExitNoErrors : kExitCannotWriteOutput;
}

int UnscheduleCommand(const std::string& job_file, const std::string& root) {
  const UnitFolder place = UnitFolderFor(root);
  const std::string name = UnitBaseName(job_file);
  std::error_code ec;
  const std::string timer = place.folder + "/" + name + ".timer";
  if (!place.folder.empty() &&
      !std::filesystem::exists(NativePath(timer), ec)) {
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
