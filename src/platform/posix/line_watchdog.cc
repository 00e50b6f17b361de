#include "platform/posix/line_watchdog.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <string>

extern char** environ;

namespace jr {
namespace {

// A group to watch (> 0) or a group to forget (its negation), one after the other in a
// stream; kGoodbye when the run ended as it should.
using Message = int32_t;
constexpr Message kGoodbye = 0;

// Where the watchdog keeps its end of the connection.
constexpr int kChannelFd = 3;
// Far more groups than a run has at once (at most 99 lines, and the programs found
// finished that still run); a group beyond them goes unguarded.
constexpr size_t kMaxGroups = 4096;
// As a stop: SIGTERM, then SIGKILL for what is left after the grace.
constexpr time_t kGraceSeconds = 10;
constexpr long kLookAgainNanoseconds = 100'000'000;
// How long messages gather in the connection before the watchdog reads them: short enough
// that a runner starting lines as fast as it can never fills the connection's buffer (a few
// hundred messages) and waits for the watchdog.
constexpr long kGatherNanoseconds = 10'000'000;

// Everything from here to LineWatchdog runs in the forked child of a runner that may have
// other threads (the window runs jobs on one): system calls only, no allocation, no locks.

// Leaves the runner's session, folder, signal handling and descriptors behind, keeping
// only `channel`, moved to kChannelFd.
void LeaveRunnerBehind(int channel) {
  setsid();
  if (chdir("/") != 0) {
    // Staying in the runner's folder keeps it busy a little longer, nothing worse.
  }
  if (channel < kChannelFd) channel = fcntl(channel, F_DUPFD, kChannelFd);
  if (channel != kChannelFd) dup2(channel, kChannelFd);
  // Standard output and error may be a pipe that cron reads to the end.
  const int null_fd = open("/dev/null", O_RDWR);
  for (int fd = 0; fd < kChannelFd; ++fd) {
    if (null_fd >= 0 && null_fd != fd) dup2(null_fd, fd);
  }
  if (close_range(kChannelFd + 1, ~0U, 0) != 0) {
    rlimit limit{};
    const rlim_t highest = getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
                               ? limit.rlim_cur
                               : 65536;
    for (rlim_t fd = kChannelFd + 1; fd < highest; ++fd) close(static_cast<int>(fd));
  }
  struct sigaction defaults = {};
  defaults.sa_handler = SIG_DFL;
  sigemptyset(&defaults.sa_mask);
  for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
    sigaction(signal_number, &defaults, nullptr);  // fails harmlessly for SIGKILL and SIGSTOP
  }
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  // Its own name in ps and top; and `killall jobrunner` leaves it to do its work.
  prctl(PR_SET_NAME, "jr-watchdog", 0, 0, 0);
}

bool Before(const timespec& deadline) {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec < deadline.tv_sec ||
         (now.tv_sec == deadline.tv_sec && now.tv_nsec < deadline.tv_nsec);
}

// Ends the groups as a stop does: SIGTERM now, SIGKILL for those still there after the
// grace. A group none of whose processes is left is dropped at once, so that its number
// is not signalled once it can name another group.
void EndGroups(pid_t* groups, size_t count) {
  for (size_t i = 0; i < count; ++i) kill(-groups[i], SIGTERM);
  timespec deadline{};
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += kGraceSeconds;
  while (count > 0 && Before(deadline)) {
    for (size_t i = 0; i < count;) {
      if (kill(-groups[i], 0) != 0 && errno == ESRCH) {
        groups[i] = groups[--count];
      } else {
        ++i;
      }
    }
    timespec pause{0, kLookAgainNanoseconds};
    if (count > 0) nanosleep(&pause, nullptr);
  }
  for (size_t i = 0; i < count; ++i) kill(-groups[i], SIGKILL);
}

void Take(const Message& message, pid_t* groups, size_t& count, bool& goodbye) {
  if (message == kGoodbye) {
    goodbye = true;
    return;
  }
  if (message > 0) {
    if (count < kMaxGroups) groups[count++] = message;
    return;
  }
  for (size_t i = 0; i < count; ++i) {
    if (groups[i] == -message) {
      groups[i] = groups[--count];
      return;
    }
  }
}

// `gone` is the runner's program's argv to exec should the runner go without goodbye (null:
// none), `folder` the folder to do it in.
[[noreturn]] void Guard(int channel, char* const* gone, const char* folder) {
  LeaveRunnerBehind(channel);
  pid_t groups[kMaxGroups];
  size_t count = 0;
  bool goodbye = false;
  char bytes[4096];
  size_t kept = 0;  // the start of a message whose rest has not come yet
  while (true) {
    pollfd readable{kChannelFd, POLLIN, 0};
    if (poll(&readable, 1, -1) < 0 && errno != EINTR) break;
    bool gone = false;
    while (true) {
      const ssize_t got = recv(kChannelFd, bytes + kept, sizeof bytes - kept, MSG_DONTWAIT);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
      // End of file, or a broken connection: the runner is gone without ending its lines.
      if (got <= 0) {
        gone = true;
        break;
      }
      const size_t size = kept + static_cast<size_t>(got);
      size_t at = 0;
      for (; at + sizeof(Message) <= size; at += sizeof(Message)) {
        Message message;
        memcpy(&message, bytes + at, sizeof message);
        Take(message, groups, count, goodbye);
      }
      kept = size - at;
      memmove(bytes, bytes + at, kept);
    }
    if (gone) break;
    // Messages wait in the connection until the next look, so that the runner's sends
    // wake nobody while the watchdog sleeps: a chain of short lines costs a wake-up here
    // every hundredth of a second, not two per line.
    timespec pause{0, kGatherNanoseconds};
    nanosleep(&pause, nullptr);
  }
  EndGroups(groups, count);
  // After the groups, so that what tells of the run finds its lines ended.
  if (gone != nullptr && !goodbye) {
    close(kChannelFd);
    if (folder[0] == '\0' || chdir(folder) != 0) {
      // A folder gone since: the arguments name whole paths, the rest is looked up as from "/".
    }
    // The runner's own program, even when its file was replaced since it started.
    execve("/proc/self/exe", gone, environ);
  }
  _exit(0);
}

}  // namespace

LineWatchdog::~LineWatchdog() {
  // Killed before the connection closes, the watchdog never sees it break: it ends
  // nothing. Not yet reaped, its process id cannot name another process.
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  if (channel_ >= 0) close(channel_);
}

Status LineWatchdog::Ensure() {
  if (channel_ >= 0) return Status::Ok();
  const std::string no_watchdog = "no watchdog for the job lines: ";
  if (given_up_) return Status::Failed(no_watchdog + "it could not be started");
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
    given_up_ = true;
    return Status::Failed(no_watchdog + strerror(errno));
  }
  const pid_t pid = fork();
  if (pid == 0) {
    close(ends[0]);  // held by the watchdog, it would never see the runner go
    Guard(ends[1], gone_argv_.empty() ? nullptr : gone_argv_.data(), gone_folder_.c_str());
  }
  const int error = errno;
  close(ends[1]);
  if (pid < 0) {
    close(ends[0]);
    given_up_ = true;
    return Status::Failed(no_watchdog + strerror(error));
  }
  channel_ = ends[0];
  pid_ = pid;
  return Status::Ok();
}

void LineWatchdog::SetRunnerGoneArguments(std::vector<std::string> arguments) {
  if (arguments.empty()) {
    Send(kGoodbye);
    gone_argv_.clear();
    return;
  }
  // A watchdog running already keeps what it was started with.
  if (channel_ >= 0) return;
  gone_arguments_ = std::move(arguments);
  gone_arguments_.insert(gone_arguments_.begin(), "jobrunner");
  gone_argv_.clear();
  for (std::string& argument : gone_arguments_) gone_argv_.push_back(argument.data());
  gone_argv_.push_back(nullptr);
  char folder[4096];
  gone_folder_ = getcwd(folder, sizeof folder) != nullptr ? folder : "";
}

void LineWatchdog::Announce(int channel, pid_t group) {
  if (channel < 0) return;
  const Message sent = static_cast<Message>(group);
  // A watchdog killed by hand leaves a broken connection: the message is dropped, and
  // MSG_NOSIGNAL keeps its SIGPIPE from ending the runner.
  while (send(channel, &sent, sizeof sent, MSG_NOSIGNAL) < 0 && errno == EINTR) {
  }
}

void LineWatchdog::Unwatch(pid_t group) { Send(-static_cast<Message>(group)); }

void LineWatchdog::Send(int message) { Announce(channel_, static_cast<pid_t>(message)); }

}  // namespace jr
