#include "engine/scheduler.h"

#include <algorithm>
#include <unordered_map>

#include "engine/job_line_runner.h"
#include "engine/result_files.h"
#include "model/number_text.h"
#include "platform/shell_exec_task.h"

namespace jr {
namespace {

using std::chrono::milliseconds;

constexpr milliseconds kPassPause(1000);
// How long children get to end after a polite request when a run is stopped.
constexpr milliseconds kStopGrace(10000);

bool EqualsIgnoringCase(std::string_view text, std::string_view word) {
  if (text.size() != word.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != word[i]) return false;
  }
  return true;
}

bool MeansRunning(std::string_view status) {
  return EqualsIgnoringCase(TrimBlanks(status), "running");
}

// One call of RunScheduler.
class Scheduler {
 public:
  Scheduler(RunLines& collection, int32_t maximum, RunEnv& env, RunHooks& hooks,
            std::string_view run_name, std::chrono::seconds job_time_limit)
      : collection_(collection),
        maximum_(maximum),
        env_(env),
        hooks_(hooks),
        run_name_(run_name),
        job_deadline_(job_time_limit.count() > 0 ? env.clock.Now() + job_time_limit
                                                 : TimePoint::max()) {}

  SchedulerOutcome Run() {
    if (!EndLinesThatCanNeverStart()) return Failed();
    bool all_done = false;
    bool stop = false;
    while (!all_done && !stop) {
      if (hooks_.StopRequested()) return Interrupt(SchedulerOutcome::End::kInterrupted);
      now_ = env_.clock.Now();
      if (now_ >= job_deadline_) return Interrupt(SchedulerOutcome::End::kTimeLimit);
      next_deadline_ = job_deadline_;
      all_done = true;
      bool started_any = false;
      // By position, so that repeat copies appended during the pass are reached in it.
      for (int position = 1; position <= collection_.Count(); ++position) {
        RunLine& line = *collection_.Item(position);
        if (line.AlreadyRun()) continue;
        if (!line.IsRunning()) {
          all_done = false;
          bool started = false;
          if (!TryStart(line, &started)) return Failed();
          started_any = started_any || started;
          continue;
        }
        if (!IsJobLineFinished(line, env_)) {
          all_done = false;
          if (line.TimeLimit() > 0) WatchTimeLimit(line);
          continue;
        }
        bool keep_going = true;
        if (!Finish(line, all_done, stop, keep_going)) return Failed();
        if (!keep_going) break;
      }
      if (all_done) break;
      // Nothing started and nothing runs: only lines that wait for ever can be left, or
      // lines a line later in the collection has just released.
      if (!stop && !started_any && running_ == 0 && !EndLinesThatCanNeverStart()) {
        return Failed();
      }
      // With nothing running no child can change anything; the pause then only lets a
      // window process its events.
      hooks_.Pause(running_ > 0 ? PauseToNextDeadline() : milliseconds(0));
    }
    SchedulerOutcome outcome;
    outcome.end = stop ? SchedulerOutcome::End::kStopOnError : SchedulerOutcome::End::kAllOver;
    return outcome;
  }

 private:
  SchedulerOutcome Failed() const {
    SchedulerOutcome outcome;
    outcome.end = SchedulerOutcome::End::kFailure;
    outcome.failure = failure_;
    return outcome;
  }

  // Starts the line when its wait list allows and a slot is free; false on a failure.
  bool TryStart(RunLine& line, bool* started) {
    *started = false;
    const Result<bool> satisfied = WaitListSatisfied(line, collection_);
    if (!satisfied.ok()) return Fail(satisfied.status);
    if (!satisfied.value || running_ >= maximum_) return true;
    const Result<bool> start = StartJobLine(line, env_, run_name_);
    if (!start.ok()) return Fail(start.status);
    *started = start.value;
    if (*started) {
      ++running_;
      if (line.TimeLimit() > 0) {
        deadlines_[&line] = env_.clock.Now() + std::chrono::seconds(line.TimeLimit());
      }
      hooks_.LineStarted(line);
    } else if (line.AlreadyRun()) {
      hooks_.LineFinished(line);
    }
    return true;
  }

  // The running line has finished: records its outcome and applies its lists. Clears
  // `keep_going` when the pass must end here (a stop-on-error line failed).
  bool Finish(RunLine& line, bool& all_done, bool& stop, bool& keep_going) {
    --running_;
    line.setIsRunning(false);
    line.setAlreadyRun(true);
    line.SetStopTime();

    std::vector<RepeatCopyMade> made;
    std::vector<RunLine*> skipped;
    bool status_repeat = false;
    bool failed = true;
    if (line.TimeLimitReached()) {
      // Whatever the ended program left in its status file is no verdict. The note goes to
      // the end of the log only now that the program can no longer write to it.
      deadlines_.erase(&line);
      if (!line.LogFileName().empty()) {
        if (Status noted =
                env_.file_system.AppendText(line.LogFileName(), TimeLimitLogText(line.TimeLimit()));
            !noted.ok()) {
          hooks_.Warning(noted.message);
        }
      }
    } else {
      const Result<bool> verdict = JobLineFailed(line, collection_, status_repeat, env_, &made);
      if (!verdict.ok()) return Fail(verdict.status);
      failed = verdict.value;
    }
    bool applied = false;
    if (failed) {
      line.setErrorOccurred(true);
      if (line.StopOnError()) {
        stop = true;
        keep_going = false;
        if (!LogMetadata(line)) return false;
        Report(line, skipped, made);
        return true;
      }
      if (status_repeat) all_done = false;
      if (!ApplyLists(line.SkipOnError(), line.RepeatOnError(), skipped, made, applied)) {
        return false;
      }
    } else if (!ApplyLists(line.SkipOnSuccess(), line.RepeatOnSuccess(), skipped, made, applied)) {
      return false;
    }
    if (applied) all_done = false;
    if (!LogMetadata(line)) return false;
    Report(line, skipped, made);
    return true;
  }

  // Skips and repeats the lines a finished line's lists name; `applied` tells whether the
  // repeat list was applied. False on a failure.
  bool ApplyLists(std::string_view skip, std::string_view repeat, std::vector<RunLine*>& skipped,
                  std::vector<RepeatCopyMade>& made, bool& applied) {
    if (!Fail(SkipJobLines(skip, collection_, &skipped))) return false;
    const Result<bool> repeated = ApplyRepeatList(repeat, collection_, &made);
    applied = repeated.value;
    return Fail(repeated.status);
  }

  bool LogMetadata(RunLine& line) { return Fail(line.LogProcessMetaData()); }

  // Keeps the first failure for the outcome; true when `status` is none.
  bool Fail(const Status& status) {
    if (!status.ok() && failure_.empty()) failure_ = status.message;
    return status.ok();
  }

  void Report(const RunLine& line, const std::vector<RunLine*>& skipped,
              const std::vector<RepeatCopyMade>& made) {
    hooks_.LineFinished(line);
    for (const RunLine* other : skipped) hooks_.LineSkipped(*other);
    for (const RepeatCopyMade& copy : made) hooks_.LineRepeated(*copy.original, *copy.copy);
  }

  bool EndLinesThatCanNeverStart() {
    const Result<std::vector<LineThatCannotStart>> lines =
        LinesThatCanNeverStart(collection_, maximum_);
    if (!Fail(lines.status)) return false;
    for (const LineThatCannotStart& blocked : lines.value) {
      if (!Fail(EndAsFailedToStart(*blocked.line))) return false;
      hooks_.LineCannotStart(*blocked.line, blocked.reason);
    }
    return true;
  }

  // Ends the running line's program once its time limit has passed; else keeps its
  // deadline for the pause.
  void WatchTimeLimit(RunLine& line) {
    if (line.TimeLimitReached()) return;
    const auto found = deadlines_.find(&line);
    if (found == deadlines_.end()) return;
    if (now_ < found->second) {
      next_deadline_ = std::min(next_deadline_, found->second);
      return;
    }
    line.setTimeLimitReached(true);
    env_.launcher.BeginTerminate(line.ProcessId(), kStopGrace);
    hooks_.LineTimeLimitReached(line);
  }

  // The pass pause, ended early at the nearest deadline (rounded up, so that the next pass
  // finds it passed).
  milliseconds PauseToNextDeadline() const {
    if (next_deadline_ == TimePoint::max()) return kPassPause;
    const auto left = std::chrono::ceil<milliseconds>(next_deadline_ - env_.clock.Now());
    return std::clamp(left, milliseconds(0), kPassPause);
  }

  // A stop from outside or the job's time limit: no more starts, every running child and
  // its process tree ends, and the lines that were running are recorded as failed.
  SchedulerOutcome Interrupt(SchedulerOutcome::End end) {
    env_.launcher.TerminateAll(kStopGrace);
    for (RunLine& line : collection_) {
      if (!line.IsRunning()) continue;
      line.setIsRunning(false);
      line.setAlreadyRun(true);
      line.setErrorOccurred(true);
      line.SetStopTime();
      Fail(line.LogProcessMetaData());
      hooks_.LineFinished(line);
    }
    running_ = 0;
    if (!failure_.empty()) return Failed();
    SchedulerOutcome outcome;
    outcome.end = end;
    return outcome;
  }

  RunLines& collection_;
  const int32_t maximum_;
  RunEnv& env_;
  RunHooks& hooks_;
  const std::string_view run_name_;
  const TimePoint job_deadline_;
  // The clock at the start of the pass, and the nearest deadline found in it.
  TimePoint now_{};
  TimePoint next_deadline_ = TimePoint::max();
  // Running lines with a time limit, and when it is reached.
  std::unordered_map<const RunLine*, TimePoint> deadlines_;
  int32_t running_ = 0;
  std::string failure_;
};

}  // namespace

SchedulerOutcome RunScheduler(RunLines& collection, int32_t maximum, RunEnv& env, RunHooks& hooks,
                              std::string_view run_name, std::chrono::seconds job_time_limit) {
  return Scheduler(collection, maximum, env, hooks, run_name, job_time_limit).Run();
}

std::string TimeLimitLogText(int32_t seconds) {
  return "jobrunner: time limit of " + std::to_string(seconds) +
         " s reached; the program was ended.\n";
}

bool IsJobLineFinished(RunLine& line, RunEnv& env) {
  std::string status = ReadStatusLine(env.file_system, line.StatusFileName());
  if (status.empty() || MeansRunning(status)) {
    return JobLineProgramEnded(line, env.launcher);
  }
  // The verdict is in while the process may still run; it is not polled again, and the
  // launcher reaps it whenever it ends.
  env.launcher.Forget(line.ProcessId());
  return true;
}

Result<bool> JobLineFailed(RunLine& line, RunLines& collection, bool& repeat_applied, RunEnv& env,
                           std::vector<RepeatCopyMade>* made) {
  repeat_applied = false;
  if (TrimBlanks(line.StatusFileName()).empty()) return FailedByExitStatus(line);
  std::string status = ReadStatusLine(env.file_system, line.StatusFileName());
  if (!status.empty() && EqualsIgnoringCase(TrimBlanks(status), "ok")) return false;
  if (status != "failure" && status != "running") {
    const Status repeated = RepeatJobLines(collection, status, made);
    repeat_applied = true;
    if (!repeated.ok()) return repeated;
  }
  return true;
}

PauseFn WaitForChildPause(ProcessLauncher& launcher) {
  return [&launcher](milliseconds longest) { launcher.WaitForExit(longest); };
}

}  // namespace jr
