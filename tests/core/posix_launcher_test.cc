#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

// A start that fails says what could not be started and why: the system's reason, or what
// is wrong with a script's #! line, which the system would name as a missing file. A script
// that may not be executed runs by the interpreter its #! line names, with its arguments.
TEST_F(PosixLauncher, AFailedStartNamesTheProgramAndTheReasonScriptsRunByTheirInterpreter) {
  const std::string no_interpreter = Script("x.sh", "#!/nonexistent/sh\n");
  chmod(no_interpreter.c_str(), 0755);
  const std::string windows = Script("w.sh", "#!/bin/sh\r\necho ok\r\n");
  mkfifo(dir_.File("fifo").c_str(), 0644);
  const std::string missing = ": No such file or directory";
  for (const auto& [program, failure] : std::vector<std::pair<std::string, std::string>>{
           {dir_.File("gone.sh"), dir_.File("gone.sh") + missing},
           {"\"" + dir_.File("") + "\"", dir_.File("") + ": Is a directory"},
           {dir_.File("fifo"), dir_.File("fifo") + ": Permission denied"},
           {no_interpreter, no_interpreter + ": its #! interpreter /nonexistent/sh" + missing},
           {windows, windows + ": its #! line has Windows line endings (CR LF)"}}) {
    EXPECT_EQ(launcher_->TryStart({program, {}, ""}).message(), failure);
  }
  for (const auto& [text, expected] :
       {std::pair{"#!/usr/bin/env bash\n[[ -n $BASH ]] && echo bash >\"$1\"\n", "bash\n"},
        {"echo sh >\"$1\"\n", "sh\n"}}) {
    ProcessHandle handle = Start(Script("not-executable.sh", text), {out_});
    EXPECT_TRUE(test::WaitUntil([&] { return !launcher_->IsRunning(handle); }, milliseconds(5000)));
    EXPECT_EQ(ReadWholeFile(out_), expected);
  }
}

// What only the exec shows: a bare name is looked for in each folder of PATH in turn, past
// those where it is missing or may not be run; an executable file without "#!" runs by the
// shell; a file the system will not run now is named with the system's reason.
TEST_F(PosixLauncher, ThePathIsSearchedInTurnAndAnExecFailureIsNamed) {
  for (const char* folder : {"a", "b"}) mkdir(dir_.File(folder).c_str(), 0755);
  Script("a/tool", "#!/bin/sh\necho a >\"$1\"\n");
  const std::string tool = Script("b/tool", "#!/bin/sh\necho b >\"$1\"\n"),
                    plain = Script("plain", "echo \"$0\" >\"$1\"\n");
  for (const std::string& file : {tool, plain}) chmod(file.c_str(), 0755);
  const std::string path = getenv("PATH");
  setenv("PATH", (dir_.File("none") + ":" + dir_.File("a") + ":" + dir_.File("b")).c_str(), 1);
  for (const auto& [program, expected] :
       {std::pair{std::string("tool"), std::string("b\n")}, {plain, plain + "\n"}}) {
    ProcessHandle handle = Start(program, {out_});
    EXPECT_TRUE(test::WaitUntil([&] { return !launcher_->IsRunning(handle); }, milliseconds(5000)));
    EXPECT_EQ(ReadWholeFile(out_), expected);
  }
  setenv("PATH", path.c_str(), 1);
  const int writing = open(tool.c_str(), O_WRONLY);
  EXPECT_EQ(launcher_->TryStart({tool, {}, ""}).message(), tool + ": Text file busy");
  close(writing);
}

// A child starts as the plain spawn that resets only the nine signals the runner may touch
// would leave it: nothing blocked, at its default what the runner catches or ignored of those
// nine, still ignored what else the runner's parent had it ignore.
TEST_F(PosixLauncher, AChildStartsWithTheSignalStateOfAPlainSpawn) {
  const std::string script = Script("signals.sh", "grep '^Sig[BIC]' /proc/self/status >\"$1\"\n");
  struct sigaction ignored = {}, caught = {}, saved[4];
  ignored.sa_handler = SIG_IGN;
  caught.sa_handler = [](int) {};
  const int changed[] = {SIGUSR1, SIGWINCH, SIGTERM, SIGURG};
  for (int i = 0; i < 4; ++i) sigaction(changed[i], i < 2 ? &ignored : &caught, &saved[i]);
  sigset_t blocked, nine, none;
  sigemptyset(&blocked), sigemptyset(&nine), sigemptyset(&none);
  sigaddset(&blocked, SIGUSR2), sigaddset(&blocked, SIGWINCH);
  pthread_sigmask(SIG_BLOCK, &blocked, &blocked);
  for (int signal_number :
       {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD, SIGUSR1, SIGUSR2, SIGALRM}) {
    sigaddset(&nine, signal_number);
  }
  posix_spawnattr_t plain;
  posix_spawnattr_init(&plain);
  posix_spawnattr_setsigmask(&plain, &none), posix_spawnattr_setsigdefault(&plain, &nine);
  posix_spawnattr_setflags(&plain, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  const std::string expected = dir_.File("plain.txt");
  std::string words[] = {"/bin/sh", script, expected};
  char* argv[] = {words[0].data(), words[1].data(), words[2].data(), nullptr};
  pid_t pid = 0;
  EXPECT_EQ(posix_spawn(&pid, argv[0], nullptr, &plain, argv, environ), 0);
  if (pid > 0) waitpid(pid, nullptr, 0);
  posix_spawnattr_destroy(&plain);
  ProcessHandle handle = Start(script, {out_});
  EXPECT_TRUE(test::WaitUntil([&] { return !launcher_->IsRunning(handle); }, milliseconds(5000)));
  pthread_sigmask(SIG_SETMASK, &blocked, nullptr);
  for (int i = 0; i < 4; ++i) sigaction(changed[i], &saved[i], nullptr);
  const std::string got = ReadWholeFile(out_), spawned = ReadWholeFile(expected);
  // SigBlk, SigIgn, SigCgt, 25 characters each.
  const auto ignoring = [](const std::string& s) { return std::stoull(s.substr(33, 16), 0, 16); };
  EXPECT_EQ(got.substr(0, 25) + got.substr(50), spawned.substr(0, 25) + spawned.substr(50));
  // Except the C library's own two signals, which its spawn leaves ignored.
  EXPECT_EQ(ignoring(got), ignoring(spawned) & ~(3ull << 31)) << got << spawned;
  EXPECT_EQ(ignoring(got) >> (SIGWINCH - 1) & 1, 1u) << got;
  EXPECT_TRUE(Has(got, "SigBlk:\t0000000000000000\n")) << got;
}

}  // namespace
}  // namespace jr
