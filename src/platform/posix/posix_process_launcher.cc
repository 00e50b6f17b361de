// Starting job-line programs on POSIX systems.
//
// Children are started by vfork (clone3 where it can clear their signal handlers) and exec,
// never through a shell of ours, each in a process group of its own so that a stop can end
// the whole tree a program built. Every child is
// reaped by this launcher: those the engine polls through IsRunning, and those it forgot
// (found finished by their status line) on every later call, in the destructor, or by a
// background waiter when they outlive the launcher. Exits are noticed through pidfds,
// so a pause ends as soon as a child ends; a stop request wakes it through the stop pipe.
// Which words a program text and its arguments become is program_command's business,
// which the cluster launcher shares. Should the runner die without ending its lines, a
// watchdog (line_watchdog.h) ends every group this launcher still answers for.

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/posix/line_watchdog.h"
#include "platform/posix/stop_wake.h"
#include "platform/process_launcher.h"
#include "platform/program_command.h"

extern char** environ;

namespace jr {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// When a pidfd cannot be had, exits are looked for this often.
constexpr milliseconds kFallbackSlice(5);

// Where the kernel can make a child whose signal handlers are all at their defaults from its
// first moment, a child need not reset each of them itself, one system call a signal while
// the runner waits for its exec. The sanitizers follow vfork but not a raw clone, so their
// builds keep vfork.
#if defined(__x86_64__) && defined(__linux__) && !defined(__SANITIZE_ADDRESS__) && \
    !defined(__SANITIZE_THREAD__)
#if !defined(__has_feature)
#define JR_CLONE_CLEARS_HANDLERS 1
#elif !__has_feature(address_sanitizer) && !__has_feature(thread_sanitizer)
#define JR_CLONE_CLEARS_HANDLERS 1
#endif
#endif

#ifdef JR_CLONE_CLEARS_HANDLERS
// The kernel's struct clone_args, its first version.
struct CloneArgs {
  uint64_t flags, pidfd, child_tid, parent_tid, exit_signal, stack, stack_size, tls;
};
constexpr uint64_t kCloneClearSignalHandlers = 0x100000000ULL;  // CLONE_CLEAR_SIGHAND

// clone3 with `args`: the child runs `child(context)` on the stack the arguments name, and
// exits with what it returns; the parent gets the child's process id or -errno. The C
// library has no call for it, and a child that shares the parent's memory cannot return
// through the parent's stack frames.
[[gnu::noinline]] long CloneInto(CloneArgs* args, int (*child)(void*), void* context) {
  long result;
  register auto* entry asm("r12") = child;
  register void* argument asm("r13") = context;
  asm volatile(
      "syscall\n\t"
      "testq %%rax, %%rax\n\t"
      "jnz 1f\n\t"
      "xorl %%ebp, %%ebp\n\t"
      "movq %%r13, %%rdi\n\t"
      "callq *%%r12\n\t"
      "movl %%eax, %%edi\n\t"
      "movl %[exit], %%eax\n\t"
      "syscall\n\t"
      "hlt\n"
      "1:"
      : "=a"(result)
      : "0"(static_cast<long>(SYS_clone3)), "D"(args), "S"(sizeof *args), "r"(entry),
        "r"(argument), [exit] "i"(SYS_exit)
      : "rcx", "r11", "memory", "cc");
  return result;
}
#endif

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

// The signals a child starts with at their default action: those of kAlwaysDefault whatever
// the runner does with them (a runner that ignores or catches these must not hand that on
// to its children), and every other one the runner catches or leaves at its default. Those
// the runner's own parent had it ignore stay ignored, and the C library's own signals are
// its business. Naming every signal that ends at its default is what keeps the spawn
// cheap: the C library's child resets a signal named here with one call, where it looks
// up every other one first and then resets it.
constexpr int kAlwaysDefault[] = {SIGPIPE, SIGINT,  SIGQUIT, SIGTERM, SIGHUP,
                                  SIGCHLD, SIGUSR1, SIGUSR2, SIGALRM};

sigset_t SignalsToDefault() {
  sigset_t defaults;
  sigemptyset(&defaults);
  for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
    if (signal_number == SIGKILL || signal_number == SIGSTOP) continue;
    struct sigaction current;
    // The C library refuses to show its own signals.
    if (sigaction(signal_number, nullptr, &current) != 0) continue;
    if (current.sa_handler == SIG_IGN &&
        std::find(std::begin(kAlwaysDefault), std::end(kAlwaysDefault), signal_number) ==
            std::end(kAlwaysDefault)) {
      continue;
    }
    sigaddset(&defaults, signal_number);
  }
  return defaults;
}

// A started program's output file, opened for the child to inherit: `made` names it when
// this start made it.
struct OutputFile {
  int fd = -1;
  std::string made;
};

// Opens (makes, if need be) the file for appending; no file for an empty path. A file
// that is there already keeps what it holds.
Result<OutputFile> OpenOutputFile(const std::string& path) {
  OutputFile output;
  if (path.empty()) return output;
  struct stat info;
  const bool existed = stat(path.c_str(), &info) == 0;
  output.fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, 0666);
  if (output.fd < 0) return Status::Failed("its output file " + path + ": " + strerror(errno));
  if (!existed) output.made = path;
  return output;
}

// Removes a file this launcher made for a program's output when nothing was written to it.
void RemoveIfEmpty(const std::string& path) {
  struct stat info;
  if (!path.empty() && stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
      info.st_size == 0) {
    unlink(path.c_str());
  }
}

// A child to start, everything it needs made before the fork: until its exec the child
// shares the runner's memory (vfork), so it makes system calls only, no allocation, no
// locks. Starting the child ourselves, rather than through posix_spawn, lets it tell the
// watchdog of its own process group before its program runs: a runner killed at any
// moment of a start leaves no program unguarded.
class ChildStart {
 public:
  struct Started {
    pid_t pid = 0;  // 0 when no child was made
    int error = 0;  // errno-style; with a pid, the child's exec failed and it is reaped
  };

  // The child starts in a process group of its own, with no signal blocked, those of
  // `defaults` (see SignalsToDefault) and any the runner catches at their default action,
  // input from the null device and, with `output_fd`, output and error there; it tells
  // `watch_channel` (LineWatchdog::Announce) of its group when one is given.
  ChildStart(const ProgramCommand& command, const sigset_t& defaults, int output_fd,
             int watch_channel)
      : defaults_(defaults), output_fd_(output_fd), watch_channel_(watch_channel) {
    words_.push_back(const_cast<char*>("/bin/sh"));
    for (const std::string& word : command.words) words_.push_back(const_cast<char*>(word.c_str()));
    words_.push_back(nullptr);
    // An executable file without "#!" is a shell script too; a name found on PATH is not
    // taken for one, as posix_spawnp does not.
    shell_fallback_ = !command.on_path;
    if (command.on_path) {
      const char* path = getenv("PATH");
      std::string_view left = path != nullptr ? path : "/bin:/usr/bin";
      while (true) {
        const size_t colon = left.find(':');
        const std::string_view folder = left.substr(0, colon);
        paths_.push_back((folder.empty() ? std::string(".") : std::string(folder)) + "/" +
                         command.words[0]);
        if (colon == std::string_view::npos) break;
        left.remove_prefix(colon + 1);
      }
    } else {
      paths_.push_back(command.words[0]);
    }
    sigemptyset(&no_signals_);
  }

  Started Start() {
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) return {0, errno};
    // The child's end must survive its setting up descriptors 0 to 2.
    if (report[1] < 3) {
      const int moved = fcntl(report[1], F_DUPFD_CLOEXEC, 3);
      close(report[1]);
      report[1] = moved;
    }
    // No handler of the runner's may run in the child, which shares its memory.
    sigset_t all, saved;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &saved);
    const pid_t pid = report[1] >= 0 ? Fork(report[1]) : -1;
    const int fork_error = report[1] >= 0 ? errno : EMFILE;
    pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    if (report[1] >= 0) close(report[1]);
    int child_error = 0;
    ssize_t got = 0;
    if (pid > 0 && shared_.ran) {
      // The child shared our memory until its exec or its end, which vfork waited for:
      // what it wrote there says how the exec went. Waiting on the pipe instead would
      // wake the runner once more as the exec closes it, just as the program begins, and
      // the program would wait for the runner's work after its start.
      child_error = shared_.exec_error;
      if (child_error != 0) got = sizeof child_error;
    } else if (pid > 0) {
      // A tool that made vfork a fork (a thread sanitizer does) leaves the child a memory
      // of its own: the pipe's end closes at the child's exec; before that, the child
      // wrote why not.
      do {
        got = read(report[0], &child_error, sizeof child_error);
      } while (got < 0 && errno == EINTR);
    }
    close(report[0]);
    if (pid < 0) return {0, fork_error};
    if (got != sizeof child_error) return {pid, 0};
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    return {pid, child_error != 0 ? child_error : ENOEXEC};
  }

 private:
  // Kept apart, so that the stack frame the child borrows holds nothing the parent needs.
  [[gnu::noinline]] pid_t Fork(int report) {
#ifdef JR_CLONE_CLEARS_HANDLERS
    // Kernels before 5.5 refuse the flag; they are not asked again.
    static std::atomic<bool> refused{false};
    if (!refused.load(std::memory_order_relaxed)) {
      // The child's stack, in this frame, which the parent does not use until the child
      // has left it by its exec or its end.
      alignas(16) char stack[64 * 1024];
      CloneArgs args{};
      args.flags = CLONE_VM | CLONE_VFORK | kCloneClearSignalHandlers;
      args.exit_signal = SIGCHLD;
      args.stack = reinterpret_cast<uintptr_t>(stack);
      args.stack_size = sizeof stack;
      report_ = report;
      handlers_cleared_ = true;
      const long pid = CloneInto(&args, &ChildStart::RunCloned, this);
      if (pid >= 0) return static_cast<pid_t>(pid);
      if (pid != -ENOSYS && pid != -EINVAL && pid != -EPERM) {
        errno = static_cast<int>(-pid);
        return -1;
      }
      refused.store(true, std::memory_order_relaxed);
      handlers_cleared_ = false;
    }
#endif
    const pid_t pid = vfork();
    if (pid == 0) RunChild(report);
    return pid;
  }

#ifdef JR_CLONE_CLEARS_HANDLERS
  static int RunCloned(void* self) {
    auto* start = static_cast<ChildStart*>(self);
    start->RunChild(start->report_);
  }
#endif

  [[noreturn]] void RunChild(int report) {
    shared_.ran = true;
    setpgid(0, 0);
    // First: the descriptors below may take the channel's number.
    if (watch_channel_ >= 0) LineWatchdog::Announce(watch_channel_, getpid());
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    if (handlers_cleared_) {
      // The kernel has put every handler back to its default; what is left is the ignored
      // signals that always start at their default.
      for (int signal_number : kAlwaysDefault) sigaction(signal_number, &action, nullptr);
    } else {
      for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
        struct sigaction current;
        // A handler of the runner's means nothing in the program, whenever it was set.
        if (sigismember(&defaults_, signal_number) == 1 ||
            (sigaction(signal_number, nullptr, &current) == 0 && current.sa_handler != SIG_IGN &&
             current.sa_handler != SIG_DFL)) {
          sigaction(signal_number, &action, nullptr);
        }
      }
    }
    // Output first: the output file may have taken a number below 3 itself.
    for (int target : {1, 2}) {
      if (output_fd_ < 0) break;
      if (output_fd_ == target) {
        fcntl(target, F_SETFD, 0);
      } else {
        dup2(output_fd_, target);
      }
    }
    const int input = open("/dev/null", O_RDONLY);
    if (input < 0) Fail(report);
    if (input != 0) {
      dup2(input, 0);
      close(input);
    }
    // Descriptors the runner holds (databases, pidfds, pipes of other helpers) are no
    // business of the program, whether or not their owners set close-on-exec; the report
    // pipe stays open until the exec.
    if (close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
      rlimit limit{};
      const rlim_t highest =
          getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY ? limit.rlim_cur
                                                                                   : 65536;
      for (rlim_t fd = 3; fd < highest; ++fd) {
        if (static_cast<int>(fd) != report) close(static_cast<int>(fd));
      }
    }
    sigprocmask(SIG_SETMASK, &no_signals_, nullptr);
    // As execvp looks: past the folders where the name is missing or may not be run.
    int error = ENOENT;
    for (const std::string& path : paths_) {
      execve(path.c_str(), words_.data() + 1, environ);
      if (errno == ENOEXEC && shell_fallback_) {
        execve("/bin/sh", words_.data(), environ);
      }
      if (errno != ENOENT && errno != ENOTDIR && errno != EACCES) {
        error = errno;
        break;
      }
      if (errno == EACCES || error != EACCES) error = errno;
    }
    errno = error;
    Fail(report);
  }

  [[noreturn]] void Fail(int report) {
    const int error = errno;
    shared_.exec_error = error;
    if (write(report, &error, sizeof error) < 0) {
      // The parent then takes it for a program that could not be run.
    }
    _exit(127);
  }

  // Written by the child while it shares the runner's memory (vfork); volatile, since the
  // compiler cannot know that a call to vfork returns after another thread of control
  // wrote here.
  struct Shared {
    volatile bool ran = false;
    volatile int exec_error = 0;
  } shared_;
  // Set before a clone whose child starts with every handler at its default.
  bool handlers_cleared_ = false;
#ifdef JR_CLONE_CLEARS_HANDLERS
  int report_ = -1;  // the pipe's end, for the cloned child
#endif
  std::vector<char*> words_;  // "/bin/sh", the command's words, null
  std::vector<std::string> paths_;
  bool shell_fallback_ = false;
  sigset_t defaults_;
  sigset_t no_signals_;
  int output_fd_;
  int watch_channel_;
};

class PosixProcessLauncher final : public ProcessLauncher {
 public:
  PosixProcessLauncher() = default;
  PosixProcessLauncher(const PosixProcessLauncher&) = delete;
  PosixProcessLauncher& operator=(const PosixProcessLauncher&) = delete;

  ~PosixProcessLauncher() override {
    // Trees whose programs were ended one by one do not outlive the runner's run.
    for (const PendingKill& pending : pending_kills_) kill(-pending.group, SIGKILL);
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

  ProcessHandle Start(const StartRequest& request) override {
    const Result<ProcessHandle> started = TryStart(request);
    return started.ok() ? started.value : 0;
  }

  Result<ProcessHandle> TryStart(const StartRequest& request) override {
    KillDue();
    ReapForgotten();
    const std::string program(Unquoted(request.program));
    const ProgramCommand command = ResolveProgramCommand(request.program, request.arguments);
    if (!command.startable()) return Status::Failed(program + ": " + command.cause);
    // The shell would say so only on the line's standard error, which nobody reads.
    if (command.kind == ProgramCommand::Kind::kScript && access(program.c_str(), R_OK) != 0) {
      return Status::Failed(program + ": " + strerror(errno));
    }
    // Looked up at the first start: a signal the runner catches only later ends at its
    // default either way, and the runner ignores none of its own accord but those that
    // are always reset.
    if (!signals_to_default_) signals_to_default_ = SignalsToDefault();
    Result<OutputFile> output = OpenOutputFile(request.output_file);
    if (!output.ok()) return Status::Failed(program + ": " + output.message());
    // Started before the program, so that no moment of it goes unguarded. Without a
    // watchdog the run goes on as it would have without the guard.
    (void)watchdog_.Ensure();
    const ChildStart::Started started =
        ChildStart(command, *signals_to_default_, output.value.fd, watchdog_.channel()).Start();
    // The child has its own copy; the runner writes nothing there.
    if (output.value.fd >= 0) close(output.value.fd);
    if (started.error != 0) {
      // A child that told the watchdog of its group and then could not run its program.
      if (started.pid > 0) watchdog_.Unwatch(started.pid);
      RemoveIfEmpty(output.value.made);
      return Status::Failed(program + ": " + strerror(started.error));
    }
    const pid_t pid = started.pid;

    Child child;
    child.pidfd = OpenPidfd(pid);
    child.output_file = std::move(output.value.made);
    children_.emplace(pid, child);
    // An earlier process with this number is no longer anyone's business.
    exit_statuses_.erase(pid);
    return static_cast<ProcessHandle>(pid);
  }

  bool IsRunning(ProcessHandle& handle) override {
    KillDue();
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

  std::optional<int> ExitStatus(ProcessHandle handle) const override {
    auto found = exit_statuses_.find(static_cast<pid_t>(handle));
    if (found == exit_statuses_.end()) return std::nullopt;
    const int status = found->second;
    exit_statuses_.erase(found);
    return status;
  }

  void Forget(ProcessHandle handle) override {
    auto found = children_.find(static_cast<pid_t>(handle));
    if (found == children_.end()) return;
    found->second.forgotten = true;
    TryReap(found);
  }

  void WaitForExit(milliseconds timeout) override {
    Clock::time_point deadline = Clock::now() + timeout;
    while (true) {
      KillDue();
      // A forced end that falls due is sent on time.
      for (const PendingKill& pending : pending_kills_) deadline = std::min(deadline, pending.at);
      ReapForgotten();
      if (AnyPolledChildEnded()) return;
      milliseconds left =
          std::chrono::duration_cast<milliseconds>(deadline - Clock::now()) + milliseconds(1);
      if (Clock::now() >= deadline) return;
      if (WaitForAnyChild(left, /*stop_wakes=*/true)) return;
      // Loop: a forgotten child's end wakes us too; it is reaped above and the wait goes
      // on for the time that is left.
    }
  }

  void BeginTerminate(ProcessHandle handle, milliseconds grace) override {
    if (handle <= 0 || children_.find(static_cast<pid_t>(handle)) == children_.end()) return;
    const pid_t pid = static_cast<pid_t>(handle);
    children_[pid].ended_by_launcher = true;
    if (kill(-pid, SIGTERM) != 0) kill(pid, SIGTERM);
    pending_kills_.push_back({pid, Clock::now() + grace});
  }

  void TerminateAll(milliseconds grace) override {
    // Trees already asked to end get their forced end with the others, or now.
    for (const PendingKill& pending : pending_kills_) {
      if (children_.find(pending.group) == children_.end()) {
        kill(-pending.group, SIGKILL);
        watchdog_.Unwatch(pending.group);
      }
    }
    pending_kills_.clear();
    ReapEnded();
    std::vector<pid_t> pids;
    for (const auto& [pid, child] : children_) pids.push_back(pid);
    EndTrees(pids, grace);
  }

  void Terminate(ProcessHandle handle, milliseconds grace) override {
    auto found = children_.find(static_cast<pid_t>(handle));
    if (found == children_.end() || TryReap(found)) return;
    EndTrees({found->first}, grace);
  }

  void SetRunnerGoneArguments(std::vector<std::string> arguments) override {
    watchdog_.SetRunnerGoneArguments(std::move(arguments));
  }

 private:
  struct Child {
    int pidfd = -1;
    bool forgotten = false;
    // Asked to end by this launcher: whatever status it ends with is not its own.
    bool ended_by_launcher = false;
    // The output file this launcher made for it; removed at its end when still empty.
    std::string output_file;
  };
  using Children = std::map<pid_t, Child>;
  // A process group asked to end by Terminate, and when it is ended by force.
  struct PendingKill {
    pid_t group;
    Clock::time_point at;
  };

  static void CloseFd(Child& child) {
    if (child.pidfd >= 0) close(child.pidfd);
    child.pidfd = -1;
  }

  // What is left to do once the child is reaped.
  static void Reaped(Child& child) {
    CloseFd(child);
    RemoveIfEmpty(child.output_file);
  }

  // Reaps the child when it has ended; true then, and the entry is gone. The exit status
  // of a polled child that ended by itself is kept for ExitStatus.
  bool TryReap(Children::iterator at) {
    pid_t result;
    int status = 0;
    do {
      result = waitpid(at->first, &status, WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result == 0) return false;
    if (result > 0 && WIFEXITED(status) && !at->second.forgotten && !at->second.ended_by_launcher) {
      exit_statuses_[at->first] = WEXITSTATUS(status);
    }
    // Reaped now, or ECHILD: someone else reaped it; either way it is gone.
    const pid_t pid = at->first;
    Reaped(at->second);
    children_.erase(at);
    Release(pid);
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

  static bool AllEnded(const std::vector<pid_t>& pids) {
    for (pid_t pid : pids) {
      if (!HasEnded(pid)) return false;
    }
    return true;
  }

  // Ends the process trees of these children (unreaped ones of ours) and reaps them.
  void EndTrees(const std::vector<pid_t>& pids, milliseconds grace) {
    if (pids.empty()) return;
    // The leaders stay unreaped until the groups are dealt with, so that no group id can
    // have been handed to an unrelated process in the meantime.
    for (pid_t pid : pids) {
      if (kill(-pid, SIGTERM) != 0) kill(pid, SIGTERM);
    }
    const Clock::time_point deadline = Clock::now() + grace;
    while (!AllEnded(pids) && Clock::now() < deadline) {
      // The grace is the children's, a second stop request does not cut it short.
      WaitForAnyChild(
          std::chrono::duration_cast<milliseconds>(deadline - Clock::now()) + milliseconds(1),
          /*stop_wakes=*/false);
    }
    // Whatever is left of each tree, the leader included, ends now. Signalling a group
    // whose members are all gone fails harmlessly.
    for (pid_t pid : pids) {
      if (kill(-pid, SIGKILL) != 0) kill(pid, SIGKILL);
    }
    for (pid_t pid : pids) {
      auto found = children_.find(pid);
      if (found != children_.end()) {
        Reaped(found->second);
        children_.erase(found);
      }
      while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
      }
      Release(pid);
    }
  }

  // Sleeps until some child ends, `timeout` passes or, with `stop_wakes`, a stop is
  // requested; true in the last case. Ended children stay unreaped.
  bool WaitForAnyChild(milliseconds timeout, bool stop_wakes) {
    if (timeout.count() <= 0) return false;
    std::vector<pollfd> fds;
    fds.reserve(children_.size() + 1);
    const int wake = stop_wakes ? StopWakeFd() : -1;
    if (wake >= 0) fds.push_back({wake, POLLIN, 0});
    bool all_have_fds = true;
    for (const auto& [pid, child] : children_) {
      if (child.pidfd < 0) {
        all_have_fds = false;
      } else {
        fds.push_back({child.pidfd, POLLIN, 0});
      }
    }
    // Without a pidfd for every child, look again after a short slice.
    const milliseconds slice = all_have_fds ? timeout : std::min(timeout, kFallbackSlice);
    if (fds.empty()) {
      SleepFor(slice);
      return false;
    }
    const int result = poll(fds.data(), fds.size(), static_cast<int>(slice.count()));
    if (result < 0 && errno != EINTR) SleepFor(std::min(slice, kFallbackSlice));
    if (result <= 0 || wake < 0 || (fds[0].revents & POLLIN) == 0) return false;
    DrainStopWake();
    return true;
  }

  // Sends the forced ends that are due. A group none of whose processes is left is
  // dropped at once, so that its number is not signalled once it can name another group.
  void KillDue() {
    if (pending_kills_.empty()) return;
    const Clock::time_point now = Clock::now();
    std::vector<pid_t> done;
    std::erase_if(pending_kills_, [now, &done](const PendingKill& pending) {
      if (kill(-pending.group, 0) != 0 && errno == ESRCH) {
        done.push_back(pending.group);
        return true;
      }
      if (now < pending.at) return false;
      kill(-pending.group, SIGKILL);
      done.push_back(pending.group);
      return true;
    });
    for (pid_t group : done) Release(group);
  }

  // The watchdog forgets a group once this launcher no longer answers for it: its leader
  // is reaped and no forced end is pending for it.
  void Release(pid_t group) {
    if (children_.contains(group)) return;
    for (const PendingKill& pending : pending_kills_) {
      if (pending.group == group) return;
    }
    watchdog_.Unwatch(group);
  }

  // Declared first, so that it is ended after everything else is done.
  LineWatchdog watchdog_;
  Children children_;
  std::vector<PendingKill> pending_kills_;
  // Polled children that ended by themselves, by pid, until their status is asked for or
  // the pid is started again.
  mutable std::map<pid_t, int> exit_statuses_;
  std::optional<sigset_t> signals_to_default_;
};

}  // namespace

std::unique_ptr<ProcessLauncher> MakeSystemProcessLauncher() {
  return std::make_unique<PosixProcessLauncher>();
}

Result<ProgramOutput> RunAndCapture(const StartRequest& request) {
  const std::string cannot_start = "cannot start " + request.program + ": ";
  const ProgramCommand command = ResolveProgramCommand(request.program, request.arguments);
  if (!command.startable()) return Status::Failed(cannot_start + command.cause);
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) return Status::Failed(cannot_start + strerror(errno));
  const ChildStart::Started started =
      ChildStart(command, SignalsToDefault(), pipe_fds[1], -1).Start();
  close(pipe_fds[1]);
  if (started.error != 0) {
    close(pipe_fds[0]);
    return Status::Failed(cannot_start + strerror(started.error));
  }
  const pid_t pid = started.pid;
  ProgramOutput result;
  char buffer[4096];
  while (true) {
    const ssize_t count = read(pipe_fds[0], buffer, sizeof buffer);
    if (count > 0) {
      result.output.append(buffer, static_cast<size_t>(count));
    } else if (count == 0 || errno != EINTR) {
      break;
    }
  }
  close(pipe_fds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace jr
