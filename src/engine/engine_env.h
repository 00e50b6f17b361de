#pragma once
// The outside world as a run sees it. Every piece sits behind a seam so that tests run the
// engine with fakes and with real processes alike.

#include <chrono>
#include <functional>
#include <string_view>

#include "model/job_line.h"
#include "platform/clock.h"
#include "platform/event_log.h"
#include "platform/file_system.h"
#include "platform/metadata_log.h"
#include "platform/notifier.h"
#include "platform/process_launcher.h"
#include "platform/registry.h"

namespace jr {

struct EngineEnv {
  Clock& clock;
  ProcessLauncher& launcher;
  FileSystem& file_system;
  RegistryReader& registry;
  EventLogSink& event_log;
  ProcessMetadataLogFactory& metadata;
  Notifier& notifier;

  JobLineServices job_line_services() const { return {&clock, &metadata}; }
};

// A pause supplied by the caller: the window keeps processing its events, a command-line
// run just waits. It may end early (when a child exits); it never lasts longer than asked.
using PauseFn = std::function<void(std::chrono::milliseconds longest)>;

class clsJobLines;

// What a run tells its caller while it goes on, and how the caller stops it. Every
// callback has an empty default.
class RunHooks {
 public:
  virtual ~RunHooks() = default;
  // The pause at the end of a scheduler pass.
  virtual void Pause(std::chrono::milliseconds longest) = 0;
  // True once the run is to stop (the window's Stop, SIGINT or SIGTERM).
  virtual bool StopRequested() const { return false; }
  virtual void LineStarted(const clsJobLine&) {}
  // The line ended; ErrorOccured tells its outcome.
  virtual void LineFinished(const clsJobLine&) {}
  virtual void LineSkipped(const clsJobLine&) {}
  virtual void LineRepeated(const clsJobLine& /*original*/, const clsJobLine& /*copy*/) {}
  // The line could never start and was ended as failed to start.
  virtual void LineCannotStart(const clsJobLine&, std::string_view /*reason*/) {}
  // Something the user should know that does not stop the run.
  virtual void Warning(std::string_view /*text*/) {}
};

}  // namespace jr
