#include "ui/main_window/job_executor.h"

namespace jr {
namespace {

class UnavailableJobExecutor final : public JobExecutor {
 public:
  JobRunOutcome execute(const JobDocument&, int32_t, const StopFlag&, const RunObservers&,
                        const RerunBasis*, RunLock*) override {
    return {false, "Running jobs from the window is not available in this build."};
  }
};

}  // namespace

std::unique_ptr<JobExecutor> MakeUnavailableJobExecutor() {
  return std::make_unique<UnavailableJobExecutor>();
}

}  // namespace jr
