// The event log on Linux: the systemd journal, syslog where no journal runs, or a plain
// file named by $JOBRUNNER_EVENT_LOG (for servers that collect files and for tests).

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <syslog.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/event_log.h"

namespace jr {
namespace {

constexpr const char* kJournalSocket = "/run/systemd/journal/socket";
constexpr const char* kSyslogSocket = "/dev/log";

// Event types as the event log knows them, mapped onto syslog priorities.
int PriorityOf(uint16_t event_type) {
  switch (event_type) {
    case 1:  // error
      return LOG_ERR;
    case 2:   // warning
    case 16:  // audit failure
      return LOG_WARNING;
    default:  // information, audit success
      return LOG_INFO;
  }
}

// One entry a line: CR and LF are the only characters that would break a line, so they
// are the only ones written as escapes.
std::string FileLine(std::string_view source, uint16_t event_type, uint16_t category,
                     uint32_t event_id, std::string_view message) {
  std::string line(source);
  line += '\t' + std::to_string(event_type) + '\t' + std::to_string(category) + '\t' +
          std::to_string(event_id) + '\t';
  for (char c : message) {
    if (c == '\r') {
      line += "\\r";
    } else if (c == '\n') {
      line += "\\n";
    } else {
      line += c;
    }
  }
  line += '\n';
  return line;
}

class FileEventLogSink final : public EventLogSink {
 public:
  explicit FileEventLogSink(std::string path) : path_(std::move(path)) {}

  int Write(std::string_view source, uint16_t event_type, uint16_t category, uint32_t event_id,
            std::string_view message) override {
    last_failure_.clear();
    const std::string line = FileLine(source, event_type, category, event_id, message);
    // O_NONBLOCK: a named pipe that nobody reads must not hold the run at its end (the
    // open fails with ENXIO then); one that is read is still no file and is refused.
    int fd = open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY,
                  0644);
    if (fd < 0) return Fail(errno, strerror(errno));
    struct stat info {};
    if (fstat(fd, &info) != 0 || !(S_ISREG(info.st_mode) || S_ISCHR(info.st_mode))) {
      const char* kind = S_ISFIFO(info.st_mode) ? "a named pipe" : "not a regular file";
      close(fd);
      return Fail(EINVAL, std::string("it is ") + kind + ", not a file");
    }
    // A single write to an O_APPEND file keeps entries of runs that end at the same time
    // from interleaving.
    ssize_t written;
    do {
      written = write(fd, line.data(), line.size());
    } while (written < 0 && errno == EINTR);
    int error = 0;
    if (written < 0) {
      error = errno;
    } else if (static_cast<size_t>(written) != line.size()) {
      error = ENOSPC;
    }
    if (close(fd) != 0 && error == 0 && errno != EINTR) error = errno;
    return error == 0 ? 0 : Fail(error, strerror(error));
  }

  std::string LastFailure() const override { return last_failure_; }

 private:
  int Fail(int error, const std::string& cause) {
    // Opening a named pipe that nobody reads without waiting fails with ENXIO.
    last_failure_ = "the event-log file \"" + path_ + "\" cannot be written: " +
                    (error == ENXIO ? "it is a named pipe, not a file" : cause);
    return error;
  }

  std::string path_;
  std::string last_failure_;
};

class SystemLogSink final : public EventLogSink {
 public:
  int Write(std::string_view source, uint16_t event_type, uint16_t category, uint32_t event_id,
            std::string_view message) override {
    const std::string identifier(source);
    const int priority = PriorityOf(event_type);
    const int length = static_cast<int>(message.size());
    if (access(kJournalSocket, F_OK) == 0) {
      int r = sd_journal_send("MESSAGE=%.*s", length, message.data(), "SYSLOG_IDENTIFIER=%s",
                              identifier.c_str(), "PRIORITY=%d", priority, "EVENT_TYPE=%u",
                              static_cast<unsigned>(event_type), "EVENT_CATEGORY=%u",
                              static_cast<unsigned>(category), "EVENT_ID=%u",
                              static_cast<unsigned>(event_id), nullptr);
      if (r >= 0) return 0;
      // A journal that stopped leaves its socket behind; syslog may still be there.
      if (access(kSyslogSocket, F_OK) != 0) return -r;
    }
    // syslog() reports no failure and drops the entry when no daemon listens; a machine
    // without any system log must not pass for one that recorded the outcome.
    if (access(kSyslogSocket, F_OK) != 0) return errno;
    // syslog keeps no fields of its own, so they go into the text.
    openlog(identifier.c_str(), LOG_PID, LOG_USER);
    syslog(priority, "[type %u, category %u, id %u] %.*s", static_cast<unsigned>(event_type),
           static_cast<unsigned>(category), static_cast<unsigned>(event_id), length,
           message.data());
    closelog();
    return 0;
  }
};

}  // namespace

std::unique_ptr<EventLogSink> MakeSystemEventLogSink() {
  const char* file = std::getenv("JOBRUNNER_EVENT_LOG");
  if (file != nullptr && *file != '\0') return std::make_unique<FileEventLogSink>(file);
  return std::make_unique<SystemLogSink>();
}

}  // namespace jr
