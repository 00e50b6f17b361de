#include "app/cli_check.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <sstream>

#include "app/cli.h"
#include "engine/command_line_builder.h"
#include "launch/slurm_launcher.h"
#include "model/job_line.h"
#include "model/job_rules.h"
#include "model/notify_rules.h"
#include "platform/blanks.h"
#include "platform/credentials.h"
#include "platform/installation.h"
#include "platform/program_command.h"
#include "run/job_schedule.h"
#include "run/preflight.h"
#include "run/rerun_plan.h"

namespace jr {
namespace {

std::string FirstLine(const std::string& text) {
  std::string line = text.substr(0, text.find('\n'));
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

class SystemLauncherProbe final : public LauncherProbe {
 public:
  std::string FindOnPath(std::string_view program) override { return jr::FindOnPath(program); }
  Result<ProgramOutput> Run(const std::string& program,
                            const std::vector<std::string>& arguments) override {
    return RunAndCapture({program, arguments, std::string()});
  }
};

// A JSON string of any bytes: invalid UTF-8 bytes become U+FFFD, so that whatever a file
// holds still makes valid JSON. The library writes backspace and form feed as \b and \f and
// DEL as it is; --check has always written them as \u0008, \u000c and \u007f, and
// scripts may compare its output.
void AppendJsonString(std::string& out, std::string_view text) {
  const std::string json = nlohmann::json(std::string(text))
                               .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  for (size_t i = 0; i < json.size(); ++i) {
    if (json[i] == '\\' && i + 1 < json.size()) {
      const char escaped = json[++i];
      out += escaped == 'b' ? "\\u0008" : escaped == 'f' ? "\\u000c" : std::string{'\\', escaped};
    } else if (json[i] == '\x7f') {
      out += "\\u007f";
    } else {
      out += json[i];
    }
  }
}

// The layout (one job line a row) is kept by hand; the library writes each value.
void AppendMember(std::string& out, std::string_view name, std::string_view value) {
  AppendJsonString(out, name);
  out += ": ";
  AppendJsonString(out, value);
  out += ", ";
}

// The "rerun" member: the run, and the lines its rerun takes as over and runs.
std::string RerunMember(const std::string& run_id, const RerunPlan& plan) {
  auto numbers = [](const std::vector<int32_t>& lines) {
    std::string list = "[";
    for (int32_t line : lines)
      list += (list.size() > 1 ? ", \"" : "\"") + std::to_string(line) + "\"";
    return list + "]";
  };
  std::string out = "\"rerun\": {\"run_id\": ";
  AppendJsonString(out, run_id);
  return out + ", \"over\": " + numbers(plan.over) + ", \"to_run\": " + numbers(plan.to_run) + "}";
}

// The "credentials" member: each credential an active line refers to, whether a run could
// read it now and, when not, why. Never a value.
std::string CredentialsMember(const std::vector<CredentialUse>& uses) {
  std::string out = "\"credentials\": [";
  for (const CredentialUse& use : uses) {
    if (out.back() != '[') out += ", ";
    out += "{\"line\": \"" + std::to_string(use.line) + "\", \"name\": ";
    AppendJsonString(out, use.name);
    out += use.problem.empty() ? ", \"usable\": true" : ", \"usable\": false, \"problem\": ";
    if (!use.problem.empty()) AppendJsonString(out, use.problem);
    out += "}";
  }
  return out + "]";
}

struct ScheduleCheck {
  std::string members;
  bool warned = false;
  bool runnable = true;  // false: a run would be refused for its calendar
};

// The schedule members of --check, after naming on standard error what JobWarnings leaves
// to it: systemd-analyze missing, a calendar that does not read, and an installed timer
// that runs at another schedule.
ScheduleCheck CheckSchedule(const std::string& path, const JobDocument& job,
                            const std::string& root) {
  ScheduleCheck check;
  auto warn = [&](const std::string& text) {
    std::fprintf(stderr, "jobrunner: warning: %s: %s\n", path.c_str(), text.c_str());
    check.warned = true;
  };
  const ScheduleAttributes& schedule = job.schedule;
  std::string& out = check.members;
  out = "\"Schedule\": ";
  std::string next_runs = "null";
  if (schedule.Schedule.empty()) {
    out += "null";
  } else {
    AppendJsonString(out, schedule.Schedule);
    const ScheduleLook look = LookAhead(job, 5);
    if (look.reading.kind == CalendarReading::Kind::kNoTool) {
      warn(
          "systemd-analyze not found; the schedule cannot be checked and its next runs not "
          "computed");
    } else if (look.reading.kind == CalendarReading::Kind::kElapses) {
      next_runs = "[";
      for (const std::string& time : RunTimes(look)) {
        if (next_runs.size() > 1) next_runs += ", ";
        AppendJsonString(next_runs, time);
      }
      next_runs += "]";
    }
    for (const InstalledTimer& timer : InstalledTimers({UnitFolderFor(root)})) {
      if (timer.unit != UnitBaseName(path) + ".timer" || timer.schedule == schedule.Schedule)
        continue;
      warn("the installed timer " + timer.place.folder + "/" + timer.unit + " runs at \"" +
           timer.schedule + "\", not at the job's Schedule; jobrunner --schedule carries it over");
    }
  }
  const Result<bool> catch_up = ParseCatchUp(schedule.CatchUp);
  out += std::string(", \"CatchUp\": ") + (!catch_up.ok()   ? "null"
                                           : catch_up.value ? "true"
                                                            : "false");
  const Result<int32_t> delay = ParseRandomDelay(schedule.RandomDelay);
  out += ", \"RandomDelay\": " + (delay.ok() ? std::to_string(delay.value) : "null");
  out += ", \"Calendar\": ";
  if (const std::string calendar = CalendarFilePath(job); calendar.empty()) {
    out += "null";
  } else if (const Result<DaysOff> days = ReadDaysOff(calendar); !days.ok()) {
    std::fprintf(stderr, "jobrunner: error: %s: %s; a run would be refused\n", path.c_str(),
                 days.message().c_str());
    check.runnable = false;
    out += "null";
  } else {
    AppendJsonString(out, calendar);
  }
  out += ", \"next_runs\": " + next_runs;
  return check;
}

}  // namespace

std::string JobJson(const JobDocument& job, std::string_view more_members) {
  std::string out = "{";
  AppendMember(out, "Description", job.Description);
  AppendMember(out, "LogFile", job.LogFile);
  AppendMember(out, "UserFile", job.UserFile);
  AppendMember(out, "TempLogDir", job.TempLogDir);
  out += job.LogToEventLog ? "\"LogToEventLog\": 1, " : "\"LogToEventLog\": 0, ";
  AppendMember(out, "MaxParallel", job.MaxParallel);
  const JobLineTable& table = job.table;
  // The limits as a run reads them; one that it would refuse is left out (and named on
  // standard error by the check).
  const TimeLimitResult job_limit = ParseTimeLimit(job.JobTimeLimit);
  out += "\"JobTimeLimit\": " +
         (job_limit.set() ? std::to_string(job_limit.seconds) : std::string("null")) + ", ";
  const Result<OverlapPolicy> overlap = ParseOverlap(job.Overlap);
  out += "\"Overlap\": " +
         (overlap.ok() ? "\"" + std::string(OverlapWord(overlap.value)) + "\"" : "null") + ", ";
  // Who is told, as a run reads it: a value it would refuse is null (and named on standard
  // error by the check); the webhook only as it may be shown.
  const Result<std::vector<std::string>> mail = ParseNotifyMail(job.NotifyMail);
  out += "\"NotifyMail\": ";
  if (mail.ok()) {
    out += "[";
    for (size_t i = 0; i < mail.value.size(); ++i) {
      if (i) out += ", ";
      AppendJsonString(out, mail.value[i]);
    }
    out += "]";
  } else {
    out += "null";
  }
  out += ", \"NotifyWebhook\": ";
  if (job.NotifyWebhook.empty() || !CheckNotifyWebhook(job.NotifyWebhook).ok()) {
    out += "null";
  } else {
    AppendJsonString(out, DisplayUrl(job.NotifyWebhook));
  }
  const Result<NotifyWhen> notify_on = ParseNotifyOn(job.NotifyOn);
  out += ", \"NotifyOn\": " +
         (notify_on.ok() ? "\"" + std::string(NotifyOnWord(notify_on.value)) + "\"" : "null") +
         ", ";
  // Each line's setting that is set, by the line's number as text.
  auto settings = [&](const char* member, int column, auto parse) {
    out += "\"" + std::string(member) + "\": {";
    bool first = true;
    for (int row = 0; row < table.LineCount(); ++row) {
      const auto read = parse(table.Text(column, row));
      if (!read.set()) continue;
      if (!first) out += ", ";
      first = false;
      AppendJsonString(out, table.Text(kColNumber, row));
      out += ": " + std::to_string(read.value);
    }
    out += "}, ";
  };
  settings("time_limits", kColTimeLimit, [](std::string_view text) {
    const TimeLimitResult limit = ParseTimeLimit(text);
    return RepeatSettingResult{limit.status, limit.seconds};
  });
  settings("repeat_delays", kColRepeatDelay, ParseRepeatDelay);
  settings("repeat_limits", kColRepeatLimit, ParseRepeatLimit);
  out += "\"lines\": [";
  for (int row = 0; row < table.LineCount(); ++row) {
    out += row == 0 ? "\n  [" : ",\n  [";
    // The columns the job file has always had; the time limit is in "time_limits".
    for (int column = 0; column <= kColRepeatOnSuccess; ++column) {
      if (column) out += ", ";
      const Cell cell = table.At(column, row);
      if (cell) {
        AppendJsonString(out, *cell);
      } else {
        out += "null";
      }
    }
    out += ']';
  }
  out += table.LineCount() ? "\n]" : "]";
  if (!more_members.empty()) out += ", " + std::string(more_members);
  return out + "}\n";
}

int RefuseUnloadedJob(const ReadResult& read) {
  std::fprintf(stderr, "Open: %s\n", read.message.c_str());
  if (!read.detail.empty()) std::fprintf(stderr, "jobrunner: %s\n", read.detail.c_str());
  return kExitBadJobFile;
}

int RunCheck(const std::vector<std::string>& args, const std::optional<RerunOption>& rerun,
             bool strict, const std::string& root) {
  std::string path;
  for (size_t i = 0; i < args.size(); ++i) {
    if (i) path += ' ';
    path += args[i];
  }
  if (path.find_first_not_of(' ') == std::string::npos) {
    std::fputs(UsageText().c_str(), stderr);
    return kExitUsage;
  }
  JobDocument job;
  const ReadResult result = ReadJobFile(path, job);
  if (result.status != ReadStatus::kLoaded) return RefuseUnloadedJob(result);
  const bool warned = NameJobWarnings(path, result, job) > 0;
  // Only a hand-edited file holds one number twice; the run would leave the second line
  // out, so the administrator hears of it before cron runs the job.
  for (int32_t number : DuplicateActiveJobLineNumbers(job.table, job.table.LineCount())) {
    std::fprintf(stderr,
                 "jobrunner: warning: %s: job line number %d is used by more than one active "
                 "job line; only the first one runs\n",
                 path.c_str(), number);
  }
  for (const std::string& fault : CheckJob(job).faults) {
    std::fprintf(stderr, "jobrunner: error: %s: %s; the job cannot run\n", path.c_str(),
                 fault.c_str());
  }
  // Where the job lines would run, and whether they could.
  std::unique_ptr<RegistryReader> registry = MakeSystemRegistryReader();
  std::unique_ptr<LauncherProbe> probe = MakeSystemLauncherProbe();
  std::istringstream launcher(DescribeLauncher(*registry, *probe));
  for (std::string line; std::getline(launcher, line);) {
    std::fprintf(stderr, "jobrunner: %s\n", line.c_str());
  }
  const bool runnable = ReadLauncherSettings(*registry).ok();
  const bool preflight_named = !WarnPreflightProblems(path, job).empty();
  std::string rerun_member;
  if (rerun) {
    const Result<RerunBasis> basis = RerunBasisFor(path, *rerun);
    if (!basis.ok()) {
      std::fprintf(stderr, "jobrunner: error: %s\n", basis.message().c_str());
      return kExitBadJobFile;
    }
    const int rows = job.table.LineCount();
    rerun_member = RerunMember(rerun->run_id, PlanRerun(RerunLinesOf(job.table, rows),
                                                        basis.value.lines, basis.value.downstream));
  }
  job.FileName = path;
  ScheduleCheck schedule = CheckSchedule(path, job, root);
  const std::string credentials = CredentialsMember(CredentialUses(job.table, job.table.LineCount(),
                                                                   CredentialFolder(*registry))) +
                                  ", " + schedule.members;
  const std::string json =
      JobJson(job, rerun_member.empty() ? credentials : credentials + ", " + rerun_member);
  // A check whose answer was lost must not look like a passed one.
  if (std::fwrite(json.data(), 1, json.size(), stdout) != json.size() || std::fflush(stdout) != 0) {
    std::perror("jobrunner: cannot write the result");
    return kExitCannotWriteOutput;
  }
  // The file is fine, but an unattended run would refuse to start it.
  if (!runnable || !schedule.runnable) return kExitCannotRun;
  return strict && (warned || preflight_named || schedule.warned) ? kExitErrors : kExitNoErrors;
}

std::unique_ptr<LauncherProbe> MakeSystemLauncherProbe() {
  return std::make_unique<SystemLauncherProbe>();
}

std::string DescribeLauncher(RegistryReader& registry, LauncherProbe& probe) {
  const Result<LauncherSettings> read = ReadLauncherSettings(registry);
  if (!read.ok()) return "error: " + read.message() + "\n";
  const LauncherSettings& settings = read.value;
  if (settings.type == LauncherSettings::Type::kLocal) {
    if (TrimBlanks(GetRegistryString(registry, kLauncherKey, "Type")).empty()) return {};
    return "Launcher: local (job lines run on this machine)\n";
  }
  std::string text =
      "Launcher: slurm (job lines run through srun, partition: " +
      (settings.partition.empty() ? std::string("the cluster's default") : settings.partition) +
      (settings.arguments.empty() ? std::string()
                                  : ", extra srun arguments: " + settings.arguments) +
      ")\n";
  const std::string srun = probe.FindOnPath("srun");
  text += srun.empty() ? "error: srun not found on PATH\n" : "srun: " + srun + "\n";
  // Anything beyond what Slurm allows in partition names (a comma separates several) is
  // refused unasked, before it reaches a command line.
  if (settings.partition.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                           "0123456789._-,") != std::string::npos) {
    return text + "error: the partition \"" + settings.partition +
           "\" is no Slurm partition name\n";
  }
  const std::string sinfo = probe.FindOnPath("sinfo");
  if (sinfo.empty())
    return text + "error: sinfo not found on PATH, cannot ask the Slurm controller\n";
  std::vector<std::string> arguments = {"--noheader", "--format=%P"};
  if (!settings.partition.empty()) arguments.push_back("--partition=" + settings.partition);
  const Result<ProgramOutput> run = probe.Run(sinfo, arguments);
  if (!run.ok() || run.value.exit_status != 0) {
    const std::string reason = run.ok() ? FirstLine(run.value.output) : std::string();
    return text + "error: the Slurm controller does not answer" +
           (reason.empty() ? std::string() : ": " + reason) + "\n";
  }
  std::string partitions;
  std::istringstream lines(run.value.output);
  for (std::string line; std::getline(lines, line);) {
    line = std::string(TrimBlanks(line));
    if (line.empty()) continue;
    if (!partitions.empty()) partitions += ", ";
    partitions += line;
  }
  if (!settings.partition.empty() && partitions.empty()) {
    return text + "error: the Slurm controller answers, but has no partition \"" +
           settings.partition + "\"\n";
  }
  return text + "Slurm controller: answers (partitions: " + partitions + ")\n";
}

}  // namespace jr
