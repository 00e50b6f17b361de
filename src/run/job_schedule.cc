#include "run/job_schedule.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <sstream>
#include <system_error>

#include "engine/scheduler.h"
#include "platform/credentials.h"
#include "platform/environment.h"
#include "platform/file_digest.h"
#include "platform/registry.h"
#include "platform/regular_file.h"
#include "platform/utf8.h"
#include "run/batch_file.h"
#include "run/preflight.h"

namespace jr {
namespace {

namespace fs = std::filesystem;

// How far ahead the next runs are looked for when days off may hide some: a year of
// nightly runs, or two weeks of hourly ones.
constexpr int kLookAheadIterations = 400;

// What systemd would expand in a unit file's value is written so that it reads back as the
// text: "%" (its specifiers) always, "$" (its variables) in a command line.
std::string UnitEscaped(std::string_view text, bool command) {
  std::string out;
  for (char c : text) {
    if (c == '%')
      out += "%%";
    else if (c == '$' && command)
      out += "$$";
    else if (c == '\n' || c == '\r')
      out += command ? "\\n" : " ";
    else
      out += c;
  }
  return out;
}

// A word of a command line or an assignment, in double quotes with C escapes.
std::string UnitQuoted(std::string_view text, bool command) {
  std::string out = "\"";
  for (char c : UnitEscaped(text, command)) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

// The double-quoted words of a line that UnitQuoted wrote, as they were before.
std::vector<std::string> UnquotedWords(std::string_view line) {
  std::vector<std::string> words;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] != '"') continue;
    std::string word;
    for (++i; i < line.size() && line[i] != '"'; ++i) {
      if (line[i] == '\\' && i + 1 < line.size()) {
        ++i;
        word += line[i] == 'n' ? '\n' : line[i];
      } else if ((line[i] == '%' || line[i] == '$') && i + 1 < line.size() &&
                 line[i + 1] == line[i]) {
        word += line[i++];
      } else {
        word += line[i];
      }
    }
    words.push_back(std::move(word));
  }
  return words;
}

// The value of the first "KEY=" line of a unit file's text.
std::string UnitValue(const std::string& text, std::string_view key) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with(key) && line.size() > key.size() && line[key.size()] == '=') {
      return line.substr(key.size() + 1);
    }
  }
  return {};
}

// Calendar and unit files are a few lines; a named pipe or a device in their place is
// refused instead of holding an unattended run for ever.
constexpr size_t kMaxScheduleFileBytes = 1 << 20;

std::optional<std::string> ReadText(const std::string& path) {
  FileReadResult file = ReadRegularFile(path, kMaxScheduleFileBytes);
  if (!file.ok()) return std::nullopt;
  return std::move(file.text);
}

}  // namespace

std::string CalendarFilePath(const JobDocument& job) {
  const std::string& calendar = job.schedule.Calendar;
  if (calendar.empty()) return {};
  const fs::path path = NativePath(calendar);
  if (path.is_absolute() || job.FileName.empty()) return calendar;
  return Utf8Name((NativePath(job.FileName).parent_path() / path).lexically_normal());
}

Result<DaysOff> ReadDaysOff(const std::string& path) {
  const FileReadResult file = ReadRegularFile(path, kMaxScheduleFileBytes);
  if (!file.ok()) {
    return Status::Failed("cannot read the calendar file \"" + path + "\": " + file.cause);
  }
  return DaysOff::Parse(file.text, path);
}

Result<std::string> DayOffText(const JobDocument& job, TimePoint now) {
  const std::string path = CalendarFilePath(job);
  if (path.empty()) return std::string();
  const Result<DaysOff> days = ReadDaysOff(path);
  if (!days.ok()) return days.status;
  const std::string today = LocalDateText(std::chrono::system_clock::to_time_t(now));
  if (!days.value.Contains(today)) return std::string();
  return "today (" + today + ") is a day off in " + path;
}

ScheduleLook LookAhead(const JobDocument& job, size_t count) {
  ScheduleLook look;
  std::optional<DaysOff> days;
  if (const std::string path = CalendarFilePath(job); !path.empty()) {
    Result<DaysOff> read = ReadDaysOff(path);
    if (read.ok()) {
      days = std::move(read.value);
    } else {
      look.calendar_failure = read.message();
    }
  }
  look.reading =
      ReadCalendar(job.schedule.Schedule, days ? kLookAheadIterations : static_cast<int>(count));
  size_t working = 0;
  for (std::time_t time : look.reading.elapses) {
    if (working == count) break;
    const bool off = days && days->Contains(LocalDateText(time));
    look.runs.push_back({time, off});
    if (!off) ++working;
  }
  return look;
}

std::vector<std::string> RunTimes(const ScheduleLook& look) {
  std::vector<std::string> times;
  for (const PlannedRun& run : look.runs) {
    if (!run.day_off) times.push_back(IsoLocalText(run.time));
  }
  return times;
}

std::string ScheduleProblem(const std::string& expression, const CalendarReading& reading) {
  switch (reading.kind) {
    case CalendarReading::Kind::kRefused:
      return "the schedule \"" + expression +
             "\" is no calendar expression systemd takes: " + reading.words;
    case CalendarReading::Kind::kNever:
      return "the schedule \"" + expression +
             "\" never elapses again: systemd says \"Next elapse: never\"";
    case CalendarReading::Kind::kElapses:
    case CalendarReading::Kind::kNoTool:
      break;
  }
  return {};
}

std::string UnitBaseName(const std::string& job_file) {
  return "jobrunner-" + FileNameTag(AbsoluteFileName(job_file));
}

Result<std::vector<UnitFile>> ScheduleUnitFiles(const JobDocument& job, const std::string& program,
                                                const std::string& job_file) {
  const ScheduleAttributes& schedule = job.schedule;
  std::vector<std::string> faults = ScheduleFaults(schedule);
  if (schedule.Schedule.find_first_not_of(' ') == std::string::npos) {
    faults.insert(faults.begin(), "the job has no Schedule");
  }
  if (!faults.empty()) {
    std::string text = faults.front();
    for (size_t i = 1; i < faults.size(); ++i) text += "; " + faults[i];
    return Status::Failed(text);
  }
  const std::string name = UnitBaseName(job_file);
  const std::string description =
      "Description=Extraction Job Runner: " +
      UnitEscaped(job.Description.empty() ? job_file : job.Description, false);
  std::string service = "# Written by jobrunner --schedule " + UnitEscaped(job_file, false) +
                        "; run it again after the job's schedule changed.\n[Unit]\n" + description +
                        "\n\n[Service]\nType=oneshot\nExecStart=" + UnitQuoted(program, true) +
                        " " + UnitQuoted(job_file, true) + "\n";
  for (const auto& [variable, value] : UnattendedVariables()) {
    service += "Environment=" + UnitQuoted(variable + "=" + value, false) + "\n";
  }
  // systemd hands each credential to the run in $CREDENTIALS_DIRECTORY, which a run reads
  // first; the file stays readable by root alone.
  const std::string folder = CredentialFolder(*MakeSystemRegistryReader());
  std::vector<std::string> credentials;
  for (const CredentialUse& use : CredentialUses(job.table, job.table.LineCount(), folder)) {
    if (std::find(credentials.begin(), credentials.end(), use.name) != credentials.end()) continue;
    credentials.push_back(use.name);
    service +=
        "LoadCredential=" + use.name + ":" + UnitEscaped(folder + "/" + use.name, false) + "\n";
  }
  // Stopped, the runner gives its lines their grace and then writes its reports.
  const auto stop_seconds = std::chrono::duration_cast<std::chrono::seconds>(kStopGrace).count();
  service +=
      "TimeoutStopSec=" + std::to_string(stop_seconds + 50) + "\nSyslogIdentifier=jobrunner\n";
  const std::string timer =
      "# Written by jobrunner --schedule " + UnitEscaped(job_file, false) + "\n[Unit]\n" +
      description + " (schedule)\n\n[Timer]\nOnCalendar=" + UnitEscaped(schedule.Schedule, false) +
      "\nPersistent=" + (ParseCatchUp(schedule.CatchUp).value ? "true" : "false") +
      "\nRandomizedDelaySec=" + std::to_string(ParseRandomDelay(schedule.RandomDelay).value) +
      "\n\n[Install]\nWantedBy=timers.target\n";
  return std::vector<UnitFile>{{name + ".service", service}, {name + ".timer", timer}};
}

Result<ScheduleInstall> InstallSchedule(JobDocument job, const std::string& job_file,
                                        const std::string& root, bool dry_run) {
  const std::string unattended = UnattendedJobFileName(job_file);
  job.FileName = unattended;
  const std::string program = ProgramFilePath();
  if (program.empty()) return Status::Failed("the program's own file cannot be found");
  Result<std::vector<UnitFile>> units = ScheduleUnitFiles(job, program, unattended);
  if (!units.ok()) return units.status;
  // What systemd would refuse or never run is refused before anything is written.
  const ScheduleLook look = LookAhead(job, 1);
  if (look.reading.kind == CalendarReading::Kind::kNoTool) {
    return Status::Failed(std::string("systemd-analyze not found; ") + kNoSystemd);
  }
  if (std::string problem = ScheduleProblem(job.schedule.Schedule, look.reading);
      !problem.empty()) {
    return Status::Failed(std::move(problem));
  }
  if (!look.calendar_failure.empty()) return Status::Failed(look.calendar_failure);
  ScheduleInstall install{UnitFolderFor(root), std::move(units.value), {}};
  if (const std::vector<std::string> times = RunTimes(look); !times.empty()) {
    install.next_run = times.front();
  }
  if (!dry_run) {
    if (Status installed = InstallUnits(install.place, install.units); !installed.ok()) {
      return installed;
    }
  }
  return install;
}

std::vector<InstalledTimer> InstalledTimers(const std::vector<UnitFolder>& places) {
  std::vector<InstalledTimer> timers;
  for (const UnitFolder& place : places) {
    std::error_code ec;
    std::vector<std::string> names;
    for (fs::directory_iterator it(NativePath(place.folder), ec), end; !ec && it != end;
         it.increment(ec)) {
      const std::string name = Utf8Name(it->path().filename());
      if (name.starts_with("jobrunner-") && name.ends_with(".timer")) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
      const std::string timer = ReadText(place.folder + "/" + name).value_or("");
      const std::string service =
          ReadText(place.folder + "/" + name.substr(0, name.size() - 6) + ".service").value_or("");
      const std::vector<std::string> words = UnquotedWords(UnitValue(service, "ExecStart"));
      std::string schedule = UnitValue(timer, "OnCalendar");
      for (size_t at = 0; (at = schedule.find("%%", at)) != std::string::npos; ++at) {
        schedule.erase(at, 1);
      }
      timers.push_back({name, words.size() >= 2 ? words[1] : std::string(), schedule, place});
    }
  }
  return timers;
}

}  // namespace jr
