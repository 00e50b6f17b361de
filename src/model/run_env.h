#pragma once
// The outside world as a run sees it. Every piece sits behind a seam so that tests run the
// engine and the reports with fakes and with real processes alike.

#include "model/run_line.h"
#include "platform/clock.h"
#include "platform/event_log.h"
#include "platform/file_system.h"
#include "platform/metadata_log.h"
#include "platform/notifier.h"
#include "platform/process_launcher.h"
#include "platform/registry.h"

namespace jr {

struct RunEnv {
  Clock& clock;
  ProcessLauncher& launcher;
  FileSystem& file_system;
  RegistryReader& registry;
  EventLogSink& event_log;
  ProcessMetadataLogFactory& metadata;
  Notifier& notifier;
};

}  // namespace jr
