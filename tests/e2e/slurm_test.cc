// Job lines on a real one-node Slurm cluster, started for these tests by
// scripts/slurm-cluster.sh (as root). A cluster that cannot start fails the tests: they
// never skip.

#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

#include "jobfile/job_file.h"
#include "support/run_program.h"
#include "support/test_paths.h"

namespace jr {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

using test::ReadWholeFile;

// Runs a shell command line; its exit status and its output (standard error included).
int Shell(const std::string& command, std::string* output = nullptr) {
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return -1;
  std::string text;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, got);
  const int status = pclose(pipe);
  if (output != nullptr) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Processes whose command line holds `marker`, other than this one.
std::vector<pid_t> ProcessesWith(const std::string& marker) {
  std::vector<pid_t> found;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return found;
  while (dirent* entry = readdir(proc)) {
    const pid_t pid = static_cast<pid_t>(atoi(entry->d_name));
    if (pid <= 0 || pid == getpid()) continue;
    if (ReadWholeFile("/proc/" + std::string(entry->d_name) + "/cmdline").find(marker) !=
        std::string::npos) {
      found.push_back(pid);
    }
  }
  closedir(proc);
  return found;
}

// Polls `done` every 20 ms until it holds or `limit` has passed.
template <typename Done>
bool WaitUntil(Done done, milliseconds limit) {
  const Clock::time_point end = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(milliseconds(20));
  }
  return true;
}

// Names of the cluster's jobs that are not over, one a line.
std::string QueuedJobNames() {
  std::string names;
  Shell("squeue --noheader --format=%j", &names);
  return names;
}

// Whole unattended runs of the built program, on the cluster and, for comparison, with
// the local launcher.
class SlurmRunTest : public testing::Test {
 protected:
  // One cluster for the suite, in a folder of its own below /tmp (munged, running as
  // user munge, must reach it).
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/jobrunner-slurm-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
      cluster_error_ = "cannot create the cluster folder";
      return;
    }
    cluster_dir_ = pattern;
    std::string output;
    const int status = Shell(ClusterScript() + " start '" + cluster_dir_ + "'", &output);
    if (status != 0) {
      cluster_error_ =
          "slurm-cluster.sh start failed (status " + std::to_string(status) + "):\n" + output;
      return;
    }
    setenv("SLURM_CONF", (cluster_dir_ + "/slurm.conf").c_str(), 1);
    cluster_up_ = true;
  }

  static void TearDownTestSuite() {
    if (cluster_dir_.empty()) return;
    Shell(ClusterScript() + " stop '" + cluster_dir_ + "'");
    std::error_code ec;
    fs::remove_all(cluster_dir_, ec);
  }

  static std::string ClusterScript() {
    return "bash '" + test::SourceDir() + "/scripts/slurm-cluster.sh'";
  }

  void SetUp() override {
    ASSERT_TRUE(cluster_up_) << "the test cluster did not come up: " << cluster_error_;
    setenv("JR_MARK", "from the runner", 1);
    test::ProgramOutcome made = test::RunProgram(
        "/bin/bash",
        {test::SourceDir() + "/scripts/make-utilities.sh", temp_.path(), test::BinDir()}, {},
        temp_.path());
    ASSERT_EQ(made.status, 0) << made.err;
    plain_registry_ = ReadWholeFile(temp_.File("registry.reg"));
    job_.Description = "Cluster test";
    job_.LogFile = temp_.File("admin.htm");
    job_.UserFile = temp_.File("user.htm");
    job_.TempLogDir = temp_.File("logs");
    job_.MaxParallel = "2";
  }

  void Add(const std::string& number, const std::string& type, const std::string& options,
           const std::string& wait, bool stop_on_error = false,
           const std::string& skip_on_error = "", const std::string& batch_file = "") {
    JobLineTable& table = job_.table;
    const int row = table.Get_BatchLine_Count();
    table.SetJobLineCount(row + 1);
    for (int column = 0; column < JobLineTable::kColumnCount; ++column) {
      table.Set(column, row, Cell(std::string()));
    }
    table.Set(kColNumber, row, Cell(number));
    table.Set(kColDescription, row, Cell("line " + number));
    table.Set(kColType, row, Cell(type));
    table.Set(kColOptions, row, Cell(options));
    table.Set(kColWait, row, Cell(wait));
    table.Set(kColStopOnError, row, Cell(std::string(stop_on_error ? "true" : "false")));
    table.Set(kColActive, row, Cell(std::string("true")));
    table.Set(kColSkipOnError, row, Cell(skip_on_error));
    if (!batch_file.empty()) {
      table.Set(kColBatchFile, row, Cell(batch_file));
      table.Set(kColBatchLogFile, row, Cell(temp_.File("user_" + number + "_log.txt")));
      table.Set(kColBatchStatusFile, row, Cell(temp_.File("user_" + number + "_stat.txt")));
    }
  }

  // The registry file with the launcher key holding `values` (none: no key at all).
  void SetLauncher(const std::string& values) {
    std::string text = plain_registry_;
    if (!values.empty()) {
      text += "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Extraction Job Runner\\Launcher]\r\n" + values;
    }
    test::WriteWholeFile(temp_.File("registry.reg"), text);
  }

  std::map<std::string, std::string> Env() const {
    return {{"JOBRUNNER_REGISTRY", temp_.File("registry.reg")},
            {"JOBRUNNER_EVENT_LOG", temp_.File("events.log")},
            {"JOBRUNNER_METADATA_DB", temp_.File("metadata.sqlite")}};
  }

  std::string SaveJob() {
    const std::string path = temp_.File("job.xml");
    EXPECT_TRUE(WriteJobFile(path, job_, "2026-12-06 12:00:00").ok);
    fs::remove_all(temp_.File("logs"));
    fs::create_directories(temp_.File("logs"));
    return path;
  }

  test::ProgramOutcome Run() {
    return test::RunProgram(test::BinDir() + "/jobrunner", {SaveJob()}, Env(), temp_.path());
  }

  // The run name of the last run, from its administrators' definition file.
  std::string RunName() const {
    for (const auto& folder : fs::directory_iterator(temp_.File("logs"))) {
      for (const auto& file : fs::directory_iterator(folder.path())) {
        const std::string name = file.path().filename().string();
        if (name.ends_with("_RepDef.txt")) return name.substr(0, name.size() - 11);
      }
    }
    return "";
  }

  // What a run decided about its lines: the administrators' report headings, in order.
  std::vector<std::string> Outcomes() const {
    std::vector<std::string> headings;
    for (const auto& folder : fs::directory_iterator(temp_.File("logs"))) {
      for (const auto& file : fs::directory_iterator(folder.path())) {
        if (!file.path().string().ends_with("_RepDef.txt")) continue;
        std::istringstream text(ReadWholeFile(file.path().string()));
        for (std::string line; std::getline(text, line);) {
          if (!line.empty() && line.back() == '\r') line.pop_back();
          if (line.ends_with("  :  OK") || line.ends_with("  :  FAILED")) {
            headings.push_back(line);
          }
        }
      }
    }
    return headings;
  }

  // The id the cluster gives its next job; the difference over a run is the number of
  // jobs the run handed to it.
  static int NextJobId() {
    std::string id;
    Shell("srun --quiet /bin/sh -c 'echo $SLURM_JOB_ID'", &id);
    return atoi(id.c_str()) + 1;
  }

  static inline std::string cluster_dir_;
  static inline bool cluster_up_ = false;
  static inline std::string cluster_error_;
  test::TempDir temp_;
  JobDocument job_;
  std::string plain_registry_;
};

TEST_F(SlurmRunTest, ARunEndsAsItDoesLocallyWithEveryLineOnTheCluster) {
  // A user script in a folder with a blank, not executable (the local launcher runs such
  // a file by /bin/sh): it tells under which name, where and with what environment the
  // cluster ran it.
  fs::create_directory(temp_.File("user scripts"));
  const std::string script = temp_.File("user scripts/report.sh");
  test::WriteWholeFile(script,
                       "#!/bin/sh\necho \"$SLURM_JOB_NAME|$(pwd)|$JR_MARK\" >\"$2\"\n"
                       "echo ok >\"$1\"\n");
  Add("10", "Flow Runner", "-sleep 200", "");
  Add("20", "Scan Anomalies", "-status failure", "10", false, "50");
  Add("30", "Member Purger", "", "10");
  Add("40", "Build Aggregates", "-status 30", "20,30");
  Add("50", "Settings Editor", "", "40");
  Add("60", "User Batchfile", "", "40", false, "", script);
  // Late enough for the repeat copy to be over when it stops the run.
  Add("70", "Run Quillmart script", "-sleep 1000 -status failure", "60", true);
  Add("80", "Flow Runner", "", "70");
  const std::vector<std::string> expected = {
      "line 10 (Flow Runner)  :  OK",
      "line 20 (Scan Anomalies)  :  FAILED",
      "line 30 (Member Purger)  :  OK",
      "line 40 (Build Aggregates)  :  FAILED",
      "line 60 (User Batchfile)  :  OK",
      "line 70 (Run Quillmart script)  :  FAILED",
      "line 30 (Member Purger) (Repeat)   :  OK",
  };

  SetLauncher("");
  test::ProgramOutcome local = Run();
  const std::vector<std::string> local_outcomes = Outcomes();

  SetLauncher("\"Type\"=\"Slurm\"\r\n\"Partition\"=\"debug\"\r\n");
  const int first_job = NextJobId();
  test::ProgramOutcome cluster = Run();
  const int jobs = NextJobId() - first_job - 1;

  EXPECT_EQ(local.status, 2) << local.err;
  EXPECT_EQ(cluster.status, local.status) << cluster.err;
  EXPECT_EQ(cluster.err.find("srun: error"), std::string::npos) << cluster.err;
  std::vector<std::string> sorted_expected = expected, sorted_local = local_outcomes;
  std::sort(sorted_expected.begin(), sorted_expected.end());
  std::sort(sorted_local.begin(), sorted_local.end());
  EXPECT_EQ(sorted_local, sorted_expected);
  std::vector<std::string> sorted_cluster = Outcomes();
  std::sort(sorted_cluster.begin(), sorted_cluster.end());
  EXPECT_EQ(sorted_cluster, sorted_local);
  // Seven starts, the repeat included, went to the cluster; the report generator's two
  // did not.
  EXPECT_EQ(jobs, 7);
  EXPECT_FALSE(ReadWholeFile(temp_.File("admin.htm")).empty());
  EXPECT_EQ(ReadWholeFile(temp_.File("user_60_log.txt")),
            RunName() + "_60|" + fs::current_path().string() + "|from the runner\n");
}

TEST_F(SlurmRunTest, AStoppedRunCancelsItsStepsOnTheCluster) {
  SetLauncher("\"Type\"=\"slurm\"\r\n");
  Add("10", "Flow Runner", "-sleep 60000 -ignore-term", "");
  Add("20", "Scan Anomalies", "-sleep 60000", "");
  Add("30", "Member Purger", "", "10");
  test::RunningProgram running(test::BinDir() + "/jobrunner", {SaveJob()}, Env(), temp_.path());
  // Both programs run on the node once both status files say so.
  auto running_lines = [&] {
    int count = 0;
    for (const auto& folder : fs::directory_iterator(temp_.File("logs"))) {
      for (const auto& file : fs::directory_iterator(folder.path())) {
        if (file.path().string().ends_with("_Stat.txt") &&
            ReadWholeFile(file.path().string()).rfind("running", 0) == 0) {
          ++count;
        }
      }
    }
    return count;
  };
  ASSERT_TRUE(WaitUntil([&] { return running_lines() == 2; }, milliseconds(20000)));
  EXPECT_NE(QueuedJobNames().find("_10\n"), std::string::npos);

  running.Signal(SIGTERM);
  test::ProgramOutcome outcome = running.Wait(std::chrono::seconds(30));
  EXPECT_EQ(outcome.status, 2) << outcome.err;
  EXPECT_TRUE(WaitUntil([&] { return ProcessesWith(temp_.path()).empty(); }, milliseconds(10000)))
      << "a program or srun outlived the stopped run";
  EXPECT_TRUE(WaitUntil([] { return QueuedJobNames().empty(); }, milliseconds(10000)));
  const std::vector<std::string> outcomes = Outcomes();
  EXPECT_EQ(outcomes, (std::vector<std::string>{"line 10 (Flow Runner)  :  FAILED",
                                                "line 20 (Scan Anomalies)  :  FAILED"}));
}

TEST_F(SlurmRunTest, AWrongPartitionFailsItsLinesWithSlurmsMessage) {
  SetLauncher("\"Type\"=\"slurm\"\r\n\"Partition\"=\"nosuch\"\r\n");
  Add("10", "Flow Runner", "", "");
  Add("20", "Member Purger", "", "10");
  const Clock::time_point start = Clock::now();
  test::ProgramOutcome outcome = Run();
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(20));
  EXPECT_EQ(outcome.status, 1) << outcome.err;
  EXPECT_NE(outcome.err.find("invalid partition specified: nosuch"), std::string::npos)
      << outcome.err;
  EXPECT_EQ(Outcomes(), (std::vector<std::string>{"line 10 (Flow Runner)  :  FAILED",
                                                  "line 20 (Member Purger)  :  FAILED"}));
}

TEST_F(SlurmRunTest, CheckTellsWhereJobLinesRunAndAnUnknownLauncherStopsTheRun) {
  Add("10", "Flow Runner", "", "");
  const std::string job = SaveJob();
  auto check = [&] {
    return test::RunProgram(test::BinDir() + "/jobrunner", {"--check", job}, Env(), temp_.path());
  };

  SetLauncher("\"Type\"=\"slurm\"\r\n\"Partition\"=\"debug\"\r\n");
  test::ProgramOutcome good = check();
  EXPECT_EQ(good.status, 0) << good.err;
  EXPECT_NE(good.err.find("jobrunner: Launcher: slurm (job lines run through srun, partition: "
                          "debug)\njobrunner: srun: /"),
            std::string::npos)
      << good.err;
  EXPECT_NE(good.err.find("jobrunner: Slurm controller: answers (partitions: debug*)\n"),
            std::string::npos)
      << good.err;
  EXPECT_EQ(good.err.find("error"), std::string::npos) << good.err;

  SetLauncher("\"Type\"=\"slurm\"\r\n\"Partition\"=\"nosuch\"\r\n");
  test::ProgramOutcome missing = check();
  EXPECT_EQ(missing.status, 0);
  EXPECT_NE(missing.err.find("jobrunner: error: the Slurm controller answers, but has no "
                             "partition \"nosuch\"\n"),
            std::string::npos)
      << missing.err;

  SetLauncher("\"Type\"=\"pbs\"\r\n");
  test::ProgramOutcome unknown = check();
  EXPECT_EQ(unknown.status, 4);
  EXPECT_NE(unknown.err.find("jobrunner: error: Unknown launcher type \"pbs\""), std::string::npos)
      << unknown.err;
  EXPECT_NE(unknown.out.find("\"Flow Runner\""), std::string::npos);

  test::ProgramOutcome refused = Run();
  EXPECT_EQ(refused.status, 4);
  EXPECT_NE(refused.err.find("Unknown launcher type \"pbs\""), std::string::npos) << refused.err;
  EXPECT_TRUE(fs::is_empty(temp_.File("logs")));
}

}  // namespace
}  // namespace jr
