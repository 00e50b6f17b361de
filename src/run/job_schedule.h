#pragma once
// A job's schedule as the runner uses it: its days off, its next runs as systemd computes
// them, and the systemd service and timer that run it.

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "model/job.h"
#include "platform/clock.h"
#include "platform/systemd_calendar.h"
#include "platform/systemd_units.h"

namespace jr {

// The job's calendar file; a relative name is taken from the job file's folder, as a
// scheduler starts the run in another folder. Empty when the job has none.
std::string CalendarFilePath(const JobDocument& job);

// The days off of the calendar file `path`. Fails naming the file, and the line when one
// does not read: a calendar that silently stopped working would run jobs on days off.
Result<DaysOff> ReadDaysOff(const std::string& path);

// When `now` falls on a day off of the job's calendar (by the local date), the clause
// "today (2026-12-24) is a day off in CALENDAR"; empty when it does not or the job has no
// calendar. Fails as ReadDaysOff does.
Result<std::string> DayOffText(const JobDocument& job, TimePoint now);

struct PlannedRun {
  std::time_t time = 0;  // seconds since 1970 UTC
  bool day_off = false;  // falls on a day off: starts nothing
};

struct ScheduleLook {
  CalendarReading reading;
  // The next elapses up to the `count`-th that is no day off, each marked.
  std::vector<PlannedRun> runs;
  // Why the calendar file could not be read; its days are then not marked.
  std::string calendar_failure;
};

// Asks systemd for the next elapses of the job's schedule and marks those on days off.
ScheduleLook LookAhead(const JobDocument& job, size_t count);

// The runs of `look` that are no day off, as ISO local times.
std::vector<std::string> RunTimes(const ScheduleLook& look);

// Why the schedule of a reading cannot be used, naming the expression and with systemd's
// words; empty when it can (or when systemd-analyze is not there to ask).
std::string ScheduleProblem(const std::string& expression, const CalendarReading& reading);

// "jobrunner-" and the job file's FileNameTag: the name of its units without the suffix.
std::string UnitBaseName(const std::string& job_file);

// The job's service and timer, in that order, that run `job_file` with `program` at its
// schedule (see the README's "Scheduling"). Fails with the faults of the job's schedule
// attributes, or when it has no schedule.
Result<std::vector<UnitFile>> ScheduleUnitFiles(const JobDocument& job, const std::string& program,
                                                const std::string& job_file);

struct ScheduleInstall {
  UnitFolder place;
  std::vector<UnitFile> units;  // the service and the timer
  std::string next_run;         // ISO local time; empty when none is known
};

// Installs the units that run `job_file` (the job as read from it) at its schedule with
// this program, into UnitFolderFor(`root`); with `dry_run` only makes them. Refused, with
// the reason, for a schedule attribute that does not read, an expression systemd refuses or
// never runs (or without systemd-analyze), and a calendar that does not read.
Result<ScheduleInstall> InstallSchedule(JobDocument job, const std::string& job_file,
                                        const std::string& root, bool dry_run);

// A timer of a job installed in a unit folder.
struct InstalledTimer {
  std::string unit;      // the timer's file name
  std::string job_file;  // as its service starts it
  std::string schedule;  // its OnCalendar= value
  UnitFolder place;
};

// The runner's timers in `places`, in the order of the folders and then by name.
std::vector<InstalledTimer> InstalledTimers(const std::vector<UnitFolder>& places);

}  // namespace jr
