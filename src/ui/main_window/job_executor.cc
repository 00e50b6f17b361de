#include "ui/main_window/job_executor.h"

#include <cctype>

#include "report/generate_reports.h"
#include "run/job_lock.h"

namespace jr {
namespace {

class UnavailableJobExecutor final : public JobExecutor {
 public:
  JobRunOutcome execute(const RunSessionRequest&, const StopFlag&, RunSessionObserver&) override {
    return {false, "Running jobs from the window is not available in this build."};
  }
};

// A clause that follows "job file: " on a command line, as a sentence of its own.
std::string Sentence(std::string text) {
  if (!text.empty()) {
    text.front() = static_cast<char>(std::toupper(static_cast<unsigned char>(text.front())));
  }
  return text;
}

}  // namespace

JobRunOutcome WindowOutcomeOf(const RunSessionOutcome& outcome, const std::string& job_file) {
  switch (outcome.end) {
    case RunSessionOutcome::End::kRan: {
      // A report that was not written is news the status text alone would hide.
      std::string message = StatusText(outcome.level);
      for (const std::string& missing : outcome.run.report.missing_reports) {
        message += " " + missing + ".";
      }
      return {true, message};
    }
    case RunSessionOutcome::End::kBusy:
      return {false, Sentence(AlreadyRunningText(job_file, *outcome.busy)) + ".", "Execute Job"};
    case RunSessionOutcome::End::kStopped:
      return {false, "The job was not run."};
    case RunSessionOutcome::End::kDayOff:
      return {false, Sentence(outcome.day_off) + "; nothing was run."};
    case RunSessionOutcome::End::kRefused:
      break;
  }
  std::string faults;
  std::string others;
  for (const Refusal& refusal : outcome.refusals) {
    if (refusal.kind == Refusal::Kind::kFault || refusal.kind == Refusal::Kind::kPreflight) {
      faults += (faults.empty() ? "" : "; ") + refusal.text;
    } else {
      others += (others.empty() ? "" : " ") + Sentence(refusal.text);
    }
  }
  if (faults.empty()) return {false, others};
  return {false, "The job cannot run: " + faults + "." + (others.empty() ? "" : " " + others)};
}

std::unique_ptr<JobExecutor> MakeUnavailableJobExecutor() {
  return std::make_unique<UnavailableJobExecutor>();
}

}  // namespace jr
