// Starting job-line programs on Windows.
//
// A program's arguments are joined into one command line, quoted so that the program's own
// splitting gives them back (see CommandLineArguments); the program text names the file
// by the platform's rules for an unquoted command line, and the file found goes into the
// command line quoted. A batch file cannot be started by itself: it is run by the command
// interpreter, as the system does when one is named on a command line. Every
// process goes into the launcher's job object, and its children with it, so that a stop
// ends whole process trees. The job ends its processes when its last handle closes, and
// only the runner holds one: a runner that dies without ending its lines (killed, crashed)
// takes them with it.

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/process_launcher.h"
#include "platform/win32/process_command_line.h"
#include "platform/win32/stop_wake.h"
#include "platform/win32/utf.h"

namespace jr {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::wstring CommandInterpreter() {
  wchar_t buffer[MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(L"ComSpec", buffer, MAX_PATH);
  if (length > 0 && length < MAX_PATH) return std::wstring(buffer, length);
  const UINT system = GetSystemDirectoryW(buffer, MAX_PATH);
  if (system > 0 && system < MAX_PATH) return std::wstring(buffer, system) + L"\\cmd.exe";
  return L"cmd.exe";
}

// What CreateProcessW is given for a program and its arguments: a batch file runs through
// the command interpreter. An empty command line: nothing to start.
struct Command {
  std::wstring application;
  std::wstring command_line;
};

Command CommandFor(const StartRequest& request) {
  Command command;
  const std::wstring program = Utf8ToWide(request.program);
  if (program.empty()) return command;
  NamedProgram named = FindNamedProgram(program);
  const bool batch = IsBatchFile(named.file);
  const std::wstring arguments = Utf8ToWide(CommandLineArguments(request.arguments, batch));
  if (batch) {
    command.application = CommandInterpreter();
    named.rest += arguments;
    command.command_line = BatchFileCommandLine(command.application, named);
  } else if (named.file.empty()) {
    // Not a file here: the system looks for it, on the search path too.
    command.command_line = program + arguments;
  } else {
    command.command_line = L"\"" + named.file + L"\"" + named.rest + arguments;
  }
  return command;
}

// Whether the job ends every process in it once its last handle is closed. Should the
// system refuse, lines outlive a runner that is killed, and nothing else changes.
void SetKillOnClose(HANDLE job, bool kill) {
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = kill ? JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE : 0;
  SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
}

// The run's job. Made without security attributes, so its handle is not inherited: a
// started program that held it would keep the job, and its own tree, alive.
HANDLE MakeRunJob() {
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  if (job != nullptr) SetKillOnClose(job, true);
  return job;
}

// A file handle that the started program inherits, closed on every path.
class InheritedFile {
 public:
  // `path` for appending, made if need be; the null device for reading when `path` is
  // empty. Check ok() for success.
  static InheritedFile Open(const std::wstring& path) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const bool input = path.empty();
    InheritedFile file;
    file.handle_ =
        CreateFileW(input ? L"NUL" : path.c_str(), input ? GENERIC_READ : FILE_APPEND_DATA,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                    input ? OPEN_EXISTING : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    file.made_ = file.ok() && !input && GetLastError() != ERROR_ALREADY_EXISTS;
    return file;
  }
  InheritedFile(InheritedFile&& other) noexcept : handle_(other.handle_), made_(other.made_) {
    other.handle_ = INVALID_HANDLE_VALUE;
  }
  InheritedFile& operator=(InheritedFile&&) = delete;
  ~InheritedFile() {
    if (ok()) CloseHandle(handle_);
  }
  bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE handle() const { return handle_; }
  bool made() const { return made_; }

 private:
  InheritedFile() = default;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  bool made_ = false;
};

// Removes a file the launcher made for a program's output when nothing was written to it.
void RemoveIfEmpty(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!path.empty() && GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) &&
      data.nFileSizeHigh == 0 && data.nFileSizeLow == 0) {
    DeleteFileW(path.c_str());
  }
}

struct Child {
  HANDLE process = nullptr;
  // A job of its own, so that its tree can be ended alone; null when none could be had.
  HANDLE tree = nullptr;
  bool forgotten = false;
  // Ended by this launcher: its exit code is the one the launcher gave it.
  bool ended_by_launcher = false;
  // Its end has already ended one WaitForExit.
  bool exit_seen = false;
  // The output file this launcher made for it; removed at its end when still empty.
  std::wstring output_file;
};

class Win32ProcessLauncher final : public ProcessLauncher {
 public:
  Win32ProcessLauncher() : job_(MakeRunJob()) {}

  // Processes that still run are left running, as a run that ends leaves them; only the
  // handles are released, the job's once it no longer ends them.
  ~Win32ProcessLauncher() override {
    for (auto& [id, child] : children_) Release(child);
    if (job_ != nullptr) {
      SetKillOnClose(job_, false);
      CloseHandle(job_);
    }
  }

  ProcessHandle Start(const StartRequest& request) override {
    const Result<ProcessHandle> started = TryStart(request);
    return started.ok() ? started.value : 0;
  }

  Result<ProcessHandle> TryStart(const StartRequest& request) override {
    ReapForgotten();
    Command command = CommandFor(request);
    if (command.command_line.empty()) return Status::Failed("no program to start");

    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    const std::wstring output_path = Utf8ToWide(request.output_file);
    std::optional<InheritedFile> input, output;
    if (!output_path.empty()) {
      output.emplace(InheritedFile::Open(output_path));
      if (!output->ok()) {
        return Status::Failed(request.program + ": its output file " + request.output_file + ": " +
                              SystemErrorText(GetLastError()));
      }
      input.emplace(InheritedFile::Open(std::wstring()));
      startup.dwFlags = STARTF_USESTDHANDLES;
      startup.hStdInput = input->ok() ? input->handle() : nullptr;
      startup.hStdOutput = startup.hStdError = output->handle();
    }
    PROCESS_INFORMATION info{};
    // Started suspended so that the process is in the job before it can start children.
    const DWORD flags = CREATE_NO_WINDOW | NORMAL_PRIORITY_CLASS | CREATE_SUSPENDED;
    if (!CreateProcessW(command.application.empty() ? nullptr : command.application.c_str(),
                        command.command_line.data(), nullptr, nullptr, TRUE, flags, nullptr,
                        nullptr, &startup, &info)) {
      const DWORD error = GetLastError();
      if (output && output->made()) RemoveIfEmpty(output_path);
      return Status::Failed(request.program + ": " + SystemErrorText(error));
    }
    if (job_ != nullptr) AssignProcessToJobObject(job_, info.hProcess);
    HANDLE tree = CreateJobObjectW(nullptr, nullptr);
    if (tree != nullptr && !AssignProcessToJobObject(tree, info.hProcess)) {
      CloseHandle(tree);
      tree = nullptr;
    }
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);

    // The handle's value is what the engine keeps. Kernel handles are small multiples of
    // four; one that would not fit the engine's number is refused rather than mangled.
    const auto value = reinterpret_cast<intptr_t>(info.hProcess);
    if (value <= 0 || value > INT32_MAX) {
      TerminateProcess(info.hProcess, 1);
      CloseHandle(info.hProcess);
      if (tree != nullptr) CloseHandle(tree);
      return Status::Failed(request.program + ": its process handle is out of range");
    }
    const auto id = static_cast<ProcessHandle>(value);
    // The handle value of an earlier process may come round again.
    exit_statuses_.erase(id);
    Child child;
    child.process = info.hProcess;
    child.tree = tree;
    if (output && output->made()) child.output_file = output_path;
    children_[id] = child;
    return id;
  }

  bool IsRunning(ProcessHandle& handle) override {
    if (handle == 0) return false;
    auto found = children_.find(handle);
    if (found == children_.end()) {
      handle = 0;
      return false;
    }
    if (WaitForSingleObject(found->second.process, 0) == WAIT_TIMEOUT) return true;
    DWORD code = 0;
    if (!found->second.ended_by_launcher && GetExitCodeProcess(found->second.process, &code)) {
      exit_statuses_[handle] = static_cast<int>(code);
    }
    Ended(found->second);
    children_.erase(found);
    handle = 0;
    return false;
  }

  std::optional<int> ExitStatus(ProcessHandle handle) const override {
    auto found = exit_statuses_.find(handle);
    if (found == exit_statuses_.end()) return std::nullopt;
    const int status = found->second;
    exit_statuses_.erase(found);
    return status;
  }

  void Forget(ProcessHandle handle) override {
    auto found = children_.find(handle);
    if (found != children_.end()) found->second.forgotten = true;
    ReapForgotten();
  }

  void WaitForExit(milliseconds timeout) override {
    const Clock::time_point deadline = Clock::now() + timeout;
    while (true) {
      std::vector<HANDLE> waiting;
      bool ended = false;
      for (auto& [id, child] : children_) {
        if (child.exit_seen) continue;
        if (WaitForSingleObject(child.process, 0) != WAIT_TIMEOUT) {
          child.exit_seen = true;
          ended = true;
          break;
        }
        waiting.push_back(child.process);
      }
      if (ended) {
        ReapForgotten();
        return;
      }
      const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return;
      // A stop request ends the wait too; it comes first, so that it is seen however many
      // processes run.
      const HANDLE wake = StopWakeEvent();
      if (wake != nullptr) waiting.insert(waiting.begin(), wake);
      if (waiting.empty()) {
        Sleep(static_cast<DWORD>(left.count()));
        return;
      }
      // One wait covers at most MAXIMUM_WAIT_OBJECTS handles; with more, the others are
      // looked at again after a short slice.
      DWORD slice = static_cast<DWORD>(left.count());
      if (waiting.size() > MAXIMUM_WAIT_OBJECTS) {
        waiting.resize(MAXIMUM_WAIT_OBJECTS);
        slice = std::min<DWORD>(slice, 10);
      }
      const DWORD woken =
          WaitForMultipleObjects(static_cast<DWORD>(waiting.size()), waiting.data(), FALSE, slice);
      if (wake != nullptr && woken == WAIT_OBJECT_0) return;
    }
  }

  // Console programs started without a console window cannot be asked to end, so the
  // tree ends at once, through its own job; the grace is not needed.
  void BeginTerminate(ProcessHandle handle, milliseconds) override {
    auto found = children_.find(handle);
    if (found == children_.end()) return;
    Child& child = found->second;
    child.ended_by_launcher = true;
    if (child.tree == nullptr || !TerminateJobObject(child.tree, 1)) {
      TerminateProcess(child.process, 1);
    }
  }

  void TerminateAll(milliseconds grace) override {
    // The polite request: programs with windows are asked to close them. Console programs
    // started without a console window cannot be asked; they end with the forced end.
    std::vector<DWORD> ids;
    for (auto& [id, child] : children_) ids.push_back(GetProcessId(child.process));
    EnumWindows(&CloseWindowsOf, reinterpret_cast<LPARAM>(&ids));

    const Clock::time_point deadline = Clock::now() + grace;
    while (AnyRunning() && Clock::now() < deadline) {
      WaitForExit(std::chrono::duration_cast<milliseconds>(deadline - Clock::now()));
    }
    // Ending the job ends every process in it: the started ones and all they started.
    if (job_ != nullptr) TerminateJobObject(job_, 1);
    for (auto& [id, child] : children_) {
      TerminateProcess(child.process, 1);
      WaitForSingleObject(child.process, 5000);
      Ended(child);
    }
    children_.clear();
  }

  void Terminate(ProcessHandle handle, milliseconds grace) override {
    auto found = children_.find(handle);
    if (found == children_.end()) return;
    std::vector<DWORD> ids{GetProcessId(found->second.process)};
    EnumWindows(&CloseWindowsOf, reinterpret_cast<LPARAM>(&ids));
    if (WaitForSingleObject(found->second.process, static_cast<DWORD>(grace.count())) !=
        WAIT_OBJECT_0) {
      // The job object holds every child's processes, so only this one is ended here.
      TerminateProcess(found->second.process, 1);
      WaitForSingleObject(found->second.process, 5000);
    }
    Ended(found->second);
    children_.erase(found);
  }

 private:
  static BOOL CALLBACK CloseWindowsOf(HWND window, LPARAM context) {
    const auto* ids = reinterpret_cast<const std::vector<DWORD>*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (std::find(ids->begin(), ids->end(), owner) != ids->end()) {
      PostMessageW(window, WM_CLOSE, 0, 0);
    }
    return TRUE;
  }

  bool AnyRunning() const {
    for (const auto& [id, child] : children_) {
      if (WaitForSingleObject(child.process, 0) == WAIT_TIMEOUT) return true;
    }
    return false;
  }

  static void Release(Child& child) {
    CloseHandle(child.process);
    if (child.tree != nullptr) CloseHandle(child.tree);
  }

  // Releases a child whose process has ended.
  static void Ended(Child& child) {
    Release(child);
    RemoveIfEmpty(child.output_file);
  }

  // Releases forgotten processes that have ended; nobody asks about them any more.
  void ReapForgotten() {
    for (auto it = children_.begin(); it != children_.end();) {
      if (it->second.forgotten && WaitForSingleObject(it->second.process, 0) != WAIT_TIMEOUT) {
        Ended(it->second);
        it = children_.erase(it);
      } else {
        ++it;
      }
    }
  }

  HANDLE job_;
  std::map<ProcessHandle, Child> children_;
  // Polled processes that ended by themselves, until their status is asked for or their
  // handle value is used again.
  mutable std::map<ProcessHandle, int> exit_statuses_;
};

}  // namespace

std::unique_ptr<ProcessLauncher> MakeSystemProcessLauncher() {
  return std::make_unique<Win32ProcessLauncher>();
}

Result<ProgramOutput> RunAndCapture(const StartRequest& request) {
  const std::string cannot_start = "cannot start " + request.program + ": ";
  Command command = CommandFor(request);
  if (command.command_line.empty()) return Status::Failed(cannot_start + "no program");
  SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inherited, 0)) {
    return Status::Failed(cannot_start + "system error " + std::to_string(GetLastError()));
  }
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  HANDLE null_input = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &inherited, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = null_input;
  startup.hStdOutput = write_end;
  startup.hStdError = write_end;
  PROCESS_INFORMATION info{};
  const BOOL created =
      CreateProcessW(command.application.empty() ? nullptr : command.application.c_str(),
                     command.command_line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                     nullptr, &startup, &info);
  const DWORD failure = GetLastError();
  // Only the child may hold the write end now, so that reading ends with its end.
  CloseHandle(write_end);
  if (null_input != INVALID_HANDLE_VALUE) CloseHandle(null_input);
  if (!created) {
    CloseHandle(read_end);
    return Status::Failed(cannot_start + "system error " + std::to_string(failure));
  }
  CloseHandle(info.hThread);
  ProgramOutput result;
  char buffer[4096];
  DWORD count = 0;
  while (ReadFile(read_end, buffer, sizeof buffer, &count, nullptr) && count > 0) {
    result.output.append(buffer, count);
  }
  CloseHandle(read_end);
  WaitForSingleObject(info.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(info.hProcess, &code);
  CloseHandle(info.hProcess);
  result.exit_status = static_cast<int>(code);
  return result;
}

}  // namespace jr
