// Runs on an administrator's worst night, grouped by cause: files that are not files,
// writes that fail, names that cannot be passed on a command line, a runner killed outright,
// and the system log.
// Every run has a time limit, so that a hang fails the test instead of stalling it.

#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <tuple>
#include <utility>

#include "support/engine_fakes.h"
#include "support/sqlite_rows.h"
#include "support/unattended_run.h"

namespace jr {
namespace {

namespace fs = std::filesystem;
using test::ReadWholeFile;
using test::WriteWholeFile;
using Strings = std::vector<std::string>;

constexpr std::chrono::seconds kLimit(20);

class RobustTest : public test::UnattendedRun {
 protected:
  // A run with the test's environment and `extra` over it.
  test::ProgramOutcome Limited(const std::vector<std::string>& args,
                               std::map<std::string, std::string> extra = {}) {
    extra.merge(Env());
    return test::RunningProgram(Jobrunner(), args, extra, dir_.path()).Wait(kLimit);
  }
  // The run ended (no hang) with `status` and said `text` on standard error.
  static void Expect(const test::ProgramOutcome& outcome, int status, const std::string& text,
                     const std::string& what) {
    EXPECT_EQ(outcome.status, status) << what << "\n" << outcome.err;
    EXPECT_TRUE(test::Has(outcome.err, text)) << what;
  }
  std::string Fifo(const std::string& name) {
    const std::string path = dir_.File(name);
    EXPECT_EQ(mkfifo(path.c_str(), 0644), 0);
    return path;
  }
  // A user batch file line whose script writes "ok" to its status file and nothing else.
  void AddScriptLine() {
    AddLine({.number = 10,
             .type = "User Batchfile",
             .batch_file = Script("user.sh", "#!/bin/sh\necho ok >\"$1\"\n")});
  }
};

TEST_F(RobustTest, FilesThatAreNotFilesAreRefusedWithoutWaiting) {
  AddScriptLine();
  const std::string job = SaveJob();
  const std::string big = dir_.File("big.xml");
  WriteWholeFile(big, "<x/>");
  fs::resize_file(big, 70u << 20);
  const std::string fifo = Fifo("job.fifo"), pipe = " is a named pipe, not a file";
  using Vars = std::map<std::string, std::string>;
  const Vars zero_registry = {{"JOBRUNNER_REGISTRY", "/dev/zero"}},
             fifo_event_log = {{"JOBRUNNER_EVENT_LOG", Fifo("events.fifo")}};
  const std::tuple<std::vector<std::string>, Vars, int, std::string> cases[] = {
      {{"--check", fifo}, {}, 3, "\"" + fifo + "\": it" + pipe},
      {{dir_.File("no such job.xml")}, {}, 3, "Open: Job file does not exist\n"},
      {{big}, {}, 3, "\"" + big + "\": it is larger than 64 MiB"},
      {{job}, zero_registry, 1, "\"/dev/zero\" cannot be read: it is a character device"},
      {{job}, fifo_event_log, 0, "events.fifo\" cannot be written: it" + pipe},
  };
  for (const auto& [args, env, status, text] : cases)
    Expect(Limited(args, env), status, text, args[0]);

  // The report generator does not wait on a log file that is a named pipe either.
  job_.table.Set(kColLogFile, 0, Fifo("user_log.fifo"));
  EXPECT_EQ(Limited({SaveJob()}).status, 0);
  EXPECT_TRUE(test::Has(ReadWholeFile(job_.LogFile), "it" + pipe));

  // Status files that are not files: an old named pipe is deleted before the start, and one
  // that the program leaves as a named pipe or a link to /dev/zero is not waited on.
  for (const auto& [script, status] : {std::pair{"echo ok >\"$1\"", 0},
                                       {"mkfifo \"$1\"; sleep 1", 1},
                                       {"ln -s /dev/zero \"$1\"; sleep 1", 1}}) {
    fs::remove(dir_.File("user_10_status.txt"));
    if (status == 0) Fifo("user_10_status.txt");
    WriteWholeFile(dir_.File("user.sh"), std::string("#!/bin/sh\n") + script + "\n");
    EXPECT_EQ(Limited({SaveJob()}).status, status) << script;
  }
}

TEST_F(RobustTest, WritesThatFailKeepTheOldReportsAndSaySo) {
  AddScriptLine();
  // The generator fails: a report whose folder is missing, an old report that stays
  // because the template is gone. A job without errors still ends with 1.
  const std::string admin = job_.LogFile;
  for (const std::string& report : {dir_.File("gone/admin.htm"), admin}) {
    job_.LogFile = report;
    if (report == admin) {
      WriteWholeFile(admin, "old report");
      fs::remove(dir_.File("keld/Jobs/AdminRepJobTemplate.htm"));
    }
    Expect(Limited({SaveJob()}), 1,
           "jobrunner: the administrators' report \"" + report +
               "\" was not written: the report generator ended without writing it",
           report);
  }
  EXPECT_EQ(ReadWholeFile(admin), "old report");

  // A full disk under the log-file folder: a small tmpfs, filled up.
  const std::string full = dir_.File("full");
  fs::create_directories(full);
  if (mount("tmpfs", full.c_str(), "tmpfs", 0, "size=64k") != 0) {
    GTEST_SKIP() << "a full disk needs a tmpfs mount (root): " << strerror(errno);
  }
  WriteWholeFile(full + "/filler", std::string(256 * 1024, 'x'));
  WriteWholeFile(job_.LogFile, "good admin report");
  WriteWholeFile(job_.UserFile, "good user report");
  job_.TempLogDir = full;
  const test::ProgramOutcome outcome = Limited({SaveJob()});
  umount2(full.c_str(), MNT_DETACH);
  EXPECT_EQ(ReadWholeFile(job_.LogFile) + ReadWholeFile(job_.UserFile),
            "good admin reportgood user report");
  Expect(outcome, 1,
         "jobrunner: the administrators' report \"" + job_.LogFile +
             "\" was not written: cannot write \"" + full,
         "full disk");
  EXPECT_TRUE(test::Has(outcome.err, "_UserDef.txt\": the disk is full"));
}

TEST_F(RobustTest, AReportGeneratorThatDoesNotEndIsEndedAndItsReportsNamed) {
  AddScriptLine();
  // The generator sleeps instead; its sleep dies with its process group.
  WriteWholeFile(dir_.File("keld/utils/PageGen.exe"), "#!/bin/sh\nsleep 60\n");
  const std::string not_written =
      "jobrunner: the administrators' report \"" + job_.LogFile + "\" was not written: ";
  const std::string stopped = not_written + "the run was stopped while the report generator ran";
  const std::tuple<std::string, int, int, std::string> cases[] = {
      {"dword:00000001", 0, 1,
       not_written + "the report generator did not end within 1 s (HelperTimeLimit)"},
      {"\"600\"", SIGTERM, 2, stopped},
  };
  for (const auto& [limit, signal_number, status, text] : cases) {
    SetRegistryKey("Launcher", "\"HelperTimeLimit\"=" + limit + "\r\n");
    test::RunningProgram running(Jobrunner(), {SaveJob()}, Env(), dir_.path());
    if (signal_number != 0) {
      sleep(1);
      running.Signal(signal_number);
    }
    Expect(running.Wait(std::chrono::seconds(15)), status, text, std::to_string(signal_number));
  }
}

TEST_F(RobustTest, NamesThatCannotBePassedRefuseTheRunBeforeAnythingStarts) {
  AddScriptLine();
  const std::string quoted = dir_.File("a\"b");
  for (const auto& [what, field] : {std::pair{"log-file folder", &JobDocument::TempLogDir},
                                    {"administrators' report", &JobDocument::LogFile},
                                    {"end users' report", &JobDocument::UserFile}}) {
    const std::string kept = std::exchange(job_.*field, quoted);
    Expect(Limited({SaveJob()}), 4, std::string("the ") + what + " name \"" + quoted + "\"", what);
    job_.*field = kept;
    EXPECT_TRUE(fs::is_empty(dir_.File("logs")) && !fs::exists(quoted)) << what;
  }
  fs::copy_file(SaveJob(), quoted + ".xml");
  Expect(Limited({quoted + ".xml"}), 4, "the job file name \"" + quoted + ".xml\"", "job file");
  EXPECT_TRUE(fs::is_empty(dir_.File("logs")));
}

TEST_F(RobustTest, PlacesThatCannotBeWrittenRefuseTheRunBeforeAnythingStarts) {
  AddScriptLine();
  const std::string file = dir_.File("file"), read_only = dir_.File("ro"), db = dir_.File("x.db");
  WriteWholeFile(file, ""), WriteWholeFile(db, "not a database\n");
  fs::create_directories(read_only);
  // Root writes past permission bits, not into a read-only mount (where it may mount).
  const bool root = geteuid() == 0;
  fs::permissions(read_only, fs::perms::owner_read | fs::perms::owner_exec);
  const bool mounted = root && mount("tmpfs", read_only.c_str(), "tmpfs", MS_RDONLY, nullptr) == 0;
  const std::string folder = "the log-file folder \"";
  const std::pair<std::string, std::string> cases[] = {
      {file + "/logs",
       folder + file + "/logs\" does not exist and cannot be made: \"" + file + "\" is no folder"},
      {read_only, folder + read_only + "\" cannot be used: the folder \"" + read_only +
                      "\" may not be written"},
      {"", "cannot read the process metadata database \"" + db + "\": file is not a database"}};
  for (const auto& [logs, text] : cases) {
    if (logs == read_only && root && !mounted) continue;
    std::map<std::string, std::string> env;
    if (logs.empty()) env["JOBRUNNER_METADATA_DB"] = db;
    job_.TempLogDir = logs.empty() ? dir_.File("logs") : logs;
    const std::string job = SaveJob();
    Expect(Limited({job}, env), 4, "error: " + job + ": " + text + "; the job was not run\n", text);
    Expect(Limited({"--check", "--strict", job}, env), 1, "warning: " + job + ": " + text + "\n",
           text);
    EXPECT_TRUE(!fs::exists(dir_.File("user_10_status.txt")) && fs::is_empty(dir_.File("logs")));
  }
  EXPECT_EQ(ReadWholeFile(db), "not a database\n");
  if (mounted) umount2(read_only.c_str(), MNT_DETACH);
  // A log-file folder that went missing is made again.
  job_.TempLogDir = dir_.File("new/logs");
  EXPECT_EQ(Limited({SaveJob()}).status, 0);
  EXPECT_TRUE(fs::exists(dir_.File("user_10_status.txt")));
}

TEST_F(RobustTest, AFullDiskUnderTheHistoryIsAWarningAndItsRowsAreWrittenOnceThereIsRoom) {
  const std::string full = dir_.File("full"), filler = full + "/filler";
  fs::create_directories(full);
  if (mount("tmpfs", full.c_str(), "tmpfs", 0, "size=1m") != 0) {
    GTEST_SKIP() << "a full disk needs a tmpfs mount (root): " << strerror(errno);
  }
  std::map<std::string, std::string> env;
  const std::string database = env["JOBRUNNER_METADATA_DB"] = full + "/metadata.sqlite";
  // Line 20 fills the disk under the history when told to, line 40 makes room when told to,
  // line 30 between makes sure that a pass ends without room.
  const std::string fill = dir_.File("fill"), room = dir_.File("room");
  AddScriptLine();
  AddLine({.number = 20,
           .type = "User Batchfile",
           .wait_for = {"10"},
           .batch_file = Script("fill.sh", "#!/bin/sh\n[ -e " + fill + " ] && cat /dev/zero >" +
                                               filler + " 2>/dev/null\necho ok >\"$1\"\n")});
  AddLine({.number = 30,
           .type = "User Batchfile",
           .wait_for = {"20"},
           .batch_file = dir_.File("user.sh")});
  AddLine({.number = 40,
           .type = "User Batchfile",
           .wait_for = {"30"},
           .batch_file = Script("room.sh", "#!/bin/sh\n[ -e " + room + " ] && rm " + filler +
                                               "\necho ok >\"$1\"\n")});
  // Room, then a disk full to the end, then one that gets room during the run.
  std::vector<std::string> errors;
  for (const std::vector<std::string>& flags : {Strings{}, Strings{fill}, Strings{fill, room}}) {
    for (const std::string& flag : flags) WriteWholeFile(flag, "");
    const test::ProgramOutcome outcome = Limited({SaveJob()}, env);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    errors.push_back(outcome.err);
    for (const std::string& flag : {fill, room, filler}) fs::remove(flag);
  }
  const Strings checked = test::SelectColumn(database, "PRAGMA integrity_check");
  const std::string job = dir_.File("job.xml");
  const std::string runs = Limited({"--history", job, "--json"}, env).out;
  const nlohmann::json newest = nlohmann::json::parse(
      Limited({"--history", job, nlohmann::json::parse(runs)[0]["run_id"], "--json"}, env).out);
  umount2(full.c_str(), MNT_DETACH);
  EXPECT_EQ(checked, Strings{"ok"});
  const std::string warning =
      "jobrunner: warning: " + job +
      ": the run history waits for room on the disk: cannot write to the process metadata "
      "database \"" +
      database + "\": database or disk is full\n";
  EXPECT_EQ(errors[0] + errors[1], warning);
  // The run that had no room at its end never ended in the history: the next run says so.
  EXPECT_TRUE(
      errors[2].ends_with("\" was interrupted: its runner ended without ending it\n" + warning))
      << errors[2];
  Strings seen;  // newest first
  for (const auto& run : nlohmann::json::parse(runs)) {
    seen.push_back(run["status"].dump() + " " + run["succeeded"].dump());
  }
  EXPECT_EQ(seen, (Strings{"0 4", "\"interrupted\" 1", "0 4"})) << runs;
  // Rows written while the disk was full are there too.
  seen.clear();
  for (const auto& line : newest["lines"]) seen.push_back(line["outcome"]);
  EXPECT_EQ(seen, Strings(4, "ok")) << newest;
}

// The runner's orphans come to this test (a child subreaper), which so sees all that a run
// leaves behind. Killed, the runner leaves a line that ignores SIGTERM and started a child
// that ignores it too: SIGTERM reaches the line within a second, SIGKILL ends both, and
// the watchdog that did it holds nothing of the runner's, tells of the run and ends.
TEST_F(RobustTest, NothingOfARunOutlivesItsRunnerWhetherItEndsOrIsKilled) {
  ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  const auto no_child_left = [] {
    siginfo_t info{};
    return waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) != 0 && errno == ECHILD;
  };
  AddScriptLine();
  EXPECT_EQ(Limited({SaveJob()}).status, 0);
  EXPECT_TRUE(no_child_left()) << "a process outlived a run that ended";

  const std::string pids = dir_.File("pids"), term = dir_.File("term");
  // Builtins only around the sleeps: a SIGTERM that ended a `seq` feeding the loop would
  // end the loop, and the script with it, at once.
  WriteWholeFile(dir_.File("user.sh"),
                 "#!/bin/sh\ntrap 'echo >" + term + "' TERM\n" +
                     "(trap '' TERM; exec sleep 30) &\necho $$ >" + pids +
                     "\ni=0\nwhile [ $i -lt 30 ]; do sleep 1; i=$((i+1)); done\n");
  test::RunningProgram running(Jobrunner(), {SaveJob()}, Env(), dir_.path());
  // Killed once the line runs and its start is recorded, which comes after the runner told
  // its watchdog.
  ASSERT_TRUE(test::WaitUntil(
      [&] {
        return ReadWholeFile(pids).ends_with("\n") &&
               test::SelectColumn(dir_.File("metadata.sqlite"),
                                  "SELECT count(*) FROM run_lines WHERE start_ms > 0")[0] == "2";
      },
      kLimit));
  running.Signal(SIGKILL);
  running.Wait();
  const auto killed = std::chrono::steady_clock::now();
  EXPECT_TRUE(test::WaitUntil([&] { return fs::exists(term); }, std::chrono::milliseconds(1500)))
      << "the line got no SIGTERM";
  const pid_t line = std::stoi(ReadWholeFile(pids));
  std::ifstream children("/proc/self/task/" + std::to_string(getpid()) + "/children");
  for (int pid; children >> pid;) {
    if (getpgid(pid) == line) continue;  // the line's program, or a child it left
    for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd")) {
      const std::string target = fs::read_symlink(fd.path()).string();
      EXPECT_TRUE(target == "/dev/null" || target.starts_with("socket:")) << target;
    }
  }
  const auto reap = [] {
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
  };
  EXPECT_TRUE(test::WaitUntil(
      [&] {
        reap();
        return kill(-line, 0) != 0 && errno == ESRCH;
      },
      std::chrono::milliseconds(11000 - test::MsSince(killed))))
      << "a process of the line was left 11 s after its runner was killed";
  // Then the watchdog becomes the runner that tells of the run, which ends too.
  EXPECT_TRUE(test::WaitUntil(
      [&] {
        reap();
        return no_child_left();
      },
      std::chrono::seconds(60)));
  prctl(PR_SET_CHILD_SUBREAPER, 0);
}

// The default event-log sink, for real: a journal started by hand, then syslog once the
// journal has stopped. Needs root (the journal's sockets live under /run).
class SystemLogTest : public RobustTest {
 protected:
  static constexpr const char* kJournald = "/lib/systemd/systemd-journald";

  void SetUp() override {
    if (geteuid() != 0 || access(kJournald, X_OK) != 0 || access("/usr/bin/journalctl", X_OK)) {
      GTEST_SKIP() << "the system log test needs root, " << kJournald << " and journalctl";
    }
    if (access("/run/systemd/journal/socket", F_OK) == 0 || access("/dev/log", F_OK) == 0) {
      GTEST_SKIP() << "a system log already runs on this machine; it is left alone";
    }
    RobustTest::SetUp();
    job_.Description = "journal test " + std::to_string(getpid());
    AddScriptLine();
    env_ = {{"JOBRUNNER_EVENT_LOG", ""}};
  }
  void TearDown() override {
    journald_.reset();  // killed, if still running
    fs::remove_all("/run/systemd/journal");
  }

  std::map<std::string, std::string> env_;
  std::unique_ptr<test::RunningProgram> journald_;
};

TEST_F(SystemLogTest, TheEntryReachesTheJournalThenSyslogOnceTheJournalIsGone) {
  journald_ = std::make_unique<test::RunningProgram>(
      kJournald, std::vector<std::string>{}, std::map<std::string, std::string>{}, dir_.path());
  for (int i = 0; i < 500 && access("/run/systemd/journal/socket", F_OK) != 0; ++i) usleep(10000);
  EXPECT_EQ(Limited({SaveJob()}, env_).status, 0);
  // The entry of this run: the journal keeps the command line, which names the job file.
  std::string entry;
  for (int i = 0; i < 50 && entry.find(dir_.path()) == std::string::npos; ++i, usleep(100000)) {
    entry = test::RunProgram("/usr/bin/journalctl",
                             {"--no-pager", "-t", "Extraction Job Runner", "-o", "json"}, {},
                             dir_.path())
                .out;
  }
  entry = entry.substr(entry.rfind('\n', entry.find(dir_.path())) + 1);
  entry = entry.substr(0, entry.find('\n'));
  // A message with line breaks in it comes out as an array of its bytes.
  std::string bytes;
  for (char c : "\r\n\r\nJob '" + job_.Description + "' finished without errors.") {
    bytes += (bytes.empty() ? "[" : ",") + std::to_string(c);
  }
  for (const std::string field :
       {"\"EVENT_TYPE\":\"4\"", "\"EVENT_CATEGORY\":\"0\"", "\"EVENT_ID\":\"1\""}) {
    EXPECT_TRUE(test::Has(entry, field));
  }
  EXPECT_TRUE(test::Has(entry, "\"MESSAGE\":" + bytes + "]"));

  // The journal stops (its socket stays behind); syslog takes the entry.
  journald_->Signal(SIGTERM);
  journald_->Wait(std::chrono::seconds(10));
  const int listener = ::socket(AF_UNIX, SOCK_DGRAM, 0);
  sockaddr_un address{.sun_family = AF_UNIX, .sun_path = "/dev/log"};
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  EXPECT_EQ(Limited({SaveJob()}, env_).status, 0);
  unlink("/dev/log");
  // A run of another test going on beside this one may log here too: this run's entry is
  // the one that names this job.
  const timeval wait{5, 0};
  setsockopt(listener, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  std::string got;
  for (int i = 0; i < 20 && !test::Has(got, job_.Description); ++i) {
    char buffer[4096] = {};
    if (recv(listener, buffer, sizeof buffer - 1, 0) <= 0) break;
    got = buffer;
  }
  close(listener);
  EXPECT_TRUE(test::Has(got, "Extraction Job Runner[")) << got;
  EXPECT_TRUE(test::Has(got, "]: [type 4, category 0, id 1] \r\n\r\nJob '" + job_.Description +
                                 "' finished without errors."));
}

}  // namespace
}  // namespace jr
