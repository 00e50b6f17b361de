#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/process_launcher.h"
#include "support/engine_fakes.h"
#include "support/test_paths.h"

namespace jr {
namespace {

using std::chrono::milliseconds;
using test::Gone;
using test::Has;
using test::MsSince;
using test::ReadWholeFile;

// How programs are found and their arguments split is seen through the cluster launcher,
// which shares it; here what only real processes show.
class PosixLauncher : public ::testing::Test {
 protected:
  ~PosixLauncher() override { launcher_->TerminateAll(milliseconds(1000)); }

  ProcessHandle Start(const std::string& program, const std::vector<std::string>& arguments) {
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

// The arguments reach the program as they are, its input is the null device, not the
// runner's own (a pipe here: a child reading it would wait for ever), and how it ended is
// kept only when it ended by itself.
TEST_F(PosixLauncher, ArgumentsPassUnchangedInputIsNullAndOnlyAnOwnEndKeepsTheExitStatus) {
  const std::string script = Script(
      "exits.sh",
      "[ \"$2\" = ended ] && trap 'exit 0' TERM\n[ \"$2\" = stubborn ] && trap '' TERM\n"
      "{ printf '%s|' \"$@\"; readlink /proc/$$/fd/0; } >\"$1\"\n[ \"$2\" = kill ] && kill -9 $$\n"
      "case $2 in ended|stubborn) sleep 30 & wait ;; esac\nexit \"$2\"\n");
  int input[2];
  ASSERT_EQ(pipe(input), 0);
  const int saved_input = dup(0);
  dup2(input[0], 0);
  const std::pair<std::string, std::optional<int>> cases[] = {
      {"3", 3}, {"0", 0}, {"kill", std::nullopt}, {"ended", std::nullopt}, {"stubborn", {}}};
  for (const auto& [how, status] : cases) {
    std::remove(out_.c_str());
    ProcessHandle handle = Start(script, {out_, how, "a \"b\"", "", "-x\\"}), started = handle;
    EXPECT_TRUE(
        test::WaitUntil([&] { return Has(ReadWholeFile(out_), "\n"); }, milliseconds(5000)));
    // A program that ignores the request is killed once its grace has passed.
    if (how == "ended" || how == "stubborn")
      launcher_->BeginTerminate(handle, milliseconds(how == "ended" ? 5000 : 200));
    EXPECT_TRUE(test::WaitUntil([&] { return !launcher_->IsRunning(handle); }, milliseconds(5000)));
    EXPECT_EQ(launcher_->ExitStatus(started), status) << how;
    EXPECT_EQ(ReadWholeFile(out_), out_ + "|" + how + "|a \"b\"||-x\\|/dev/null\n");
  }
  dup2(saved_input, 0);
  for (int fd : {saved_input, input[0], input[1]}) close(fd);
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
                             {asked, ready});
  test::WaitUntil([&] { return !ReadWholeFile(ready).empty(); }, milliseconds(3000));
  const int grandchild = std::atoi(ReadWholeFile(ready).c_str());
  ASSERT_GT(grandchild, 0);
  const auto terminating = std::chrono::steady_clock::now();
  launcher_->TerminateAll(milliseconds(1000));
  EXPECT_GE(MsSince(terminating), 990) << "the stubborn one had its grace";
  EXPECT_TRUE(Gone(tree) && Gone(grandchild, milliseconds(2000)));
  EXPECT_EQ(ReadWholeFile(asked), "TERM\n") << "the grandchild was asked before it was killed";
}

// A start that fails says what could not be started and the system's reason, also when
// only the exec in the child finds it (an interpreter that is not there).
TEST_F(PosixLauncher, AFailedStartNamesTheProgramAndTheSystemsReason) {
  const std::string no_interpreter = Script("x.sh", "#!/nonexistent/sh\n");
  chmod(no_interpreter.c_str(), 0755);
  mkfifo(dir_.File("fifo").c_str(), 0644);
  const std::string missing = ": No such file or directory";
  for (const auto& [program, failure] : std::vector<std::pair<std::string, std::string>>{
           {dir_.File("gone.sh"), dir_.File("gone.sh") + missing},
           {"\"" + dir_.File("") + "\"", dir_.File("") + ": Is a directory"},
           {dir_.File("fifo"), dir_.File("fifo") + ": Permission denied"},
           {no_interpreter, no_interpreter + missing}}) {
    EXPECT_EQ(launcher_->TryStart({program, {}, ""}).message(), failure);
  }
}

}  // namespace
}  // namespace jr
