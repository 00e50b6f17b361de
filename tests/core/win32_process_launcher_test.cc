// The Windows launcher with real processes: command lines with blanks in paths, batch
// files through the command interpreter, and ending whole process trees.

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

// A folder with a blank in its name below a fresh temporary folder, as a Windows path.
std::string Folder(const test::TempDir& dir) {
  const std::string folder = FullPath(dir.path()) + "\\my tools";
  EXPECT_TRUE(CreateDirectoryW(Utf8ToWide(folder).c_str(), nullptr));
  return folder;
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

bool WaitUntilEnded(ProcessLauncher& launcher, ProcessHandle& handle) {
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (launcher.IsRunning(handle)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    launcher.WaitForExit(100ms);
  }
  return true;
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(std::filesystem::path(Utf8ToWide(path)), std::ios::binary) << text;
}

TEST(Win32ProcessLauncher, ProgramsAndBatchFilesInFoldersWithBlanksGetTheirArgumentsAsWritten) {
  test::TempDir dir;
  const std::string folder = Folder(dir), program = folder + "\\Flow Run.exe";
  ASSERT_TRUE(CopyFileW(Utf8ToWide(ChildProgram()).c_str(), Utf8ToWide(program).c_str(), FALSE));
  const std::string out = folder + "\\out file.txt";
  auto launcher = MakeSystemProcessLauncher();

  // Unquoted, as job lines give it; arguments with blanks, quotes and backslashes come
  // back as they were given, and so does the exit status.
  ProcessHandle handle =
      launcher->Start({program, {"args", out, "-job_id", "2003 x", "a\\\"b\\", ""}, ""});
  const ProcessHandle started = handle;
  ASSERT_GT(handle, 0);
  ASSERT_TRUE(WaitUntilEnded(*launcher, handle));
  EXPECT_EQ(launcher->ExitStatus(started), 0);
  std::vector<std::string> lines = ReadLines(out);
  lines.erase(lines.begin(), lines.begin() + std::min<size_t>(2, lines.size()));
  EXPECT_EQ(lines, (std::vector<std::string>{out, "-job_id", "2003 x", "a\\\"b\\", ""}));

  // Writes its first argument, quotes removed, as the status into the file of the second.
  const std::string batch = folder + "\\write status.bat";
  WriteFile(batch, "@echo off\r\necho %~1>\"%~2\"\r\n");
  handle = launcher->Start({batch, {"ok", out}, ""});
  ASSERT_GT(handle, 0);
  ASSERT_TRUE(WaitUntilEnded(*launcher, handle));
  std::ifstream in(std::filesystem::path(Utf8ToWide(out)));
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line.substr(0, line.find('\r')), "ok");
}

TEST(Win32ProcessLauncher, TerminateAllEndsTheWholeProcessTree) {
  test::TempDir dir;
  const std::string pid_file = FullPath(dir.File("grandchild.pid"));
  auto launcher = MakeSystemProcessLauncher();
  ProcessHandle handle = launcher->Start({ChildProgram(), {"tree", pid_file}, ""});
  ASSERT_GT(handle, 0);

  std::vector<std::string> lines;
  for (int i = 0; i < 600 && lines.empty(); ++i) {
    std::this_thread::sleep_for(50ms);
    lines = ReadLines(pid_file);
  }
  ASSERT_EQ(lines.size(), 1u);
  HANDLE grandchild = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(std::stoul(lines[0])));
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
