#include "insight/run_outcome.h"

namespace jr {

LineOutcome OutcomeOf(const RunLine& line) {
  if (line.IsSkipped()) return LineOutcome::kSkipped;
  if (!line.AlreadyRun() || line.IsRunning()) return LineOutcome::kNotRun;
  return line.ErrorOccurred() ? LineOutcome::kFailed : LineOutcome::kOk;
}

RunStatus RunStatusOf(ErrorLevel level) {
  switch (level) {
    case ErrorLevel::kNoErrors:
      return RunStatus::kNoErrors;
    case ErrorLevel::kErrors:
      return RunStatus::kErrors;
    case ErrorLevel::kFatal:
      break;
  }
  return RunStatus::kFatal;
}

}  // namespace jr
