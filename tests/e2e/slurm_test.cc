// Job lines on a real one-node Slurm cluster, started for these tests by
// scripts/slurm-cluster.sh (as root). A cluster that cannot start fails the tests: they
// never skip.

#include <signal.h>
#include <stdlib.h>

#include <set>

#include "support/engine_fakes.h"
#include "support/unattended_run.h"

namespace jr {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;
using test::ReadWholeFile;
using test::WaitUntil;

class SlurmRunTest : public test::UnattendedRun {
 protected:
  // One cluster for the suite, in a folder of its own below /tmp (munged, running as
  // user munge, must reach it).
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/jobrunner-slurm-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return;
    cluster_dir_ = pattern;
    const int status = Shell(ClusterScript() + " start '" + cluster_dir_ + "'", &cluster_error_);
    cluster_up_ = status == 0;
    if (cluster_up_) setenv("SLURM_CONF", (cluster_dir_ + "/slurm.conf").c_str(), 1);
  }

  static void TearDownTestSuite() {
    if (cluster_dir_.empty()) return;
    Shell(ClusterScript() + " stop '" + cluster_dir_ + "'");
    std::error_code ec;
    fs::remove_all(cluster_dir_, ec);
  }

  // Runs a shell command line; its exit status and its output (standard error included).
  static int Shell(const std::string& command, std::string* output = nullptr) {
    test::ProgramOutcome outcome =
        test::RunProgram("/bin/sh", {"-c", command + " 2>&1"}, {}, cluster_dir_);
    if (output != nullptr) *output = outcome.out;
    return outcome.status;
  }

  static std::string ClusterScript() {
    return "bash '" + test::SourceDir() + "/scripts/slurm-cluster.sh'";
  }

  void SetUp() override {
    ASSERT_TRUE(cluster_up_) << "the test cluster did not come up in '" << cluster_dir_
                             << "': " << cluster_error_;
    setenv("JR_MARK", "from the runner", 1);
    UnattendedRun::SetUp();
    job_.MaxParallel = "2";
  }

  static inline std::string cluster_dir_, cluster_error_;
  static inline bool cluster_up_ = false;
};

TEST_F(SlurmRunTest, EveryLineRunsOnTheClusterWithItsNameFolderAndEnvironment) {
  // A user script in a folder with a blank, not executable (the local launcher runs such
  // a file by /bin/sh): it tells under which name, where and with what environment the
  // cluster ran it.
  fs::create_directory(dir_.File("user scripts"));
  const std::string script = dir_.File("user scripts/report.sh");
  test::WriteWholeFile(script,
                       "#!/bin/sh\necho \"$SLURM_JOB_NAME|$(pwd)|$JR_MARK\" >\"$2\"\n"
                       "echo ok >\"$1\"\n");
  AddLine({.number = 10, .type = "Flow Runner", .options = "-sleep 200"});
  AddLine(
      {.number = 20, .type = "Scan Anomalies", .options = "-status failure", .wait_for = {"10"}});
  AddLine({.number = 30, .type = "Member Purger", .wait_for = {"10"}});
  // Its status line names line 30: failed, and 30 is repeated.
  AddLine(
      {.number = 40, .type = "Build Aggregates", .options = "-status 30", .wait_for = {"20,30"}});
  AddLine({.number = 60, .type = "User Batchfile", .wait_for = {"40"}, .batch_file = script});
  SetRegistryKey("Launcher", "\"Type\"=\"Slurm\"\r\n\"Partition\"=\"debug\"\r\n");
  test::ProgramOutcome cluster = Run();

  EXPECT_EQ(cluster.status, 1) << cluster.err;
  const Lines outcomes = Outcomes();
  EXPECT_EQ(std::multiset<std::string>(outcomes.begin(), outcomes.end()),
            (std::multiset<std::string>{
                "line 10 (Flow Runner)  :  OK", "line 20 (Scan Anomalies)  :  FAILED",
                "line 30 (Member Purger)  :  OK", "line 40 (Build Aggregates)  :  FAILED",
                "line 60 (User Batchfile)  :  OK", "line 30 (Member Purger) (Repeat)   :  OK"}));
  EXPECT_EQ(ReadWholeFile(dir_.File("user_60_log.txt")),
            RunName() + "_60|" + fs::current_path().string() + "|from the runner\n");
  const test::ProgramOutcome check = Launch({"--check", SaveJob()});
  EXPECT_TRUE(test::Has(check.err, "jobrunner: Slurm controller: answers (partitions: debug*)\n"));

  // A wrong partition fails the lines at once, with Slurm's message.
  SetRegistryKey("Launcher", "\"Type\"=\"slurm\"\r\n\"Partition\"=\"nosuch\"\r\n");
  const Clock::time_point start = Clock::now();
  test::ProgramOutcome wrong = Run();
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(20));
  EXPECT_EQ(wrong.status, 1) << wrong.err;
  EXPECT_TRUE(test::Has(wrong.err, "invalid partition specified: nosuch"));
}

TEST_F(SlurmRunTest, AStoppedRunCancelsItsStepsOnTheCluster) {
  SetRegistryKey("Launcher", "\"Type\"=\"slurm\"\r\n");
  AddLine({.number = 10, .type = "Flow Runner", .options = "-sleep 60000 -ignore-term"});
  AddLine({.number = 20, .type = "Scan Anomalies", .options = "-sleep 60000"});
  AddLine({.number = 30, .type = "Member Purger", .wait_for = {"10"}});
  test::RunningProgram running(Jobrunner(), {SaveJob()}, Env(), dir_.path());
  // Both programs run on the node once both status files say so.
  auto running_lines = [&] {
    int count = 0;
    for (const auto& folder : fs::directory_iterator(dir_.File("logs"))) {
      for (const auto& file : fs::directory_iterator(folder.path())) {
        count += file.path().string().ends_with("_Stat.txt") &&
                 ReadWholeFile(file.path().string()).starts_with("running");
      }
    }
    return count;
  };
  ASSERT_TRUE(WaitUntil([&] { return running_lines() == 2; }, milliseconds(20000)));

  running.Signal(SIGTERM);
  test::ProgramOutcome outcome = running.Wait(std::chrono::seconds(30));
  EXPECT_EQ(outcome.status, 2) << outcome.err;
  // No process may have the test folder in its command line ("[/]" keeps pgrep's own
  // shell out).
  const std::string pattern = "'[/]" + dir_.path().substr(1) + "'";
  EXPECT_TRUE(WaitUntil([&] { return Shell("pgrep -f " + pattern) == 1; }, milliseconds(10000)))
      << "a program or srun outlived the stopped run";
  EXPECT_TRUE(WaitUntil([] { return Shell("test -z \"$(squeue --noheader)\"") == 0; },
                        milliseconds(10000)));
  EXPECT_EQ(Outcomes(),
            (Lines{"line 10 (Flow Runner)  :  FAILED", "line 20 (Scan Anomalies)  :  FAILED"}));
}

}  // namespace
}  // namespace jr
