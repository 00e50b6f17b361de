#pragma once
// How the caller of a run pauses and stops it (RunControl), and what the run tells those
// who watch it (RunObserver, reached through RunObservers).

#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string_view>
#include <utility>
#include <vector>

#include "model/run_line.h"
#include "platform/process_launcher.h"

namespace jr {

// The one party that decides how a run waits and when it ends early.
class RunControl {
 public:
  virtual ~RunControl() = default;
  // The pause at the end of a scheduler pass, and between the polls of a report generator.
  virtual void Pause(std::chrono::milliseconds longest) = 0;
  // True once the run is to stop (the window's Stop, SIGINT or SIGTERM).
  virtual bool StopRequested() const = 0;
};

// The control of a run that pauses in the launcher's wait for the next child to end, which
// a stop request ends at once (see ProcessLauncher::WaitForExit), and stops once
// `stop_requested` says so.
class LauncherRunControl final : public RunControl {
 public:
  LauncherRunControl(ProcessLauncher& launcher, std::function<bool()> stop_requested)
      : launcher_(launcher), stop_requested_(std::move(stop_requested)) {}
  void Pause(std::chrono::milliseconds longest) override { launcher_.WaitForExit(longest); }
  bool StopRequested() const override { return stop_requested_(); }

 private:
  ProcessLauncher& launcher_;
  std::function<bool()> stop_requested_;
};

// One who watches a run. Every event has an empty default: an observer takes those it
// needs. Events come on the thread that runs the job.
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  virtual void LineStarted(const RunLine&) {}
  // The line ended; ErrorOccurred tells its outcome.
  virtual void LineFinished(const RunLine&) {}
  virtual void LineSkipped(const RunLine&) {}
  virtual void LineRepeated(const RunLine& /*original*/, const RunLine& /*copy*/) {}
  // The line could never start and was ended as failed to start.
  virtual void LineCannotStart(const RunLine&, std::string_view /*reason*/) {}
  // The line's program could not be started: `failure` says which and why ("could not start
  // PROGRAM: REASON"). LineFinished follows, the line failed.
  virtual void LineStartFailed(const RunLine&, std::string_view /*failure*/) {}
  // The line's time limit was reached and its program is being ended; the line finishes
  // as failed once the program is gone.
  virtual void LineTimeLimitReached(const RunLine&) {}
  // The job line has been repeated `copies` times, its repeat limit, and a further repeat
  // was refused (see RepeatRefusedText).
  virtual void LineRepeatRefused(const RunLine& /*line*/, int32_t /*copies*/) {}
  // A rerun of run `rerun_of` starts: `over` are the lines that succeeded in it and are
  // not started (may be empty).
  virtual void LinesOver(std::string_view /*rerun_of*/, const std::vector<int32_t>& /*over*/) {}
  // Something the user should know that does not stop the run.
  virtual void Warning(std::string_view /*text*/) {}
  // The run has gone on longer than the job's runs usually take; `text` says by how much.
  virtual void LongerThanUsual(std::string_view /*text*/) {}
  // At the first line's start and after a line's end, while lines remain: when the run is
  // now expected to end, and that as ExpectedEndText words it (empty when it cannot be
  // foreseen).
  virtual void EndForeseen(const ExpectedEnd& /*expected*/, std::string_view /*text*/) {}
  // The scheduler ended a pass and may wait next, or ends: what it told so far is to be
  // kept now, so that a runner killed while it waits has lost none of it.
  virtual void PassEnded() {}
  // Programs are about to start: what the last pass's end kept must be on the disk before
  // the first of them does. What this pass told is kept at its end (PassEnded), so that
  // nothing of this run is written, holding up another run, while they start.
  virtual void BeforeStarts() {}
};

// The observers of one run; each event goes to every one of them, in the order they were
// added. It is no observer itself, so an event it does not pass on cannot be sent through
// it at all, rather than being dropped by an inherited empty default. It does not own them.
class RunObservers {
 public:
  RunObservers() = default;
  RunObservers(std::initializer_list<RunObserver*> observers) : observers_(observers) {}

  void Add(RunObserver& observer) { observers_.push_back(&observer); }
  void Add(const RunObservers& others) {
    observers_.insert(observers_.end(), others.observers_.begin(), others.observers_.end());
  }

  void LineStarted(const RunLine& line) const { Tell(&RunObserver::LineStarted, line); }
  void LineFinished(const RunLine& line) const { Tell(&RunObserver::LineFinished, line); }
  void LineSkipped(const RunLine& line) const { Tell(&RunObserver::LineSkipped, line); }
  void LineRepeated(const RunLine& original, const RunLine& copy) const {
    Tell(&RunObserver::LineRepeated, original, copy);
  }
  void LineCannotStart(const RunLine& line, std::string_view reason) const {
    Tell(&RunObserver::LineCannotStart, line, reason);
  }
  void LineStartFailed(const RunLine& line, std::string_view failure) const {
    Tell(&RunObserver::LineStartFailed, line, failure);
  }
  void LineTimeLimitReached(const RunLine& line) const {
    Tell(&RunObserver::LineTimeLimitReached, line);
  }
  void LineRepeatRefused(const RunLine& line, int32_t copies) const {
    Tell(&RunObserver::LineRepeatRefused, line, copies);
  }
  void LinesOver(std::string_view rerun_of, const std::vector<int32_t>& over) const {
    Tell(&RunObserver::LinesOver, rerun_of, over);
  }
  void Warning(std::string_view text) const { Tell(&RunObserver::Warning, text); }
  void LongerThanUsual(std::string_view text) const { Tell(&RunObserver::LongerThanUsual, text); }
  void EndForeseen(const ExpectedEnd& expected, std::string_view text) const {
    Tell(&RunObserver::EndForeseen, expected, text);
  }
  void PassEnded() const { Tell(&RunObserver::PassEnded); }
  void BeforeStarts() const { Tell(&RunObserver::BeforeStarts); }

 private:
  template <typename... Params, typename... Args>
  void Tell(void (RunObserver::*event)(Params...), const Args&... args) const {
    for (RunObserver* observer : observers_) (observer->*event)(args...);
  }

  std::vector<RunObserver*> observers_;
};

}  // namespace jr
