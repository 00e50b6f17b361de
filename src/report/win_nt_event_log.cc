#include "report/win_nt_event_log.h"

#include <string>

namespace jr {

void WriteEventLogEntry(EventLogSink& sink, Notifier& notifier, std::string_view message,
                        uint16_t event_type, uint32_t event_id) {
  const int error = sink.Write(kEventSourceName, event_type, 0, event_id, message);
  if (error == 0) return;
  // The run goes on whatever happens to its log entry; the user is only told.
  notifier.ShowMessage(kEventSourceName,
                       "Error " + std::to_string(error) + " while writing event to NT Event Log.",
                       MessageIcon::kExclamation);
  const std::string detail = sink.LastFailure();
  if (!detail.empty()) notifier.ShowMessage(kEventSourceName, detail, MessageIcon::kExclamation);
}

}  // namespace jr
