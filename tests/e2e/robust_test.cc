// Runs on an administrator's worst night, grouped by cause: files that are not files,
// writes that fail, names that cannot be passed on a command line, and the system log.
// Every run has a time limit, so that a hang fails the test instead of stalling it.

#include <signal.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <functional>

#include "support/unattended_run.h"

namespace jr {
namespace {

namespace fs = std::filesystem;
using test::ReadWholeFile;
using test::WriteWholeFile;

constexpr std::chrono::seconds kLimit(20);

class RobustTest : public test::UnattendedRun {
 protected:
  test::ProgramOutcome Limited(const std::vector<std::string>& args,
                               std::map<std::string, std::string> env) {
    return test::RunningProgram(Jobrunner(), args, env, dir_.path()).Wait(kLimit);
  }
  test::ProgramOutcome Limited(const std::vector<std::string>& args) {
    return Limited(args, Env());
  }
  std::string Fifo(const std::string& name) {
    const std::string path = dir_.File(name);
    EXPECT_EQ(mkfifo(path.c_str(), 0644), 0);
    return path;
  }
  // A user batch file line whose script writes "ok" to its status file and nothing else.
  void AddScriptLine() {
    const std::string script = dir_.File("user.sh");
    WriteWholeFile(script, "#!/bin/sh\necho ok >\"$1\"\n");
    fs::permissions(script, fs::perms::owner_all);
    AddLine({.number = "10", .type = "User Batchfile", .batch_file = script});
  }
};

TEST_F(RobustTest, FilesThatAreNotFilesAreRefusedWithoutWaiting) {
  AddScriptLine();
  const std::string job = SaveJob();
  const std::string big = dir_.File("big.xml");
  WriteWholeFile(big, "<x/>");
  fs::resize_file(big, 70u << 20);
  struct Case {
    const char* what;
    std::vector<std::string> args;
    std::map<std::string, std::string> env;
    int status;
    std::string message;
  };
  const std::string fifo = Fifo("job.fifo");
  std::map<std::string, std::string> zero_registry = Env(), fifo_event_log = Env();
  zero_registry["JOBRUNNER_REGISTRY"] = "/dev/zero";
  fifo_event_log["JOBRUNNER_EVENT_LOG"] = Fifo("events.fifo");
  const Case cases[] = {
      {"job file, --check", {"--check", fifo}, Env(), 3, "it is a named pipe, not a file"},
      {"job file, run", {fifo}, Env(), 3, "\"" + fifo + "\": it is a named pipe, not a file"},
      {"job file too large", {big}, Env(), 3, "\"" + big + "\": it is larger than 64 MiB"},
      {"registry",
       {job},
       zero_registry,
       1,
       "the registry file \"/dev/zero\" cannot be read: it is a character device, not a file"},
      {"event-log file",
       {job},
       fifo_event_log,
       0,
       "\"" + dir_.File("events.fifo") + "\" cannot be written: it is a named pipe, not a file"},
  };
  for (const Case& c : cases) {
    const test::ProgramOutcome outcome = Limited(c.args, c.env);
    EXPECT_EQ(outcome.status, c.status) << c.what << "\n" << outcome.err;
    EXPECT_NE(outcome.err.find(c.message), std::string::npos) << c.what << "\n" << outcome.err;
  }

  // The report generator does not wait on a log file that is a named pipe either.
  job_.table.Set(kColBatchLogFile, 0, Fifo("user_log.fifo"));
  const test::ProgramOutcome outcome = Limited({SaveJob()});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_NE(ReadWholeFile(dir_.File("admin.htm")).find("it is a named pipe, not a file"),
            std::string::npos);

  // Status files that are not files: an old named pipe is deleted before the start, and one
  // that the program leaves as a named pipe or a link to /dev/zero is not waited on.
  const std::string status = dir_.File("user_10_status.txt");
  struct StatusCase {
    const char* what;
    const char* script;
    int status;
  } const status_cases[] = {
      {"old named pipe", "echo ok >\"$1\"", 0},
      {"named pipe", "mkfifo \"$1\"; sleep 1", 1},
      {"link to /dev/zero", "ln -s /dev/zero \"$1\"; sleep 1", 1},
  };
  for (const StatusCase& c : status_cases) {
    fs::remove(status);
    if (c.status == 0) Fifo("user_10_status.txt");
    WriteWholeFile(dir_.File("user.sh"), std::string("#!/bin/sh\n") + c.script + "\n");
    const test::ProgramOutcome ended = Limited({SaveJob()});
    EXPECT_EQ(ended.status, c.status) << c.what << "\n" << ended.err;
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
    const test::ProgramOutcome failed = Limited({SaveJob()});
    EXPECT_EQ(failed.status, 1) << failed.err;
    EXPECT_NE(failed.err.find("jobrunner: the administrators' report \"" + report +
                              "\" was not written: the report generator ended without writing it"),
              std::string::npos)
        << failed.err;
  }
  EXPECT_EQ(ReadWholeFile(admin), "old report");

  // A full disk under the log-file folder: a small tmpfs, filled up.
  const std::string full = dir_.File("full");
  fs::create_directories(full);
  if (mount("tmpfs", full.c_str(), "tmpfs", 0, "size=64k") != 0) {
    GTEST_SKIP() << "a full disk needs a tmpfs mount (root): " << strerror(errno);
  }
  const std::string filler = full + "/filler";
  WriteWholeFile(filler, std::string(256 * 1024, 'x'));
  WriteWholeFile(job_.LogFile, "good admin report");
  WriteWholeFile(job_.UserFile, "good user report");
  job_.TempLogDir = full;
  const test::ProgramOutcome outcome = Limited({SaveJob()});
  umount2(full.c_str(), MNT_DETACH);
  EXPECT_GE(outcome.status, 1);
  EXPECT_EQ(ReadWholeFile(job_.LogFile), "good admin report");
  EXPECT_EQ(ReadWholeFile(job_.UserFile), "good user report");
  EXPECT_NE(outcome.err.find("jobrunner: the administrators' report \"" + job_.LogFile +
                             "\" was not written: cannot write \"" + full),
            std::string::npos)
      << outcome.err;
  EXPECT_NE(outcome.err.find("_UserDef.txt\": the disk is full"), std::string::npos) << outcome.err;
}

TEST_F(RobustTest, AReportGeneratorThatDoesNotEndIsEndedAndItsReportsNamed) {
  AddScriptLine();
  // The generator sleeps instead; its sleep dies with its process group.
  const std::string generator = dir_.File("keld/utils/PageGen.exe");
  WriteWholeFile(generator, "#!/bin/sh\nsleep 60\n");
  const std::string not_written =
      "jobrunner: the administrators' report \"" + job_.LogFile + "\" was not written: ";
  struct Case {
    const char* what;
    std::string limit;
    int signal;  // sent after a second, 0 for none
    int status;
    std::string message;
  } const cases[] = {
      {"time limit", "dword:00000001", 0, 1,
       not_written + "the report generator did not end within 1 s (HelperTimeLimit)"},
      {"SIGTERM", "\"600\"", SIGTERM, 2,
       not_written + "the run was stopped while the report generator ran"},
      {"SIGHUP", "\"600\"", SIGHUP, 2,
       not_written + "the run was stopped while the report generator ran"},
  };
  for (const Case& c : cases) {
    SetLauncher("\"HelperTimeLimit\"=" + c.limit + "\r\n");
    test::RunningProgram running(Jobrunner(), {SaveJob()}, Env(), dir_.path());
    if (c.signal != 0) {
      sleep(1);
      running.Signal(c.signal);
    }
    const test::ProgramOutcome outcome = running.Wait(std::chrono::seconds(15));
    EXPECT_EQ(outcome.status, c.status) << c.what << "\n" << outcome.err;
    EXPECT_NE(outcome.err.find(c.message), std::string::npos) << c.what << "\n" << outcome.err;
    EXPECT_NE(outcome.err.find("the end users' report"), std::string::npos) << outcome.err;
  }
}

TEST_F(RobustTest, NamesThatCannotBePassedRefuseTheRunBeforeAnythingStarts) {
  AddScriptLine();
  const std::string quoted = dir_.File("a\"b");
  const std::vector<std::pair<const char*, std::function<void()>>> cases = {
      {"log-file folder", [&] { job_.TempLogDir = quoted; }},
      {"administrators' report", [&] { job_.LogFile = quoted; }},
      {"end users' report", [&] { job_.UserFile = quoted; }},
  };
  for (const auto& [what, change] : cases) {
    const JobDocument saved = job_;
    change();
    const test::ProgramOutcome outcome = Limited({SaveJob()});
    job_ = saved;
    EXPECT_EQ(outcome.status, 4) << what;
    EXPECT_NE(outcome.err.find(std::string("the ") + what + " name \"" + quoted + "\""),
              std::string::npos)
        << outcome.err;
    EXPECT_TRUE(fs::is_empty(dir_.File("logs"))) << what;
    EXPECT_FALSE(fs::exists(quoted)) << what;
  }
  fs::copy_file(SaveJob(), quoted + ".xml");
  const test::ProgramOutcome outcome = Limited({quoted + ".xml"});
  EXPECT_EQ(outcome.status, 4) << outcome.err;
  EXPECT_TRUE(fs::is_empty(dir_.File("logs")));
}

// The default event-log sink, for real: a journal started by hand, then syslog once the
// journal has stopped. Needs root (the journal's sockets live under /run).
class SystemLogTest : public RobustTest {
 protected:
  static constexpr const char* kJournald = "/lib/systemd/systemd-journald";
  static constexpr const char* kJournalFolder = "/run/systemd/journal";

  void SetUp() override {
    if (geteuid() != 0 || access(kJournald, X_OK) != 0 || access("/usr/bin/journalctl", X_OK)) {
      GTEST_SKIP() << "the system log test needs root, " << kJournald << " and journalctl";
    }
    if (access((std::string(kJournalFolder) + "/socket").c_str(), F_OK) == 0 ||
        access("/dev/log", F_OK) == 0) {
      GTEST_SKIP() << "a system log already runs on this machine; it is left alone";
    }
    RobustTest::SetUp();
    job_.Description = "journal test " + std::to_string(getpid());
    AddScriptLine();
  }
  void TearDown() override {
    StopJournal();
    fs::remove_all(kJournalFolder);
  }
  std::map<std::string, std::string> SystemLogEnv() {
    std::map<std::string, std::string> env = Env();
    env["JOBRUNNER_EVENT_LOG"] = "";
    return env;
  }
  void StopJournal() {
    if (!journald_) return;
    journald_->Signal(SIGTERM);
    journald_->Wait(std::chrono::seconds(10));
    journald_.reset();
  }

  std::unique_ptr<test::RunningProgram> journald_;
};

TEST_F(SystemLogTest, TheEntryReachesTheJournalThenSyslogOnceTheJournalIsGone) {
  journald_ = std::make_unique<test::RunningProgram>(
      kJournald, std::vector<std::string>{}, std::map<std::string, std::string>{}, dir_.path());
  const std::string socket = std::string(kJournalFolder) + "/socket";
  for (int i = 0; i < 500 && access(socket.c_str(), F_OK) != 0; ++i) usleep(10000);
  ASSERT_EQ(access(socket.c_str(), F_OK), 0) << "journald did not start";

  const test::ProgramOutcome outcome = Limited({SaveJob()}, SystemLogEnv());
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  // The entry of this run: the journal names the command line, which names the job file.
  std::string entry;
  for (int i = 0; i < 50 && entry.find(dir_.path()) == std::string::npos; ++i) {
    usleep(100000);
    entry = test::RunProgram("/usr/bin/journalctl",
                             {"--no-pager", "-t", "Extraction Job Runner", "-o", "json"}, {},
                             dir_.path())
                .out;
  }
  entry = entry.substr(entry.rfind('\n', entry.find(dir_.path())) + 1);
  entry = entry.substr(0, entry.find('\n'));
  // A message with line breaks in it comes out as an array of its bytes.
  const std::string message = "\r\n\r\nJob '" + job_.Description + "' finished without errors.";
  std::string bytes;
  for (char c : message) bytes += (bytes.empty() ? "[" : ",") + std::to_string(c);
  for (const std::string& field :
       std::vector<std::string>{"\"EVENT_TYPE\":\"4\"", "\"EVENT_CATEGORY\":\"0\"",
                                "\"EVENT_ID\":\"1\"", "\"MESSAGE\":" + bytes + "]"}) {
    EXPECT_NE(entry.find(field), std::string::npos) << field << "\n" << entry;
  }

  // The journal stops (its socket stays behind); syslog takes the entry.
  StopJournal();
  const int listener = ::socket(AF_UNIX, SOCK_DGRAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, "/dev/log");
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const test::ProgramOutcome fallback = Limited({SaveJob()}, SystemLogEnv());
  unlink("/dev/log");
  EXPECT_EQ(fallback.status, 0) << fallback.err;
  char buffer[4096] = {};
  timeval wait{5, 0};
  setsockopt(listener, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  const ssize_t got = recv(listener, buffer, sizeof buffer - 1, 0);
  close(listener);
  const std::string datagram(buffer, got > 0 ? static_cast<size_t>(got) : 0);
  EXPECT_NE(datagram.find("Extraction Job Runner["), std::string::npos) << datagram;
  EXPECT_NE(datagram.find("]: [type 4, category 0, id 1] \r\n\r\nJob '" + job_.Description +
                          "' finished without errors."),
            std::string::npos)
      << datagram;
}

}  // namespace
}  // namespace jr
