#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/process_launcher.h"
#include "support/engine_fakes.h"
#include "support/test_paths.h"

namespace jr {
namespace {

using std::chrono::milliseconds;
using test::Gone;
using test::MsSince;
using test::ReadWholeFile;

// How programs are found and their arguments split is seen through the cluster launcher,
// which shares it; here what only real processes show.
class PosixLauncher : public ::testing::Test {
 protected:
  ~PosixLauncher() override { launcher_->TerminateAll(milliseconds(1000)); }

  // Starts and polls until the end; false when it could not start or did not end.
  bool RunToEnd(const std::string& program, const std::string& arguments) {
    ProcessHandle handle = Start(program, arguments);
    if (handle <= 0) return false;
    return test::WaitUntil([&] { return !launcher_->IsRunning(handle); }, milliseconds(5000));
  }

  ProcessHandle Start(const std::string& program, const std::string& arguments) {
    return launcher_->Start({program, arguments, ""});
  }

  std::string Script(const std::string& name, const std::string& text) {
    const std::string path = dir_.File(name);
    test::WriteWholeFile(path, text);
    return path;
  }

  test::TempDir dir_;
  const std::string out_ = dir_.File("out.txt");
  std::unique_ptr<ProcessLauncher> launcher_ = MakeSystemProcessLauncher();
};

TEST_F(PosixLauncher, ChildrenGetNullInputNotTheRunnersOwn) {
  // The runner's own input is a pipe here; a child reading it would wait for ever.
  int input[2];
  ASSERT_EQ(pipe(input), 0);
  const int saved_input = dup(0);
  dup2(input[0], 0);
  EXPECT_TRUE(RunToEnd(Script("probe.sh", "readlink /proc/$$/fd/0 >\"$1\"\n"), "\"" + out_ + "\""));
  dup2(saved_input, 0);
  for (int fd : {saved_input, input[0], input[1]}) close(fd);
  EXPECT_EQ(ReadWholeFile(out_), "/dev/null\n");
}

TEST_F(PosixLauncher, TerminateAllAsksWholeTreesFirstAndForcesStubbornOnes) {
  // A program that ignores the request itself, with a child that cleans up when asked:
  // the request must reach the whole tree, not only the program.
  const std::string asked = dir_.File("asked"), ready = dir_.File("ready");
  Script("cleans-up.sh",
         "trap 'echo TERM >\"$1\"; exit 0' TERM\necho $$ >\"$2\"\nwhile :; do sleep 0.1; done\n");
  ProcessHandle tree = Start(Script("tree.sh",
                                    "sh \"$(dirname \"$0\")/cleans-up.sh\" \"$1\" \"$2\" &\ntrap "
                                    "'' TERM\nwhile :; do sleep 0.1; done\n"),
                             asked + " " + ready);
  test::WaitUntil([&] { return !ReadWholeFile(ready).empty(); }, milliseconds(3000));
  const int grandchild = std::atoi(ReadWholeFile(ready).c_str());
  ASSERT_GT(grandchild, 0);
  const auto terminating = std::chrono::steady_clock::now();
  launcher_->TerminateAll(milliseconds(1000));
  EXPECT_GE(MsSince(terminating), 990) << "the stubborn one had its grace";
  EXPECT_TRUE(Gone(tree) && Gone(grandchild, milliseconds(2000)));
  EXPECT_EQ(ReadWholeFile(asked), "TERM\n") << "the grandchild was asked before it was killed";
}

}  // namespace
}  // namespace jr
