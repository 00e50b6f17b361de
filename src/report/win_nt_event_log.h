#pragma once
// Recording a run's outcome in the system's event log.

#include <cstdint>
#include <string_view>

#include "platform/event_log.h"
#include "platform/notifier.h"

namespace jr {

// The source name of every entry, and the title of the message of a failed write.
inline constexpr std::string_view kEventSourceName = "Extraction Job Runner";

inline constexpr uint16_t kEventTypeError = 1;
inline constexpr uint16_t kEventTypeInformation = 4;

// Writes one entry (category 0) under kEventSourceName. When the sink fails, shows
// "Error N while writing event to NT Event Log." (N the system's error number) with an
// exclamation icon and carries on; the caller learns nothing of the failure.
void WriteEventLogEntry(EventLogSink& sink, Notifier& notifier, std::string_view message,
                        uint16_t event_type, uint32_t event_id);

}  // namespace jr
