// Starting job-line programs on POSIX systems.
//
// Children are started with posix_spawn, never through a shell of ours, each in a process
// group of its own so that a stop can end the whole tree a program built. Every child is
// reaped by this launcher: those the engine polls through IsRunning, and those it forgot
// (found finished by their status line) on every later call, in the destructor, or by a
// background waiter when they outlive the launcher. Exits are noticed through pidfds,
// so a pause ends as soon as a child ends.

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/process_launcher.h"

extern char** environ;

namespace jr {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// When a pidfd cannot be had, exits are looked for this often.
constexpr milliseconds kFallbackSlice(5);

// Splits an argument text the way job-line command lines are meant: arguments are
// separated by blanks; a double-quoted stretch belongs to one argument and loses its
// quotes; backslashes have no special meaning.
std::vector<std::string> SplitArguments(std::string_view text) {
  std::vector<std::string> args;
  std::string current;
  bool in_argument = false;
  bool quoted = false;
  for (char c : text) {
    if (c == '"') {
      quoted = !quoted;
      in_argument = true;
    } else if (!quoted && (c == ' ' || c == '\t')) {
      if (in_argument) args.push_back(std::move(current));
      current.clear();
      in_argument = false;
    } else {
      current += c;
      in_argument = true;
    }
  }
  if (in_argument) args.push_back(std::move(current));
  return args;
}

std::string StripSurroundingQuotes(std::string_view program) {
  if (program.size() >= 2 && program.front() == '"' && program.back() == '"') {
    program = program.substr(1, program.size() - 2);
  }
  return std::string(program);
}

// A file that exists but may not be executed is a script for /bin/sh (a user's batch
// file is a shell script here, and people rarely mark them executable).
bool IsNonExecutableFile(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return false;
  if (!S_ISREG(info.st_mode)) return false;
  return access(path.c_str(), X_OK) != 0;
}

// A descriptor that becomes readable when the child ends, or -1 (old kernels). Called
// through syscall(): the C library's header of this call is not usable from C++ here.
int OpenPidfd(pid_t pid) {
  long fd = syscall(SYS_pidfd_open, pid, 0);
  return fd < 0 ? -1 : static_cast<int>(fd);
}

void SleepFor(milliseconds duration) {
  if (duration.count() <= 0) return;
  struct timespec request;
  request.tv_sec = static_cast<time_t>(duration.count() / 1000);
  request.tv_nsec = static_cast<long>((duration.count() % 1000) * 1000000);
  while (nanosleep(&request, &request) != 0 && errno == EINTR) {
  }
}

// posix_spawn's set-up, released on every path.
class SpawnSetup {
 public:
  SpawnSetup() {
    ok_ = posix_spawn_file_actions_init(&actions_) == 0;
    if (!ok_) return;
    actions_ready_ = true;
    ok_ = posix_spawnattr_init(&attributes_) == 0;
    if (!ok_) return;
    attributes_ready_ = true;

    ok_ = posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0) == 0 &&
          // Descriptors the runner holds (databases, pidfds, pipes of other helpers) are
          // no business of the child, whether or not their owners set close-on-exec.
          posix_spawn_file_actions_addclosefrom_np(&actions_, 3) == 0;
    if (!ok_) return;

    sigset_t empty;
    sigset_t defaults;
    ok_ = sigemptyset(&empty) == 0 && sigemptyset(&defaults) == 0;
    // A runner that ignores or catches these must not hand that on to its children.
    for (int signal_number :
         {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD, SIGUSR1, SIGUSR2, SIGALRM}) {
      ok_ = ok_ && sigaddset(&defaults, signal_number) == 0;
    }
    ok_ = ok_ && posix_spawnattr_setsigmask(&attributes_, &empty) == 0 &&
          posix_spawnattr_setsigdefault(&attributes_, &defaults) == 0 &&
          posix_spawnattr_setpgroup(&attributes_, 0) == 0 &&
          posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                                     POSIX_SPAWN_SETSIGDEF) == 0;
  }
  ~SpawnSetup() {
    if (attributes_ready_) posix_spawnattr_destroy(&attributes_);
    if (actions_ready_) posix_spawn_file_actions_destroy(&actions_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  bool ok() const { return ok_; }

  // The pid, or 0 with errno-style `error` set.
  pid_t Spawn(const std::string& path, bool search_path, const std::vector<std::string>& argv,
              int* error) {
    std::vector<char*> pointers;
    pointers.reserve(argv.size() + 1);
    for (const std::string& arg : argv) pointers.push_back(const_cast<char*>(arg.c_str()));
    pointers.push_back(nullptr);
    pid_t pid = 0;
    int result =
        search_path
            ? posix_spawnp(&pid, path.c_str(), &actions_, &attributes_, pointers.data(), environ)
            : posix_spawn(&pid, path.c_str(), &actions_, &attributes_, pointers.data(), environ);
    *error = result;
    return result == 0 ? pid : 0;
  }

 private:
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attributes_;
  bool actions_ready_ = false;
  bool attributes_ready_ = false;
  bool ok_ = false;
};

class PosixProcessLauncher final : public ProcessLauncher {
 public:
  PosixProcessLauncher() = default;
  PosixProcessLauncher(const PosixProcessLauncher&) = delete;
  PosixProcessLauncher& operator=(const PosixProcessLauncher&) = delete;

  ~PosixProcessLauncher() override {
    ReapEnded();
    std::vector<pid_t> left;
    for (auto& [pid, child] : children_) {
      CloseFd(child);
      left.push_back(pid);
    }
    children_.clear();
    if (left.empty()) return;
    // Children that outlive the launcher would become zombies of a long-lived window once
    // they end; a waiter reaps them. When the program ends first, init takes them over.
    try {
      std::thread([left] {
        for (pid_t pid : left) {
          while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
          }
        }
      }).detach();
    } catch (const std::system_error&) {
      // No thread to be had: they stay ours until the program ends and init takes them.
    }
  }

  ProcessHandle Start(std::string_view program_text, std::string_view arguments) override {
    ReapForgotten();
    std::string program = StripSurroundingQuotes(program_text);
    if (program.empty()) return 0;
    std::vector<std::string> argv = SplitArguments(arguments);
    argv.insert(argv.begin(), program);

    SpawnSetup setup;
    if (!setup.ok()) return 0;
    const bool has_slash = program.find('/') != std::string::npos;
    int error = 0;
    pid_t pid = 0;
    if (has_slash && IsNonExecutableFile(program)) {
      pid = SpawnThroughShell(setup, argv, &error);
    } else {
      pid = setup.Spawn(program, !has_slash, argv, &error);
      // An executable file without "#!" is a shell script too; posix_spawn does not
      // fall back to the shell by itself.
      if (pid == 0 && error == ENOEXEC && has_slash) pid = SpawnThroughShell(setup, argv, &error);
    }
    if (pid <= 0) return 0;

    Child child;
    child.pidfd = OpenPidfd(pid);
    children_.emplace(pid, child);
    return static_cast<ProcessHandle>(pid);
  }

  bool IsRunning(ProcessHandle& handle) override {
    ReapForgotten();
    if (handle <= 0) {
      handle = 0;
      return false;
    }
    auto found = children_.find(static_cast<pid_t>(handle));
    if (found == children_.end()) {
      handle = 0;
      return false;
    }
    if (!TryReap(found)) return true;
    handle = 0;
    return false;
  }

  void Forget(ProcessHandle handle) override {
    auto found = children_.find(static_cast<pid_t>(handle));
    if (found == children_.end()) return;
    found->second.forgotten = true;
    TryReap(found);
  }

  void WaitForExit(milliseconds timeout) override {
    const Clock::time_point deadline = Clock::now() + timeout;
    while (true) {
      ReapForgotten();
      if (AnyPolledChildEnded()) return;
      milliseconds left =
          std::chrono::duration_cast<milliseconds>(deadline - Clock::now()) + milliseconds(1);
      if (Clock::now() >= deadline) return;
      WaitForAnyChild(left);
      // Loop: a forgotten child's end wakes us too; it is reaped above and the wait goes
      // on for the time that is left.
    }
  }

  void TerminateAll(milliseconds grace) override {
    ReapEnded();
    if (children_.empty()) return;
    // The leaders stay unreaped until the groups are dealt with, so that no group id can
    // have been handed to an unrelated process in the meantime.
    for (auto& [pid, child] : children_) {
      if (kill(-pid, SIGTERM) != 0) kill(pid, SIGTERM);
    }
    const Clock::time_point deadline = Clock::now() + grace;
    while (!AllChildrenEnded() && Clock::now() < deadline) {
      WaitForAnyChild(std::chrono::duration_cast<milliseconds>(deadline - Clock::now()) +
                      milliseconds(1));
    }
    // Whatever is left of each tree, the leader included, ends now. Signalling a group
    // whose members are all gone fails harmlessly.
    for (auto& [pid, child] : children_) {
      if (kill(-pid, SIGKILL) != 0) kill(pid, SIGKILL);
    }
    for (auto& [pid, child] : children_) {
      CloseFd(child);
      while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
      }
    }
    children_.clear();
  }

 private:
  struct Child {
    int pidfd = -1;
    bool forgotten = false;
  };
  using Children = std::map<pid_t, Child>;

  static void CloseFd(Child& child) {
    if (child.pidfd >= 0) close(child.pidfd);
    child.pidfd = -1;
  }

  pid_t SpawnThroughShell(SpawnSetup& setup, const std::vector<std::string>& argv, int* error) {
    std::vector<std::string> shell_argv;
    shell_argv.reserve(argv.size() + 1);
    shell_argv.push_back("/bin/sh");
    shell_argv.insert(shell_argv.end(), argv.begin(), argv.end());
    return setup.Spawn("/bin/sh", false, shell_argv, error);
  }

  // Reaps the child when it has ended; true then, and the entry is gone.
  bool TryReap(Children::iterator at) {
    pid_t result;
    do {
      result = waitpid(at->first, nullptr, WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result == 0) return false;
    // Reaped now, or ECHILD: someone else reaped it; either way it is gone.
    CloseFd(at->second);
    children_.erase(at);
    return true;
  }

  void ReapForgotten() {
    for (auto at = children_.begin(); at != children_.end();) {
      auto next = std::next(at);
      if (at->second.forgotten) TryReap(at);
      at = next;
    }
  }

  void ReapEnded() {
    for (auto at = children_.begin(); at != children_.end();) {
      auto next = std::next(at);
      TryReap(at);
      at = next;
    }
  }

  // Without reaping: has this child ended?
  static bool HasEnded(pid_t pid) {
    siginfo_t info{};
    int result;
    do {
      result = waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT);
    } while (result < 0 && errno == EINTR);
    if (result < 0) return true;  // not our child any more
    return info.si_pid != 0;
  }

  bool AnyPolledChildEnded() const {
    for (const auto& [pid, child] : children_) {
      if (!child.forgotten && HasEnded(pid)) return true;
    }
    return false;
  }

  bool AllChildrenEnded() const {
    for (const auto& [pid, child] : children_) {
      if (!HasEnded(pid)) return false;
    }
    return true;
  }

  // Sleeps until some child ends or `timeout` passes. Ended children stay unreaped.
  void WaitForAnyChild(milliseconds timeout) {
    if (timeout.count() <= 0) return;
    std::vector<pollfd> fds;
    fds.reserve(children_.size());
    bool all_have_fds = true;
    for (const auto& [pid, child] : children_) {
      if (child.pidfd < 0) {
        all_have_fds = false;
      } else {
        fds.push_back({child.pidfd, POLLIN, 0});
      }
    }
    if (children_.empty()) {
      SleepFor(timeout);
      return;
    }
    // Without a pidfd for every child, look again after a short slice.
    milliseconds slice = all_have_fds ? timeout : std::min(timeout, kFallbackSlice);
    if (fds.empty()) {
      SleepFor(slice);
      return;
    }
    int result = poll(fds.data(), fds.size(), static_cast<int>(slice.count()));
    if (result < 0 && errno != EINTR) SleepFor(std::min(slice, kFallbackSlice));
  }

  Children children_;
};

}  // namespace

std::unique_ptr<ProcessLauncher> MakeSystemProcessLauncher() {
  return std::make_unique<PosixProcessLauncher>();
}

}  // namespace jr
