// Job lines on a real one-node Slurm cluster, started for these tests by
// scripts/slurm-cluster.sh (as root). A cluster that cannot start fails the tests: they
// never skip.

#include <dirent.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/slurm_launcher.h"
#include "support/test_paths.h"

namespace jr {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

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

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// Processes whose command line holds `marker`, other than the shell asking.
std::vector<pid_t> ProcessesWith(const std::string& marker) {
  std::vector<pid_t> found;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return found;
  while (dirent* entry = readdir(proc)) {
    const pid_t pid = static_cast<pid_t>(atoi(entry->d_name));
    if (pid <= 0 || pid == getpid()) continue;
    std::string cmdline = ReadFile("/proc/" + std::string(entry->d_name) + "/cmdline");
    if (cmdline.find(marker) != std::string::npos) found.push_back(pid);
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

// The cluster of one test program: started before the first test of a suite, stopped
// after its last. Lives in a folder of its own below the temporary folder (munged, running
// as user munge, must reach it).
class Cluster {
 public:
  static bool Start(std::string* error) {
    if (!dir_.empty()) return true;
    char pattern[] = "/tmp/jobrunner-slurm-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
      *error = "cannot create the cluster folder";
      return false;
    }
    std::string output;
    const int status = Shell("bash " + Quoted(test::SourceDir() + "/scripts/slurm-cluster.sh") +
                                 " start " + Quoted(pattern),
                             &output);
    if (status != 0) {
      *error = "scripts/slurm-cluster.sh start failed (status " + std::to_string(status) + "):\n" +
               output;
      fs::remove_all(pattern);
      return false;
    }
    dir_ = pattern;
    setenv("SLURM_CONF", Conf().c_str(), 1);
    return true;
  }

  static void Stop() {
    if (dir_.empty()) return;
    Shell("bash " + Quoted(test::SourceDir() + "/scripts/slurm-cluster.sh") + " stop " +
          Quoted(dir_));
    std::error_code ec;
    fs::remove_all(dir_, ec);
    dir_.clear();
  }

  static std::string Conf() { return dir_ + "/slurm.conf"; }

  // Names of the cluster's jobs that are not over.
  static std::string QueuedJobNames() {
    std::string names;
    Shell("squeue --noheader --format=%j", &names);
    return names;
  }

 private:
  static inline std::string dir_;
};

class SlurmTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { cluster_up_ = Cluster::Start(&cluster_error_); }
  static void TearDownTestSuite() { Cluster::Stop(); }

  void SetUp() override {
    ASSERT_TRUE(cluster_up_) << "the test cluster did not come up: " << cluster_error_;
  }

  std::string Standin() const { return test::BinDir() + "/standin"; }

  // A cluster launcher over the system's launcher, running programs in the test folder.
  std::unique_ptr<SlurmProcessLauncher> MakeLauncher(const std::string& partition = {}) {
    LauncherSettings settings;
    settings.type = LauncherSettings::Type::kSlurm;
    settings.partition = partition;
    return std::make_unique<SlurmProcessLauncher>(MakeSystemProcessLauncher(), settings,
                                                  temp_.path());
  }

  // Polls `handle` until its process ends.
  static bool RunsToItsEnd(ProcessLauncher& launcher, ProcessHandle& handle, milliseconds limit) {
    return WaitUntil(
        [&] {
          if (!launcher.IsRunning(handle)) return true;
          launcher.WaitForExit(milliseconds(100));
          return false;
        },
        limit);
  }

  static inline bool cluster_up_ = false;
  static inline std::string cluster_error_;
  test::TempDir temp_;
};

TEST_F(SlurmTest, ProgramsRunAsNamedClusterJobsInTheRunnersFolderWithItsEnvironment) {
  // A script in a folder with a blank, not executable, as user scripts often are: it
  // reports where and how the cluster ran it.
  const std::string folder = temp_.File("user scripts");
  fs::create_directory(folder);
  const std::string script = folder + "/report.sh";
  std::ofstream(script) << "#!/bin/sh\n"
                           "echo \"$SLURM_JOB_NAME|$(pwd)|$JR_MARK|$*\" > \"$1\"\n"
                           "sleep 1\n";
  setenv("JR_MARK", "from the runner", 1);
  std::unique_ptr<SlurmProcessLauncher> launcher = MakeLauncher();
  launcher->SetRunName("SorelJob~4711");
  launcher->SetJobLineNr(30);

  const std::string report = temp_.File("report file.txt");
  ProcessHandle handle = launcher->Start(script, "\"" + report + "\" two");
  ASSERT_GT(handle, 0);
  EXPECT_TRUE(WaitUntil([&] { return fs::exists(report); }, milliseconds(10000)));
  EXPECT_NE(Cluster::QueuedJobNames().find("SorelJob~4711_30"), std::string::npos);
  EXPECT_TRUE(RunsToItsEnd(*launcher, handle, milliseconds(10000)));
  EXPECT_EQ(handle, 0);
  EXPECT_EQ(ReadFile(report),
            "SorelJob~4711_30|" + temp_.path() + "|from the runner|" + report + " two\n");
  EXPECT_EQ(Cluster::QueuedJobNames(), "");
}

TEST_F(SlurmTest, EndingTheRunnersSrunCancelsTheStepOnTheNode) {
  std::unique_ptr<SlurmProcessLauncher> launcher = MakeLauncher();
  const std::string status = temp_.File("stat.txt");
  // It ignores the polite request itself: only the step's cancellation ends it.
  ProcessHandle first = launcher->Start(
      Standin(), "-sleep 60000 -ignore-term -StatusFile \"" + status + "\" -job_id cancelme");
  ProcessHandle second = launcher->Start(Standin(), "-sleep 60000 -job_id cancelme");
  ASSERT_GT(first, 0);
  ASSERT_GT(second, 0);
  ASSERT_TRUE(
      WaitUntil([&] { return ReadFile(status).rfind("running", 0) == 0; }, milliseconds(10000)));
  ASSERT_TRUE(WaitUntil([] { return ProcessesWith("cancelme").size() >= 4; }, milliseconds(10000)))
      << "expected two srun processes and two programs";

  const Clock::time_point start = Clock::now();
  launcher->TerminateAll(milliseconds(5000));
  EXPECT_LT(Clock::now() - start, milliseconds(4000)) << "srun needed the forced end";

  EXPECT_TRUE(WaitUntil([] { return ProcessesWith("cancelme").empty(); }, milliseconds(10000)))
      << "a program outlived its cancelled step";
  EXPECT_TRUE(WaitUntil([] { return Cluster::QueuedJobNames().empty(); }, milliseconds(10000)));
  EXPECT_FALSE(launcher->IsRunning(first));
  EXPECT_FALSE(launcher->IsRunning(second));
}

TEST_F(SlurmTest, ASlurmErrorEndsSrunQuicklyWithoutAStatusLine) {
  std::unique_ptr<SlurmProcessLauncher> launcher = MakeLauncher("no_such_partition");
  const std::string status = temp_.File("stat.txt");
  ProcessHandle handle = launcher->Start(Standin(), "-StatusFile \"" + status + "\"");
  ASSERT_GT(handle, 0);
  EXPECT_TRUE(RunsToItsEnd(*launcher, handle, milliseconds(10000)));
  EXPECT_FALSE(fs::exists(status));
}

}  // namespace
}  // namespace jr
