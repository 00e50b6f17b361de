#include "insight/line_outcome.h"

namespace jr {

std::string LineOutcome(const RunLine& line) {
  if (line.IsSkipped()) return "skipped";
  if (!line.AlreadyRun() || line.IsRunning()) return "not run";
  return line.ErrorOccurred() ? "failed" : "ok";
}

}  // namespace jr
