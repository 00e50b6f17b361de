#pragma once
// The operating system's event log, as the run's outcome is recorded in it.

#include <cstdint>
#include <string>
#include <string_view>

namespace jr {

class EventLogSink {
 public:
  virtual ~EventLogSink() = default;
  // Writes one entry. Returns 0 on success, else the system's error number.
  virtual int Write(std::string_view source, uint16_t event_type, uint16_t category,
                    uint32_t event_id, std::string_view message) = 0;
  // After a failed Write: what failed, naming where the entry should have gone; empty
  // when the sink has nothing to add to the error number.
  virtual std::string LastFailure() const { return {}; }
};

}  // namespace jr

#include <memory>

namespace jr {

// The system log (the journal, else syslog), or the file named by $JOBRUNNER_EVENT_LOG.
std::unique_ptr<EventLogSink> MakeSystemEventLogSink();

}  // namespace jr
