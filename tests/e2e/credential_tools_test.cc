// The administrator's credential tools on real files: set, list and remove, and a value
// typed at a terminal that is never shown.

#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>

#include "support/run_program.h"

namespace jr {
namespace {

class CredentialToolsTest : public ::testing::Test {
 protected:
  // `jobrunner --credential ARGS` with `input` on standard input.
  test::ProgramOutcome Credential(const std::string& args, const std::string& input = "") {
    test::WriteWholeFile(dir_.File("input"), input);
    return test::RunProgram("/bin/sh",
                            {"-c", "\"$0\" --credential " + args + " <\"$1\"",
                             test::BinDir() + "/jobrunner", dir_.File("input")},
                            {{"JOBRUNNER_CREDENTIALS_DIR", folder_}}, dir_.path());
  }
  static unsigned Mode(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
  }
  test::TempDir dir_;
  const std::string folder_ = dir_.File("etc/credentials");
};

TEST_F(CredentialToolsTest, SetListAndRemoveKeepTheValueInItsFileOnly) {
  const test::ProgramOutcome set = Credential("set warehouse", "s3cret\n");
  ASSERT_EQ(set.status, 0) << set.err;
  EXPECT_EQ(test::ReadWholeFile(folder_ + "/warehouse"), "s3cret");
  EXPECT_TRUE(Mode(folder_) == 0700 && Mode(folder_ + "/warehouse") == 0600);
  ASSERT_EQ(Credential("set other", "x").status, 0);
  chmod((folder_ + "/other").c_str(), 0644);
  const test::ProgramOutcome listed = Credential("list");
  EXPECT_EQ(listed.status, 0);
  EXPECT_NE(listed.out.find("warehouse                "), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find(" 0600  usable\n"), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find(" 0644  not usable: credential \"other\""), std::string::npos);
  EXPECT_EQ((set.out + set.err + listed.out + listed.err).find("s3cret"), std::string::npos);
  EXPECT_EQ(Credential("remove warehouse").status, 0);
  EXPECT_FALSE(std::filesystem::exists(folder_ + "/warehouse"));
  for (const auto& [args, input, status] : {std::tuple{"remove warehouse", "", 1},
                                            {"set bad", "two\nlines\n", 1},
                                            {"set e", "\n", 1},
                                            {"set ../x", "v", 64},
                                            {"set", "v", 64},
                                            {"list extra", "", 64}}) {
    const test::ProgramOutcome refused = Credential(args, input);
    EXPECT_EQ(refused.status, status) << args << refused.err;
    EXPECT_EQ(refused.err.find("lines"), std::string::npos) << refused.err;
  }
  EXPECT_FALSE(std::filesystem::exists(folder_ + "/bad"));
}

// Typed at a terminal: the prompt comes once echoing is off, so the typed value must not
// come back on the terminal; Ctrl-C ends the program with echoing back on.
TEST_F(CredentialToolsTest, AValueTypedAtATerminalIsNotShown) {
  setenv("JOBRUNNER_CREDENTIALS_DIR", folder_.c_str(), 1);
  for (const bool interrupted : {false, true}) {
    int master = -1;
    const pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
    if (child == 0) {
      const std::string program = test::BinDir() + "/jobrunner";
      execl(program.c_str(), program.c_str(), "--credential", "set", "typed", nullptr);
      _exit(127);
    }
    std::string shown;
    char buffer[256];
    ssize_t got = 0;
    while (shown.find(": ") == std::string::npos && (got = read(master, buffer, 256)) > 0) {
      shown.append(buffer, static_cast<size_t>(got));
    }
    if (interrupted ? kill(child, SIGINT) != 0 : write(master, "t0ps3cret\n", 10) != 10) {
      ADD_FAILURE();
    }
    while ((got = read(master, buffer, sizeof buffer)) > 0) shown.append(buffer, got);
    int status = 0;
    waitpid(child, &status, 0);
    struct termios left {};
    tcgetattr(master, &left);
    close(master);
    EXPECT_TRUE(left.c_lflag & ECHO);
    EXPECT_NE(shown.find("Value of credential \"typed\": "), std::string::npos) << shown;
    EXPECT_EQ(shown.find("t0ps3cret"), std::string::npos) << shown;
    EXPECT_TRUE(interrupted ? WIFSIGNALED(status) && WTERMSIG(status) == SIGINT
                            : WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  unsetenv("JOBRUNNER_CREDENTIALS_DIR");
  EXPECT_EQ(test::ReadWholeFile(folder_ + "/typed"), "t0ps3cret");
}

}  // namespace
}  // namespace jr
