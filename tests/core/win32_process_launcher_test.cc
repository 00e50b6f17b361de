// The Windows launcher with real processes: command lines with blanks in paths, batch
// files through the command interpreter, waiting, and ending whole process trees.

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/process_launcher.h"
#include "platform/win32/process_command_line.h"
#include "platform/win32/utf.h"
#include "support/test_paths.h"

namespace jr {
namespace {

using namespace std::chrono_literals;

std::string FullPath(const std::string& path) {
  wchar_t buffer[MAX_PATH];
  const DWORD length = GetFullPathNameW(Utf8ToWide(path).c_str(), MAX_PATH, buffer, nullptr);
  return WideToUtf8(std::wstring_view(buffer, length));
}

std::string ChildProgram() { return FullPath(test::BinDir() + "/win32_test_child.exe"); }

std::string WinPath(const test::TempDir& dir, const std::string& name) {
  return FullPath(dir.path()) + "\\" + name;
}

// The file the child wrote (UTF-16), as UTF-8 lines.
std::vector<std::string> ReadLines(const std::string& path) {
  std::ifstream in(std::filesystem::path(Utf8ToWide(path)), std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  const std::string raw = bytes.str();
  std::wstring wide(raw.size() / 2, L'\0');
  if (!wide.empty()) std::memcpy(wide.data(), raw.data(), wide.size() * 2);
  std::vector<std::string> lines;
  std::wstringstream stream(wide);
  std::wstring line;
  while (std::getline(stream, line)) lines.push_back(WideToUtf8(line));
  return lines;
}

bool WaitUntilEnded(ProcessLauncher& launcher, ProcessHandle& handle,
                    std::chrono::milliseconds limit = 20s) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (launcher.IsRunning(handle)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    launcher.WaitForExit(100ms);
  }
  return true;
}

bool CopyProgram(const std::string& to) {
  return CopyFileW(Utf8ToWide(ChildProgram()).c_str(), Utf8ToWide(to).c_str(), FALSE) != 0;
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(std::filesystem::path(Utf8ToWide(path)), std::ios::binary) << text;
}

TEST(Win32CommandLine, ProgramAndArgumentsJoinedAsWrittenAndBatchFilesToldByTheirExtension) {
  const std::pair<const char*, const char*> joined[] = {
      {"-a 1", "C:\\Keld utils\\FlowRun.exe -a 1"},
      {"", "C:\\Keld utils\\FlowRun.exe"},
      {"   ", "C:\\Keld utils\\FlowRun.exe"},
      // Arguments that start with a blank keep it: two blanks follow the program.
      {" -x", "C:\\Keld utils\\FlowRun.exe  -x"}};
  for (const auto& [arguments, command_line] : joined) {
    EXPECT_EQ(JobLineCommandLine("C:\\Keld utils\\FlowRun.exe", arguments), command_line);
  }
  for (const wchar_t* batch : {L"C:\\jobs\\step.bat", L"C:\\jobs\\STEP.CMD"}) {
    EXPECT_TRUE(IsBatchFile(batch));
  }
  for (const wchar_t* other : {L"C:\\jobs\\step.bat.exe", L"C:\\jobs.bat\\step", L""}) {
    EXPECT_FALSE(IsBatchFile(other));
  }
}

TEST(Win32CommandLine, UnquotedProgramWithBlanksIsFoundByTryingEachBlank) {
  test::TempDir dir;
  const std::string folder = WinPath(dir, "my tools");
  ASSERT_TRUE(CreateDirectoryW(Utf8ToWide(folder).c_str(), nullptr));
  WriteFile(folder + "\\run step.bat", "@echo off\r\n");
  WriteFile(folder + "\\tool.exe", "");

  const struct {
    std::string command_line, file, rest;
  } cases[] = {
      {folder + "\\run step.bat -a \"b c\"", folder + "\\run step.bat", " -a \"b c\""},
      // Without an extension the program file is looked for with ".exe".
      {folder + "\\tool x", folder + "\\tool.exe", " x"},
      {"\"" + folder + "\\run step.bat\" y", folder + "\\run step.bat", " y"},
      {folder + "\\missing.exe a", "", ""},
  };
  for (const auto& c : cases) {
    const NamedProgram named = FindNamedProgram(Utf8ToWide(c.command_line));
    EXPECT_EQ(WideToUtf8(named.file), c.file) << c.command_line;
    if (!c.file.empty()) {
      EXPECT_EQ(WideToUtf8(named.rest), c.rest) << c.command_line;
    }
  }
  EXPECT_EQ(WideToUtf8(BatchFileCommandLine(L"C:\\cmd.exe", {L"C:\\a b\\s.bat", L" x"})),
            "\"C:\\cmd.exe\" /d /s /c \"\"C:\\a b\\s.bat\" x\"");
}

TEST(Win32ProcessLauncher, ProgramInAFolderWithBlanksGetsItsArgumentsAsWritten) {
  test::TempDir dir;
  const std::string folder = WinPath(dir, "Keld utils");
  ASSERT_TRUE(CreateDirectoryW(Utf8ToWide(folder).c_str(), nullptr));
  const std::string program = folder + "\\Flow Run.exe";
  ASSERT_TRUE(CopyProgram(program));
  const std::string out = WinPath(dir, "out file.txt");
  auto launcher = MakeSystemProcessLauncher();

  // Unquoted, as job lines give it; the quoted file argument stays one argument.
  ProcessHandle handle = launcher->Start({program, "args \"" + out + "\" -job_id \"2003 x\"", ""});
  ASSERT_GT(handle, 0);
  ASSERT_TRUE(WaitUntilEnded(*launcher, handle));
  EXPECT_EQ(handle, 0);
  std::vector<std::string> lines = ReadLines(out);
  ASSERT_EQ(lines.size(), 5u);
  // Windows hands the command line on as given; wine puts quotes around a program name
  // with blanks. Either way the arguments arrive as written.
  const std::string arguments = " args \"" + out + "\" -job_id \"2003 x\"";
  EXPECT_TRUE(lines[0] == program + arguments || lines[0] == "\"" + program + "\"" + arguments)
      << lines[0];
  EXPECT_EQ(lines[2], out);
  EXPECT_EQ(lines[3], "-job_id");
  EXPECT_EQ(lines[4], "2003 x");

  // Quoted by the user: passed on as written, too.
  handle = launcher->Start({"\"" + program + "\"", "args \"" + out + "\"", ""});
  ASSERT_GT(handle, 0);
  ASSERT_TRUE(WaitUntilEnded(*launcher, handle));
  lines = ReadLines(out);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "\"" + program + "\" args \"" + out + "\"");
}

TEST(Win32ProcessLauncher, BatchFileRunsThroughTheCommandInterpreter) {
  test::TempDir dir;
  const std::string folder = WinPath(dir, "user jobs");
  ASSERT_TRUE(CreateDirectoryW(Utf8ToWide(folder).c_str(), nullptr));
  const std::string batch = folder + "\\write status.bat";
  // Writes its first argument, quotes removed, as the status into the file of the second.
  WriteFile(batch, "@echo off\r\necho %~1>\"%~2\"\r\necho said %~1\r\nexit /b 3\r\n");
  const std::string status = WinPath(dir, "status file.txt");
  auto launcher = MakeSystemProcessLauncher();

  ProcessHandle handle = launcher->Start({batch, "ok \"" + status + "\"", ""});
  ASSERT_GT(handle, 0);
  ASSERT_TRUE(WaitUntilEnded(*launcher, handle));
  std::ifstream in(std::filesystem::path(Utf8ToWide(status)));
  std::string line;
  std::getline(in, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  EXPECT_EQ(line, "ok");

  // The same rules for a helper whose output is wanted.
  const Result<ProgramOutput> run = RunAndCapture({batch, "hello \"" + status + "\"", ""});
  ASSERT_TRUE(run.ok()) << run.message();
  EXPECT_EQ(run.value.exit_status, 3);
  EXPECT_EQ(run.value.output, "said hello\r\n");
}

TEST(Win32ProcessLauncher, WaitForExitEndsEarlyWhenAProcessEndsAndMissingProgramsGiveNoHandle) {
  test::TempDir dir;
  auto launcher = MakeSystemProcessLauncher();
  EXPECT_EQ(launcher->Start({WinPath(dir, "missing.exe"), "-a", ""}), 0);
  EXPECT_EQ(launcher->Start({WinPath(dir, "missing.bat"), "", ""}), 0);
  EXPECT_EQ(launcher->Start({"", "", ""}), 0);

  ProcessHandle quick = launcher->Start({ChildProgram(), "sleep 200", ""});
  ProcessHandle slow = launcher->Start({ChildProgram(), "sleep 30000", ""});
  ASSERT_GT(quick, 0);
  ASSERT_GT(slow, 0);
  const auto start = std::chrono::steady_clock::now();
  launcher->WaitForExit(10s);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 8s);
  EXPECT_FALSE(launcher->IsRunning(quick));
  EXPECT_TRUE(launcher->IsRunning(slow));
  // The end was told once: with no new end, the wait lasts its time.
  const auto again = std::chrono::steady_clock::now();
  launcher->WaitForExit(300ms);
  EXPECT_GE(std::chrono::steady_clock::now() - again, 250ms);
  launcher->TerminateAll(0ms);
  EXPECT_FALSE(launcher->IsRunning(slow));
}

TEST(Win32ProcessLauncher, TerminateAllEndsTheWholeProcessTree) {
  test::TempDir dir;
  const std::string pid_file = WinPath(dir, "grandchild.pid");
  auto launcher = MakeSystemProcessLauncher();
  ProcessHandle handle = launcher->Start({ChildProgram(), "tree \"" + pid_file + "\"", ""});
  ASSERT_GT(handle, 0);

  std::vector<std::string> lines;
  for (int i = 0; i < 600 && lines.empty(); ++i) {
    std::this_thread::sleep_for(50ms);
    lines = ReadLines(pid_file);
  }
  ASSERT_EQ(lines.size(), 1u);
  const DWORD grandchild_id = static_cast<DWORD>(std::stoul(lines[0]));
  HANDLE grandchild = OpenProcess(SYNCHRONIZE, FALSE, grandchild_id);
  ASSERT_NE(grandchild, nullptr);
  EXPECT_EQ(WaitForSingleObject(grandchild, 0), static_cast<DWORD>(WAIT_TIMEOUT));

  launcher->TerminateAll(100ms);
  EXPECT_FALSE(launcher->IsRunning(handle));
  // The child's own child was never known to the launcher and ends with it.
  EXPECT_EQ(WaitForSingleObject(grandchild, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
  CloseHandle(grandchild);
}

}  // namespace
}  // namespace jr
