#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "platform/process_launcher.h"
#include "support/engine_fakes.h"
#include "support/run_program.h"
#include "support/test_paths.h"

namespace jr {
namespace {

using std::chrono::milliseconds;
using test::Gone;
using test::MsSince;
using test::ReadWholeFile;

class PosixLauncher : public ::testing::Test {
 protected:
  ~PosixLauncher() override { launcher_->TerminateAll(milliseconds(1000)); }

  // Starts and polls until the end; false when it could not start or did not end.
  bool RunToEnd(const std::string& program, const std::string& arguments) {
    ProcessHandle handle = launcher_->Start({program, arguments, ""});
    if (handle <= 0) return false;
    const auto start = std::chrono::steady_clock::now();
    while (launcher_->IsRunning(handle)) {
      if (MsSince(start) > 5000) return false;
      launcher_->WaitForExit(milliseconds(50));
    }
    return handle == 0;
  }

  ProcessHandle Start(const std::string& program, const std::string& arguments) {
    return launcher_->Start({program, arguments, ""});
  }

  std::string Script(const std::string& name, const std::string& text, mode_t mode) {
    const std::string path = dir_.File(name);
    test::WriteWholeFile(path, text);
    EXPECT_EQ(chmod(path.c_str(), mode), 0);
    return path;
  }

  // The arguments the stand-in received, as its JSON record lists them.
  std::string Received(const std::string& arguments) {
    std::filesystem::remove(record_);
    EXPECT_TRUE(RunToEnd(standin_, "-no-status -record " + record_ + arguments));
    const std::string line = ReadWholeFile(record_);
    const size_t from = line.find("\"args\":[") + 8;
    return line.substr(from, line.find("],", from) - from);
  }

  test::TempDir dir_;
  const std::string standin_ = test::BinDir() + "/standin";
  const std::string record_ = dir_.File("record.jsonl");
  const std::string out_ = dir_.File("out.txt");
  std::unique_ptr<ProcessLauncher> launcher_ = MakeSystemProcessLauncher();
};

TEST_F(PosixLauncher, ArgumentsSplitAtBlanksWithQuotedStretchesWholeAndBackslashesPlain) {
  const std::string own = "\"-no-status\",\"-record\",\"" + record_ + "\"";
  EXPECT_EQ(Received(""), own);
  EXPECT_EQ(Received("  -a \t -b\t"), own + ",\"-a\",\"-b\"");
  EXPECT_EQ(Received(" -StatusFile \"/x y/S~1_10Stat.txt\" -job_id \"2003\""),
            own + ",\"-StatusFile\",\"/x y/S~1_10Stat.txt\",\"-job_id\",\"2003\"");
  EXPECT_EQ(Received(" a\"b c\"d \"\" e\\f"), own + ",\"ab cd\",\"\",\"e\\\\f\"");
}

TEST_F(PosixLauncher, ProgramsAreFoundByPathOrOnThePathAndScriptsRunThroughTheShell) {
  EXPECT_TRUE(RunToEnd("\"" + standin_ + "\"", "-no-status")) << "quotes around it removed";
  EXPECT_TRUE(RunToEnd("true", "")) << "a bare name is searched on PATH";
  for (const std::string& nowhere :
       {dir_.File("missing"), std::string("no-such-program"), std::string(), dir_.path()}) {
    EXPECT_EQ(Start(nowhere, "x"), 0) << nowhere;
  }
  EXPECT_TRUE(RunToEnd(Script("plain script.sh", "echo \"$1|$2\" > \"$3\"\n", 0644),
                       "one \"two words\" \"" + out_ + "\""));
  EXPECT_EQ(ReadWholeFile(out_), "one|two words\n");
  EXPECT_TRUE(RunToEnd(Script("bare.sh", "echo \"$1\" > \"$2\"\n", 0755), "x \"" + out_ + "\""))
      << "executable, but without an interpreter line";
  EXPECT_EQ(ReadWholeFile(out_), "x\n");

  // The same rules for a helper whose output is wanted: both streams, and how it ended.
  const Result<ProgramOutput> run = RunAndCapture(
      {Script("talk.sh", "echo \"out $1\"; echo err >&2; exit 3\n", 0644), "\"a b\"", ""});
  ASSERT_TRUE(run.ok()) << run.message();
  EXPECT_EQ(run.value.exit_status, 3);
  EXPECT_EQ(run.value.output, "out a b\nerr\n");
  EXPECT_FALSE(RunAndCapture({dir_.File("missing"), "", ""}).ok());
}

TEST_F(PosixLauncher, ChildrenGetNullInputAndNoInheritedDescriptors) {
  // Deliberately without close-on-exec; high enough not to meet the shell's own. The
  // runner's own input is a pipe here, which a child must not get.
  const int opened = open("/dev/null", O_RDONLY);
  const int leaked = fcntl(opened, F_DUPFD, 77);
  close(opened);
  ASSERT_GE(leaked, 77);
  int input[2];
  ASSERT_EQ(pipe(input), 0);
  const int saved_input = dup(0);
  dup2(input[0], 0);
  const std::string probe =
      Script("probe.sh",
             "echo \"$(readlink /proc/$$/fd/0) $(ls /proc/$$/fd | tr '\\n' ' ')\" >\"$1\"\n", 0644);
  EXPECT_TRUE(RunToEnd(probe, "\"" + out_ + "\""));
  dup2(saved_input, 0);
  for (int fd : {saved_input, input[0], input[1], leaked}) close(fd);
  const std::string fds = ReadWholeFile(out_);
  EXPECT_EQ(fds.rfind("/dev/null ", 0), 0u) << fds;
  EXPECT_EQ(fds.find(" " + std::to_string(leaked) + " "), std::string::npos) << fds;
}

TEST_F(PosixLauncher, WaitsEndWhenAPolledChildEndsAndEveryChildIsReaped) {
  ProcessHandle slow = Start("sleep", "30");
  ProcessHandle forgotten = Start(standin_, "-no-status -sleep 50");
  ASSERT_GT(slow, 0);
  launcher_->Forget(forgotten);
  auto start = std::chrono::steady_clock::now();
  launcher_->WaitForExit(milliseconds(400));
  EXPECT_GE(MsSince(start), 390) << "a forgotten child does not end a wait";
  EXPECT_TRUE(Gone(forgotten)) << "but it is reaped";

  ProcessHandle quick = Start(standin_, "-no-status -sleep 100");
  const pid_t quick_pid = quick;
  start = std::chrono::steady_clock::now();
  launcher_->WaitForExit(milliseconds(5000));
  EXPECT_LT(MsSince(start), 1500);
  start = std::chrono::steady_clock::now();
  launcher_->WaitForExit(milliseconds(5000));
  EXPECT_LT(MsSince(start), 100) << "until it is polled, an ended child ends every wait";
  EXPECT_FALSE(Gone(quick_pid)) << "a zombie until polled";
  EXPECT_TRUE(!launcher_->IsRunning(quick) && quick == 0 && Gone(quick_pid));
  EXPECT_TRUE(launcher_->IsRunning(slow) && slow > 0);
}

TEST_F(PosixLauncher, TerminateAllAsksWholeTreesFirstAndForcesStubbornOnes) {
  const std::string grandchild_file = dir_.File("grandchild.pid");
  ProcessHandle stubborn =
      Start(standin_, "-no-status -ignore-term -sleep 30000 -grandchild 30000 -grandchild-pid " +
                          grandchild_file);
  ProcessHandle polite = Start("sleep", "30");
  // A program that ignores the request itself, with a child that cleans up when asked:
  // the request must reach the whole tree, not only the program.
  const std::string asked = dir_.File("asked"), ready = dir_.File("ready");
  Script("cleans-up.sh",
         "trap 'echo TERM >\"$1\"; exit 0' TERM\necho >\"$2\"\n"
         "while :; do sleep 0.1; done\n",
         0644);
  ProcessHandle tree = Start(Script("tree.sh",
                                    "sh \"$(dirname \"$0\")/cleans-up.sh\" \"$1\" "
                                    "\"$2\" &\ntrap '' TERM\nwait\n",
                                    0644),
                             asked + " " + ready);
  auto start = std::chrono::steady_clock::now();
  while (!(std::filesystem::exists(grandchild_file) && std::filesystem::exists(ready)) &&
         MsSince(start) < 3000) {
    std::this_thread::sleep_for(milliseconds(10));
  }
  pid_t grandchild = 0;
  std::ifstream(grandchild_file) >> grandchild;
  ASSERT_GT(grandchild, 0);
  ASSERT_TRUE(std::filesystem::exists(ready));

  start = std::chrono::steady_clock::now();
  launcher_->TerminateAll(milliseconds(1000));
  EXPECT_GE(MsSince(start), 990) << "the stubborn one had its grace";
  EXPECT_TRUE(Gone(stubborn) && Gone(polite) && Gone(tree));
  EXPECT_TRUE(Gone(grandchild, milliseconds(2000)));
  EXPECT_EQ(ReadWholeFile(asked), "TERM\n") << "the grandchild was asked before it was killed";
}

TEST_F(PosixLauncher, ChildrenThatOutliveTheLauncherAreStillReaped) {
  ProcessHandle handle = Start(standin_, "-no-status -sleep 200");
  launcher_ = MakeSystemProcessLauncher();
  EXPECT_FALSE(Gone(handle));
  EXPECT_TRUE(Gone(handle, milliseconds(3000)));
}

}  // namespace
}  // namespace jr
