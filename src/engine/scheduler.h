#pragma once
// Running the prepared job lines of one run to their end.

#include <cstdint>
#include <string>

#include "engine/engine_env.h"
#include "model/job_lines.h"

namespace jr {

struct SchedulerOutcome {
  enum class End {
    kAllOver,      // every line is over
    kStopOnError,  // a stop-on-error line failed
    kFailure,      // something inside a pass failed; `failure` says what
    kInterrupted,  // hooks.StopRequested(): running children were ended and marked failed
  };
  End end = End::kAllOver;
  std::string failure;
};

SchedulerOutcome RunScheduler(clsJobLines& collection, int32_t maximum, EngineEnv& env,
                              RunHooks& hooks);

}  // namespace jr
