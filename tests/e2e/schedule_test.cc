// Schedules as administrators use them: the real systemd-analyze reads the expressions and
// verifies the units, the real systemctl enables them into an image root (never this
// machine's), days off under a fixed time zone, every job at a glance.

#include <sys/stat.h>

#include <filesystem>
#include <tuple>

#include "support/engine_fakes.h"
#include "support/unattended_run.h"

namespace jr {
namespace {

using Json = nlohmann::json;
namespace fs = std::filesystem;

using test::Has;

class ScheduleTest : public test::UnattendedRun {
 protected:
  test::ProgramOutcome Call(const std::vector<std::string>& args,
                            const std::string& program = "") {
    std::map<std::string, std::string> env = env_;
    env["JOBRUNNER_CREDENTIALS_DIR"] = dir_.File("creds");
    return Launch(args, env, program);
  }
  Json Check(const std::string& job) {
    const test::ProgramOutcome check = Call({"--check", "--root", dir_.File("root"), job});
    err_ = check.err;
    return Json::parse(check.out, nullptr, false);
  }
  std::map<std::string, std::string> env_;
  std::string err_;
};

TEST_F(ScheduleTest, SystemdReadsTheScheduleAndDaysOffAreLeftOutOfTheNextRuns) {
  env_["TZ"] = "Asia/Tokyo";
  const std::string expression = "Mon..Fri *-*-* 02:30 Europe/Berlin";
  // The elapses `systemd-analyze calendar` shows, as ISO local times of Asia/Tokyo.
  std::istringstream shown(test::RunProgram("/usr/bin/systemd-analyze",
                                            {"calendar", "--iterations=6", expression},
                                            {{"TZ", "Asia/Tokyo"}}, dir_.path())
                               .out);
  std::vector<std::string> elapses;
  for (std::string line; std::getline(shown, line);) {
    std::istringstream words(line.substr(line.find(':') + 1));
    std::string weekday, date, time;
    if (Has(line, "Next elapse:") || Has(line, "Iter. #")) {
      words >> weekday >> date >> time;
      elapses.push_back(date + "T" + time + "+09:00");
    }
  }
  ASSERT_EQ(elapses.size(), 6u);
  test::WriteWholeFile(dir_.File("days.txt"), "# closed\n\n" + elapses[1].substr(0, 10) +
                                                  "  # one day\n2001-01-01..2001-12-31\n");
  job_.schedule = {expression, "false", "30", "days.txt"};
  const Json check = Check(SaveJob());
  Json expected(elapses);
  expected.erase(1);
  EXPECT_EQ(check["next_runs"], expected) << err_;
  EXPECT_EQ(Json({check["CatchUp"], check["RandomDelay"], check["Calendar"]}),
            Json({false, 30, dir_.File("days.txt")}));

  for (const auto& [schedule, catch_up, delay, said] :
       {std::tuple{"bogus", "", "",
                   "the schedule \"bogus\" is no calendar expression systemd takes: "
                   "Failed to parse calendar specification 'bogus'"},
        {"2020-01-01", "", "", "the schedule \"2020-01-01\" never elapses again"},
        {"daily", "yes", "86401", "CatchUp: \"yes\" is not true or false"}}) {
    job_.schedule = {schedule, catch_up, delay, ""};
    const std::string job = SaveJob();
    const Json bad = Check(job);
    EXPECT_TRUE(Has(err_, said)) << err_;
    EXPECT_EQ(bad["RandomDelay"], *delay ? Json(nullptr) : Json(0));
    EXPECT_EQ(Call({"--schedule", "--dry-run", job}).status, 4);
  }
  // A wrong schedule is the timer's business: an unattended run says so and runs.
  AddLine({.number = 10, .type = "Flow Runner"});
  const test::ProgramOutcome run = Call({SaveJob()});
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(Has(run.err, "warning: " + dir_.File("job.xml") + ": RandomDelay: \"86401\""));
  env_["PATH"] = "/nonexistent";
  EXPECT_TRUE(Check(dir_.File("job.xml"))["next_runs"].is_null());
  EXPECT_TRUE(Has(err_, "systemd-analyze not found")) << err_;
}

TEST_F(ScheduleTest, UnitsInstalledIntoAnImageRootRunTheJobAsCronWould) {
  fs::create_directories(dir_.File("creds"));
  test::WriteWholeFile(dir_.File("creds/db"), "s3cret\n");
  chmod(dir_.File("creds/db").c_str(), 0600);
  const std::string vars = dir_.File("vars");
  AddLine({.number = 10,
           .type = "User Batchfile",
           .options = "@cred:db",
           .batch_file = Script("vars.sh", "#!/bin/sh\nenv | grep '^JOBRUNNER_' | sort >>\"" +
                                               vars + "\"\necho ok >\"$2\"\n")});
  job_.schedule.Schedule = "*-*-* 03:00";
  const std::string job = SaveJob();
  const test::ProgramOutcome dry = Call({"--schedule", "--dry-run", job});
  const test::ProgramOutcome installed = Call({"--schedule", "--root", dir_.File("root"), job});
  ASSERT_EQ(installed.status, 0) << installed.err;
  const std::string units = dir_.File("root/etc/systemd/system/");
  std::string name;
  for (const auto& entry : fs::directory_iterator(units)) {
    if (entry.path().extension() == ".service") name = entry.path().stem().string();
  }
  ASSERT_TRUE(name.starts_with("jobrunner-job_")) << name;
  EXPECT_TRUE(fs::is_symlink(units + "timers.target.wants/" + name + ".timer"));
  const std::string service = test::ReadWholeFile(units + name + ".service");
  EXPECT_TRUE(Has(dry.out, service)) << dry.out;
  // The editor's executable, which the window's schedule command runs in, names jobrunner.
  const test::ProgramOutcome editor = Call(
      {"--schedule", "--dry-run", job}, test::BinDir() + "/../libexec/jobrunner/jobrunner-window");
  EXPECT_EQ(editor.out, dry.out) << editor.err;
  EXPECT_TRUE(Has(service, "\nLoadCredential=db:" + dir_.File("creds") + "/db\nTimeout"));
  EXPECT_TRUE(Has(test::ReadWholeFile(units + name + ".timer"),
                  "OnCalendar=*-*-* 03:00\nPersistent=true\nRandomizedDelaySec=0\n"));

  // Started as the unit says, the job sees the variables a run from cron sees.
  std::map<std::string, std::string> unit_env;
  std::vector<std::string> exec;
  std::istringstream lines(service);
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with("Environment=\"")) {
      const std::string assignment = line.substr(13, line.size() - 14);
      unit_env[assignment.substr(0, assignment.find('='))] =
          assignment.substr(assignment.find('=') + 1);
    }
    for (size_t at = 0; line.starts_with("ExecStart=") && (at = line.find('"', at)) != line.npos;) {
      const size_t end = line.find('"', at + 1);
      exec.push_back(line.substr(at + 1, end - at - 1));
      at = end + 1;
    }
  }
  const test::ProgramOutcome cron = Call({job});
  ASSERT_EQ(cron.status, 0) << cron.err;
  ASSERT_EQ(exec.size(), 2u);
  ASSERT_EQ(test::RunProgram(exec[0], {exec[1]}, unit_env, "/").status, 0);
  const std::string seen = test::ReadWholeFile(vars);
  EXPECT_TRUE(Has(seen, "JOBRUNNER_METADATA_DB="));
  EXPECT_EQ(seen.substr(0, seen.size() / 2), seen.substr(seen.size() / 2));

  job_.schedule.Schedule = "daily";
  Check(SaveJob());
  EXPECT_TRUE(Has(err_, name + ".timer runs at \"*-*-* 03:00\", not at the job's Schedule"));
  EXPECT_EQ(Call({"--unschedule", "--root", dir_.File("root"), job}).status, 0);
  for (const std::string& file :
       {"timers.target.wants/" + name + ".timer", name + ".service", name + ".timer"}) {
    EXPECT_FALSE(fs::exists(fs::symlink_status(units + file))) << file;
  }
}

TEST_F(ScheduleTest, OnADayOffNothingRunsAndTheHistoryKeepsItApartFromTheRuns) {
  // 14 hours ahead of UTC: the run's local date decides, not UTC's.
  env_["TZ"] = "Pacific/Kiritimati";
  std::string today = test::RunProgram("/bin/date", {"+%F"}, env_, dir_.path()).out;
  today.pop_back();
  AddLine({.number = 10, .type = "Flow Runner"});
  // A warning every run says waits for a working day too.
  job_.schedule = {"", "", "soon", dir_.File("days.txt")};
  const std::string job = SaveJob();
  test::WriteWholeFile(dir_.File("days.txt"), "2001-05-01\n");
  ASSERT_EQ(Call({job}).status, 0);
  const auto folders = [&] { return std::distance(fs::directory_iterator(dir_.File("logs")), {}); };
  const auto before = folders();
  const std::string days = "# closed\n\n2001-05-01\n" + today + "..2099-12-31  # for now\n";
  test::WriteWholeFile(dir_.File("days.txt"), days);
  const test::ProgramOutcome off = Call({job});
  EXPECT_EQ(std::tie(off.status, off.out, off.err), std::tuple(0, "", ""));
  EXPECT_EQ(folders(), before);
  EXPECT_EQ(History({job})[0]["status"], "day off");

  const std::string calendar = dir_.File("days.txt");
  for (const auto& [text, said] :
       {std::pair{days + "2026-03-02..2026-03-01\n",
                  calendar + ": line 5: \"2026-03-02..2026-03-01\" ends before it begins"},
        // A named pipe nobody writes to must not hold the run.
        {"|", "cannot read the calendar file \"" + calendar + "\": it is a named pipe, not a file"},
        {"", "cannot read the calendar file \"" + calendar + "\": No such file or directory"}}) {
    fs::remove(calendar);
    if (text == "|") {
      ASSERT_EQ(mkfifo(calendar.c_str(), 0600), 0);
    } else if (!text.empty()) {
      test::WriteWholeFile(calendar, text);
    }
    const test::ProgramOutcome refused = Call({job});
    EXPECT_EQ(refused.status, 4);
    EXPECT_TRUE(Has(refused.err, said) && refused.err.ends_with("; the job was not run\n"))
        << refused.err;
  }
  // At a glance: the scheduled job first; the last run of this one is a run, not the day off.
  job_.schedule = {"*-*-* 03:00", "", "", ""};
  const std::string other = dir_.File("other.xml");
  ASSERT_TRUE(WriteJobFile(other, job_, "2026-12-06 12:00:00").ok);
  ASSERT_EQ(Call({"--schedule", "--root", dir_.File("root"), other}).status, 0);
  const test::ProgramOutcome jobs = Call({"--jobs", "--json", "--root", dir_.File("root")});
  const Json rows = Json::parse(jobs.out, nullptr, false);
  ASSERT_EQ(rows.size(), 2u) << jobs.out << jobs.err;
  EXPECT_EQ(Json({rows[0]["job_file"], rows[0]["schedule"], rows[0]["last_run"]}),
            Json({other, "*-*-* 03:00", nullptr}));
  EXPECT_TRUE(rows[0]["next_run"].get<std::string>().ends_with("T03:00:00+14:00"));
  EXPECT_EQ(Json({rows[1]["job_file"], rows[1]["last_run"]["outcome"], rows[1]["running"],
                  rows[1]["schedule"], rows[1]["timer"]}),
            Json({job, "ok", false, nullptr, nullptr}));
  EXPECT_TRUE(rows[1]["usual_duration_s"].is_number());

  fs::remove(dir_.File("admin.htm"));
  test::WriteWholeFile(calendar, days);
  const test::ProgramOutcome anyway = Call({"--ignore-calendar", job});
  EXPECT_EQ(anyway.status, 0) << anyway.err;
  EXPECT_TRUE(fs::exists(dir_.File("admin.htm")));
}

}  // namespace
}  // namespace jr
