#pragma once
// Runs the window's jobs on a thread of their own, so that the window answers while a job
// runs, and tells the window what the run does through signals, all of them emitted on the
// window's thread in the order the run told them.

#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <thread>

#include "ui/main_window/job_executor.h"

namespace jr {

class RunWorker : public QObject, private RunSessionObserver {
  Q_OBJECT

 public:
  // Without an executor, runs are refused with a message.
  explicit RunWorker(std::unique_ptr<JobExecutor> executor, QObject* parent = nullptr);
  // A run still going on is stopped, and waited for.
  ~RunWorker() override;

  // From start() until finished() has been emitted.
  bool isRunning() const { return thread_.joinable(); }
  // Starts the session of `request`; runningChanged(true) comes at once. Nothing while a
  // run goes on.
  void start(RunSessionRequest request);
  // Ends the running job as soon as it can; nothing without a run.
  void requestStop();

 signals:
  void runningChanged(bool running);
  void lineStarted(int line);
  // The line finished, or could not start (then always failed).
  void lineEnded(int line, bool failed);
  void lineSkipped(int line);
  // After a line's end, while lines remain: when the run is expected to end, as
  // ExpectedEndText words it (empty when it cannot be foreseen).
  void expectedEnd(const QString& text);
  void warning(const QString& text);
  // The run has gone on longer than the job's runs usually take; `text` says by how much.
  void longerThanUsual(const QString& text);
  // A rerun of run `rerunOf` does not start `lines`, which succeeded in it.
  void linesOver(const QString& rerunOf, const QString& lines);
  // After every other signal of the run; runningChanged(false) comes just before it.
  void finished(const jr::JobRunOutcome& outcome);

 private:
  // The run's events, on the run's thread: each becomes a signal on the window's.
  void LineStarted(const RunLine& line) override;
  void LineFinished(const RunLine& line) override;
  void LineSkipped(const RunLine& line) override;
  void LineCannotStart(const RunLine& line, std::string_view reason) override;
  void LineStartFailed(const RunLine& line, std::string_view failure) override;
  void LineTimeLimitReached(const RunLine& line) override;
  void LineRepeatRefused(const RunLine& line, int32_t copies) override;
  void LinesOver(std::string_view rerun_of, const std::vector<int32_t>& over) override;
  void Warning(std::string_view text) override;
  void LongerThanUsual(std::string_view text) override;
  void EndForeseen(const ExpectedEnd& expected, std::string_view text) override;
  void RunFinished(const RunSessionOutcome& outcome) override;

  // Runs `emitting` on the window's thread, after everything posted before it.
  template <typename F>
  void post(F emitting);
  void finish(const JobRunOutcome& outcome);

  std::unique_ptr<JobExecutor> executor_;
  std::unique_ptr<StopFlag> stop_;
  std::thread thread_;
};

}  // namespace jr
