#include "ui/main_window/run_worker.h"

#include "platform/file_digest.h"
#include "platform/metadata_location.h"
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

void RunWorker::start(const JobDocument& job, int32_t max_parallel, std::optional<RerunBasis> rerun,
                      RunLock lock) {
  if (isRunning()) return;
  stop_ = std::make_unique<StopFlag>();
  // The run gets its own copies: the window's job may change while it runs.
  thread_ = std::thread(
      [this, job, max_parallel, rerun = std::move(rerun), lock = std::move(lock)]() mutable {
        foresee(job, max_parallel);
        const JobRunOutcome outcome =
            executor_->execute(job, max_parallel, *stop_, {this}, rerun ? &*rerun : nullptr, &lock);
        lock.Release();
        post([this, outcome] { finish(outcome); });
      });
  emit runningChanged(true);
}

void RunWorker::foresee(const JobDocument& job, int32_t max_parallel) {
  // The usual durations are read once, before the run has a row of its own.
  watch_.reset();
  if (job.FileName.empty()) return;
  Result<std::unique_ptr<RunHistory>> history =
      RunHistory::OpenForReading(SystemMetadataDatabasePath());
  if (!history.ok() || !history.value) return;
  static const SystemClock clock;
  Result<UsualDurations> usual =
      ReadUsualDurations(*history.value, AbsoluteFileName(job.FileName), clock.Now());
  if (!usual.ok() || usual.value.empty()) return;
  watch_ = std::make_unique<ExpectedEndWatch>(job.table, job.table.LineCount(), max_parallel,
                                              std::move(usual.value), clock);
}

void RunWorker::tellExpectedEnd() {
  if (!watch_ || !watch_->Going()) return;
  const TimePoint now = std::chrono::system_clock::now();
  post([this, text = QString::fromStdString(ExpectedEndText(watch_->Expected(), now))] {
    emit expectedEnd(text);
  });
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
  if (watch_) watch_->LineStarted(line);
  post([this, number = line.JobLineNr()] { emit lineStarted(number); });
}

void RunWorker::LineFinished(const RunLine& line) {
  if (watch_) watch_->LineFinished(line);
  post([this, number = line.JobLineNr(), failed = line.ErrorOccurred()] {
    emit lineEnded(number, failed);
  });
  tellExpectedEnd();
}

void RunWorker::LineSkipped(const RunLine& line) {
  if (watch_) watch_->LineSkipped(line);
  post([this, number = line.JobLineNr()] { emit lineSkipped(number); });
}

void RunWorker::LineRepeated(const RunLine& original, const RunLine& copy) {
  if (watch_) watch_->LineRepeated(original, copy);
}

void RunWorker::LineCannotStart(const RunLine& line, std::string_view reason) {
  if (watch_) watch_->LineCannotStart(line, reason);
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
  if (watch_) watch_->LinesOver(rerun_of, over);
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
