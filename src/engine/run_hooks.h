#pragma once
// What a run tells its caller while it goes on, and how the caller stops it.

#include <chrono>
#include <cstdint>
#include <string_view>
#include <vector>

#include "model/run_line.h"

namespace jr {

// Every callback but Pause has an empty default.
class RunHooks {
 public:
  virtual ~RunHooks() = default;
  // The pause at the end of a scheduler pass.
  virtual void Pause(std::chrono::milliseconds longest) = 0;
  // True once the run is to stop (the window's Stop, SIGINT or SIGTERM).
  virtual bool StopRequested() const { return false; }
  virtual void LineStarted(const RunLine&) {}
  // The line ended; ErrorOccurred tells its outcome.
  virtual void LineFinished(const RunLine&) {}
  virtual void LineSkipped(const RunLine&) {}
  virtual void LineRepeated(const RunLine& /*original*/, const RunLine& /*copy*/) {}
  // The line could never start and was ended as failed to start.
  virtual void LineCannotStart(const RunLine&, std::string_view /*reason*/) {}
  // The line's time limit was reached and its program is being ended; the line finishes
  // as failed once the program is gone.
  virtual void LineTimeLimitReached(const RunLine&) {}
  // A rerun of run `rerun_of` starts: `over` are the lines that succeeded in it and are
  // not started (may be empty).
  virtual void LinesOver(std::string_view /*rerun_of*/, const std::vector<int32_t>& /*over*/) {}
  // Something the user should know that does not stop the run.
  virtual void Warning(std::string_view /*text*/) {}
};

}  // namespace jr
