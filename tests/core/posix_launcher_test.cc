#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/process_launcher.h"
#include "support/test_paths.h"

namespace jr {
namespace {

using std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& text, mode_t mode) {
  std::ofstream(path, std::ios::binary) << text;
  ASSERT_EQ(chmod(path.c_str(), mode), 0);
}

// Polls until the process has ended, reaping it through the launcher.
bool WaitUntilEnded(ProcessLauncher& launcher, ProcessHandle handle,
                    milliseconds within = milliseconds(5000)) {
  auto deadline = SteadyClock::now() + within;
  while (launcher.IsRunning(handle)) {
    if (SteadyClock::now() > deadline) return false;
    launcher.WaitForExit(milliseconds(50));
  }
  return true;
}

// Not running and not a zombie: reaped (by us or, for orphans, by init).
bool Gone(pid_t pid, milliseconds within = milliseconds(0)) {
  auto deadline = SteadyClock::now() + within;
  const std::string proc = "/proc/" + std::to_string(pid);
  while (std::filesystem::exists(proc)) {
    if (SteadyClock::now() >= deadline) return false;
    std::this_thread::sleep_for(milliseconds(10));
  }
  return true;
}

long ElapsedMs(SteadyClock::time_point since) {
  return static_cast<long>(
      std::chrono::duration_cast<milliseconds>(SteadyClock::now() - since).count());
}

class PosixLauncher : public ::testing::Test {
 protected:
  PosixLauncher() : launcher_(MakeSystemProcessLauncher()) {}
  ~PosixLauncher() override { launcher_->TerminateAll(milliseconds(1000)); }

  // Starts the stand-in, which records its arguments in `record_`, and waits for its end.
  std::string RecordedArguments(const std::string& arguments) {
    ProcessHandle handle =
        launcher_->Start(test::BinDir() + "/standin", "-no-status -record " + record_ + arguments);
    EXPECT_GT(handle, 0);
    EXPECT_TRUE(WaitUntilEnded(*launcher_, handle));
    std::string line = ReadFile(record_);
    std::filesystem::remove(record_);
    size_t args = line.find("\"args\":[");
    size_t end = line.find("],", args);
    return line.substr(args + 8, end - args - 8);
  }

  test::TempDir dir_;
  std::string record_ = dir_.File("record.jsonl");
  std::unique_ptr<ProcessLauncher> launcher_;
};

TEST_F(PosixLauncher, SplitsArgumentsAtBlanksAndKeepsQuotedStretchesWhole) {
  const std::string prefix = "\"-no-status\",\"-record\",\"" + record_ + "\"";
  EXPECT_EQ(RecordedArguments(""), prefix);
  EXPECT_EQ(RecordedArguments("  a   b "), prefix + ",\"a\",\"b\"");
  EXPECT_EQ(RecordedArguments(" -StatusFile \"/x y/S~1_10Stat.txt\" -job_id \"2003\""),
            prefix + ",\"-StatusFile\",\"/x y/S~1_10Stat.txt\",\"-job_id\",\"2003\"");
  EXPECT_EQ(RecordedArguments(" a\"b c\"d \"\" e\\f"), prefix + ",\"ab cd\",\"\",\"e\\\\f\"")
      << "quotes join, an empty pair is an argument, backslashes are plain";
}

TEST_F(PosixLauncher, FindsProgramsByPathOrOnThePathVariable) {
  ProcessHandle handle = launcher_->Start("\"" + test::BinDir() + "/standin\"", "-no-status");
  EXPECT_GT(handle, 0) << "surrounding quotes are removed";
  EXPECT_TRUE(WaitUntilEnded(*launcher_, handle));

  handle = launcher_->Start("true", "");
  EXPECT_GT(handle, 0) << "a bare name is searched on PATH";
  EXPECT_TRUE(WaitUntilEnded(*launcher_, handle));

  EXPECT_EQ(launcher_->Start(dir_.File("missing"), "x"), 0);
  EXPECT_EQ(launcher_->Start("no-such-program-anywhere", ""), 0);
  EXPECT_EQ(launcher_->Start("", ""), 0);
  EXPECT_EQ(launcher_->Start(dir_.path(), ""), 0) << "a folder";
}

TEST_F(PosixLauncher, ScriptsRunThroughTheShellWhetherMarkedExecutableOrNot) {
  const std::string out = dir_.File("out.txt");
  const std::string plain = dir_.File("plain script.sh");
  WriteFile(plain, "echo \"$1|$2\" > \"$3\"\n", 0644);
  ProcessHandle handle = launcher_->Start(plain, "one \"two words\" \"" + out + "\"");
  ASSERT_GT(handle, 0);
  ASSERT_TRUE(WaitUntilEnded(*launcher_, handle));
  EXPECT_EQ(ReadFile(out), "one|two words\n");

  const std::string no_interpreter_line = dir_.File("exec.sh");
  WriteFile(no_interpreter_line, "echo \"$1\" > \"$2\"\n", 0755);
  handle = launcher_->Start(no_interpreter_line, "again \"" + out + "\"");
  ASSERT_GT(handle, 0);
  ASSERT_TRUE(WaitUntilEnded(*launcher_, handle));
  EXPECT_EQ(ReadFile(out), "again\n");
}

TEST_F(PosixLauncher, ChildrenGetNullInputNoInheritedDescriptorsAndAGroupOfTheirOwn) {
  int leaked = open("/dev/null", O_RDONLY);  // deliberately without O_CLOEXEC
  ASSERT_GE(leaked, 3);
  const std::string out = dir_.File("out.txt");
  const std::string script = dir_.File("probe.sh");
  WriteFile(script,
            "cat > \"$1\"\n"
            "ls /proc/$$/fd | tr '\\n' ' ' >> \"$1\"\n"
            "echo \"|$(cut -d' ' -f5 /proc/$$/stat)|$$\" >> \"$1\"\n",
            0644);
  ProcessHandle handle = launcher_->Start(script, "\"" + out + "\"");
  ASSERT_GT(handle, 0);
  ASSERT_TRUE(WaitUntilEnded(*launcher_, handle, milliseconds(3000))) << "stdin must not block";
  close(leaked);
  std::string text = ReadFile(out);
  EXPECT_EQ(text.find(" " + std::to_string(leaked) + " "), std::string::npos) << text;
  size_t bar = text.find('|');
  ASSERT_NE(bar, std::string::npos) << text;
  std::string pgid = text.substr(bar + 1, text.find('|', bar + 1) - bar - 1);
  std::string pid = text.substr(text.rfind('|') + 1);
  pid.erase(pid.find_last_not_of('\n') + 1);
  EXPECT_EQ(pgid, pid) << "leader of its own process group";
}

TEST_F(PosixLauncher, IsRunningReapsAndZeroesTheHandle) {
  ProcessHandle handle = launcher_->Start(test::BinDir() + "/standin", "-no-status -sleep 100");
  ASSERT_GT(handle, 0);
  const pid_t pid = handle;
  ProcessHandle copy = handle;
  EXPECT_TRUE(launcher_->IsRunning(copy));
  EXPECT_EQ(copy, handle);
  EXPECT_TRUE(WaitUntilEnded(*launcher_, handle));
  EXPECT_TRUE(Gone(pid)) << "reaped";
  ProcessHandle none = 0;
  EXPECT_FALSE(launcher_->IsRunning(none));
  copy = pid;
  EXPECT_FALSE(launcher_->IsRunning(copy)) << "an old handle";
  EXPECT_EQ(copy, 0);
}

TEST_F(PosixLauncher, WaitForExitEndsWhenAChildEndsAndNotBefore) {
  ProcessHandle slow = launcher_->Start("sleep", "30");
  ASSERT_GT(slow, 0);
  auto start = SteadyClock::now();
  launcher_->WaitForExit(milliseconds(300));
  EXPECT_GE(ElapsedMs(start), 290) << "nothing ended";

  ProcessHandle quick = launcher_->Start(test::BinDir() + "/standin", "-no-status -sleep 100");
  ASSERT_GT(quick, 0);
  start = SteadyClock::now();
  launcher_->WaitForExit(milliseconds(5000));
  EXPECT_LT(ElapsedMs(start), 1500);
  // The ended child stays to be seen by IsRunning; until then waits return at once.
  start = SteadyClock::now();
  launcher_->WaitForExit(milliseconds(5000));
  EXPECT_LT(ElapsedMs(start), 100);
  EXPECT_FALSE(launcher_->IsRunning(quick));
  EXPECT_TRUE(launcher_->IsRunning(slow));
}

TEST_F(PosixLauncher, ForgottenChildrenAreReapedWithoutWakingAWait) {
  ProcessHandle slow = launcher_->Start("sleep", "30");
  ProcessHandle forgotten = launcher_->Start(test::BinDir() + "/standin", "-no-status -sleep 50");
  ASSERT_GT(slow, 0);
  ASSERT_GT(forgotten, 0);
  launcher_->Forget(forgotten);
  auto start = SteadyClock::now();
  launcher_->WaitForExit(milliseconds(400));
  EXPECT_GE(ElapsedMs(start), 390) << "only a polled child ends a wait";
  EXPECT_TRUE(Gone(forgotten)) << "no zombie";
}

TEST_F(PosixLauncher, TerminateAllEndsWholeTreesAndForcesStubbornOnes) {
  const std::string grandchild_file = dir_.File("grandchild.pid");
  ProcessHandle stubborn = launcher_->Start(
      test::BinDir() + "/standin",
      "-no-status -ignore-term -sleep 30000 -grandchild 30000 -grandchild-pid " + grandchild_file);
  ProcessHandle polite = launcher_->Start("sleep", "30");
  ASSERT_GT(stubborn, 0);
  ASSERT_GT(polite, 0);
  auto deadline = SteadyClock::now() + milliseconds(3000);
  while (!std::filesystem::exists(grandchild_file) && SteadyClock::now() < deadline) {
    std::this_thread::sleep_for(milliseconds(10));
  }
  pid_t grandchild = 0;
  std::ifstream(grandchild_file) >> grandchild;
  ASSERT_GT(grandchild, 0);

  auto start = SteadyClock::now();
  launcher_->TerminateAll(milliseconds(300));
  long elapsed = ElapsedMs(start);
  EXPECT_GE(elapsed, 290) << "the stubborn one had its grace";
  EXPECT_LT(elapsed, 2000);
  EXPECT_TRUE(Gone(stubborn));
  EXPECT_TRUE(Gone(polite));
  EXPECT_TRUE(Gone(grandchild, milliseconds(2000)));
  ProcessHandle copy = stubborn;
  EXPECT_FALSE(launcher_->IsRunning(copy));
}

TEST_F(PosixLauncher, ChildrenThatOutliveTheLauncherAreStillReaped) {
  ProcessHandle handle = launcher_->Start(test::BinDir() + "/standin", "-no-status -sleep 200");
  ASSERT_GT(handle, 0);
  launcher_.reset();
  EXPECT_FALSE(Gone(handle));
  EXPECT_TRUE(Gone(handle, milliseconds(3000)));
  launcher_ = MakeSystemProcessLauncher();
}

}  // namespace
}  // namespace jr
