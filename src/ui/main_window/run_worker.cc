#include "ui/main_window/run_worker.h"

#include "run/rerun_plan.h"

namespace jr {
namespace {

QString Text(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

template <typename F>
void RunWorker::post(F emitting) {
  // Posted to this object, so that nothing arrives once it is gone.
  QMetaObject::invokeMethod(this, std::move(emitting), Qt::QueuedConnection);
}

RunWorker::RunWorker(std::unique_ptr<JobExecutor> executor, QObject* parent)
    : QObject(parent), executor_(executor ? std::move(executor) : MakeUnavailableJobExecutor()) {}

RunWorker::~RunWorker() {
  if (!thread_.joinable()) return;
  stop_->Request();
  thread_.join();
}

void RunWorker::start(RunSessionRequest request) {
  if (isRunning()) return;
  stop_ = std::make_unique<StopFlag>();
  // The run gets its own copy of the job: the window's job may change while it runs.
  thread_ = std::thread([this, request = std::move(request)] {
    const JobRunOutcome outcome = executor_->execute(request, *stop_, *this);
    post([this, outcome] { finish(outcome); });
  });
  emit runningChanged(true);
}

void RunWorker::requestStop() {
  if (isRunning()) stop_->Request();
}

void RunWorker::finish(const JobRunOutcome& outcome) {
  thread_.join();
  emit runningChanged(false);
  emit finished(outcome);
}

void RunWorker::LineStarted(const RunLine& line) {
  post([this, number = line.JobLineNr()] { emit lineStarted(number); });
}

void RunWorker::LineFinished(const RunLine& line) {
  post([this, number = line.JobLineNr(), failed = line.ErrorOccurred()] {
    emit lineEnded(number, failed);
  });
}

void RunWorker::LineSkipped(const RunLine& line) {
  post([this, number = line.JobLineNr()] { emit lineSkipped(number); });
}

void RunWorker::LineCannotStart(const RunLine& line, std::string_view reason) {
  post([this, number = line.JobLineNr(), text = Text(reason)] {
    emit lineEnded(number, true);
    emit warning(text);
  });
}

void RunWorker::LineStartFailed(const RunLine& line, std::string_view failure) {
  Warning(LineStartFailedText(line, failure));
}

void RunWorker::LineTimeLimitReached(const RunLine& line) { Warning(LineTimeLimitText(line)); }

void RunWorker::LineRepeatRefused(const RunLine& line, int32_t copies) {
  Warning(RepeatRefusedText(line.JobLineNr(), copies));
}

void RunWorker::LinesOver(std::string_view rerun_of, const std::vector<int32_t>& over) {
  post([this, run = Text(rerun_of), lines = QString::fromStdString(JobLineNumbersText(over))] {
    emit linesOver(run, lines);
  });
}

void RunWorker::Warning(std::string_view text) {
  post([this, text = Text(text)] { emit warning(text); });
}

void RunWorker::LongerThanUsual(std::string_view text) {
  post([this, text = Text(text)] { emit longerThanUsual(text); });
}

}  // namespace jr

namespace jr {

void RunWorker::EndForeseen(const ExpectedEnd&, std::string_view text) {
  post([this, text = Text(text)] { emit expectedEnd(text); });
}

void RunWorker::RunFinished(const RunSessionOutcome& outcome) {
  if (outcome.run.scheduler.end == SchedulerOutcome::End::kTimeLimit) {
    Warning(JobTimeLimitText(outcome.job_time_limit));
  }
}

}  // namespace jr
