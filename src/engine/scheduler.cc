#include "engine/scheduler.h"

#include <algorithm>
#include <unordered_map>

#include "engine/job_line_runner.h"
#include "engine/result_files.h"
#include "engine/run_plan.h"
#include "model/number_text.h"
#include "platform/letter_case.h"
#include "platform/shell_exec_task.h"

namespace jr {
namespace {

using std::chrono::milliseconds;

constexpr milliseconds kPassPause(1000);

bool MeansRunning(std::string_view status) {
  return EqualsIgnoringCase(TrimBlanks(status), "running");
}

// What a step of a pass did. A failure's message is kept in the scheduler's failure_.
enum class Step {
  kNoChange,  // no line started, ended or finished
  kChanged,   // some did
  kStop,      // a stop-on-error line failed: the run ends, the lines behind it untouched
  kFailure,
};

// One call of RunScheduler: the loop that does what the plan decides. It starts the lines
// the plan offers, waits for programs to end, reads their verdicts and tells the plan.
class Scheduler {
 public:
  Scheduler(RunLines& collection, int32_t maximum, RunEnv& env, RunControl& control,
            const RunObservers& observers, std::string_view run_name,
            std::chrono::seconds job_time_limit)
      : plan_(collection, maximum),
        env_(env),
        control_(control),
        observers_(observers),
        run_name_(run_name),
        job_deadline_(job_time_limit.count() > 0 ? env.clock.Now() + job_time_limit
                                                 : TimePoint::max()) {}

  SchedulerOutcome Run() {
    SchedulerOutcome outcome = Passes();
    if (!LogEnded() && outcome.end != SchedulerOutcome::End::kFailure) outcome = Failed();
    observers_.PassEnded();
    return outcome;
  }

 private:
  SchedulerOutcome Passes() {
    EndNeverStarting();
    while (true) {
      if (control_.StopRequested()) return Interrupt(SchedulerOutcome::End::kInterrupted);
      now_ = env_.clock.Now();
      if (now_ >= job_deadline_) return Interrupt(SchedulerOutcome::End::kTimeLimit);
      next_deadline_ = job_deadline_;
      const Step finished = FinishEnded();
      if (finished == Step::kFailure) return Failed();
      if (finished == Step::kStop) return Outcome(SchedulerOutcome::End::kStopOnError);
      const Step started = StartWhatMay();
      if (!LogEnded() || started == Step::kFailure) return Failed();
      if (plan_.Over()) return Outcome(SchedulerOutcome::End::kAllOver);
      observers_.PassEnded();
      if (finished == Step::kChanged || started == Step::kChanged) continue;
      // A repeat copy that waits for its delay is no line that waits for ever: the pause
      // ends when it may start, or earlier when a child ends.
      const TimePoint delayed = plan_.NextDelayedStart(now_);
      if (plan_.running() == 0 && delayed == TimePoint::max()) {
        // Nothing runs and nothing may start: only lines that wait for ever are left.
        if (!EndNeverStarting()) {
          failure_ = "no waiting job line can ever start";
          return Failed();
        }
        continue;
      }
      next_deadline_ = std::min(next_deadline_, delayed);
      control_.Pause(PauseToNextDeadline());
    }
  }

  static SchedulerOutcome Outcome(SchedulerOutcome::End end) {
    SchedulerOutcome outcome;
    outcome.end = end;
    return outcome;
  }

  SchedulerOutcome Failed() const {
    SchedulerOutcome outcome = Outcome(SchedulerOutcome::End::kFailure);
    outcome.failure = failure_;
    return outcome;
  }

  // Starts every line the plan offers; a line whose program cannot be started ends as
  // failed. kChanged when the plan offered any line, kFailure on a failure.
  Step StartWhatMay() {
    Step step = Step::kNoChange;
    for (RunLine* line : plan_.Startable(now_)) {
      if (step == Step::kNoChange) observers_.BeforeStarts();
      step = Step::kChanged;
      const Result<JobLineStart> started = StartJobLine(*line, env_, run_name_);
      if (!Fail(started.status)) return Step::kFailure;
      if (!started.value.started) {
        EndUnstarted(*line);
        const std::string& failure = started.value.failure;
        if (!failure.empty()) NoteInLog(*line, "jobrunner: " + failure + "\n");
        if (!failure.empty()) observers_.LineStartFailed(*line, failure);
        observers_.LineFinished(*line);
        continue;
      }
      plan_.Started(*line);
      if (line->definition().time_limit > 0) {
        deadlines_[line] = env_.clock.Now() + std::chrono::seconds(line->definition().time_limit);
      }
      observers_.LineStarted(*line);
    }
    return step;
  }

  // Finishes the running lines whose programs have ended, in collection order; watches the
  // time limits of the others. kChanged when any line finished; kStop when a stop-on-error
  // line failed (the lines after it are left for no one); kFailure on a failure.
  Step FinishEnded() {
    Step step = Step::kNoChange;
    // The lines running at the start of the step: finishing one starts none.
    for (RunLine* running : plan_.Running()) {
      RunLine& line = *running;
      if (!IsJobLineFinished(line, env_)) {
        if (line.definition().time_limit > 0) WatchTimeLimit(line);
        continue;
      }
      step = Finish(line);
      if (step != Step::kChanged) return step;
    }
    return step;
  }

  // The running line has finished: reads its verdict, tells the plan, records the line and
  // reports what followed from it. kChanged, kStop when the line stops the run, or kFailure.
  Step Finish(RunLine& line) {
    line.SetStopTime(env_.clock.Now());
    bool failed = true;
    std::optional<JobLineRefs> status_repeat;
    if (line.TimeLimitReached()) {
      // Whatever the ended program left in its status file is no verdict. The note goes to
      // the end of the log only now that the program can no longer write to it.
      deadlines_.erase(&line);
      NoteInLog(line, TimeLimitLogText(line.definition().time_limit));
    } else {
      // Read again, not taken from IsJobLineFinished: a program may write its verdict and
      // end between that read and the poll that found it gone.
      const LineVerdict verdict =
          JudgeLine(line, ReadStatusLine(env_.file_system, line.StatusFileName()));
      failed = verdict.failed;
      if (verdict.repeat) {
        Result<JobLineRefs> repeat = ReadJobLineRefs(*verdict.repeat);
        // A status line whose entry lies outside the job line numbers ends the run; the
        // line itself is over, failed.
        if (!repeat.ok()) {
          static_cast<void>(plan_.Finished(line, true));
          Fail(repeat.status);
          return Step::kFailure;
        }
        status_repeat = std::move(repeat.value);
      }
    }
    const Result<RunPlan::Consequences> next =
        plan_.Finished(line, failed, status_repeat ? &*status_repeat : nullptr);
    if (!Fail(next.status)) return Step::kFailure;
    for (const RepeatRefused& refused : next.value.refused) {
      NoteInLog(line, "jobrunner: " + RepeatRefusedText(refused.line->JobLineNr(), refused.copies) +
                          "\n");
    }
    unlogged_.push_back(&line);
    observers_.LineFinished(line);
    for (const RepeatRefused& refused : next.value.refused) {
      observers_.LineRepeatRefused(*refused.line, refused.copies);
    }
    for (const RunLine* other : next.value.skipped) observers_.LineSkipped(*other);
    for (const RepeatCopyMade& copy : next.value.repeated) {
      observers_.LineRepeated(*copy.original, *copy.copy);
    }
    return next.value.stop ? Step::kStop : Step::kChanged;
  }

  // Appends the runner's own note to the end of the line's log file, beside the program's
  // output, where the administrators' report shows it. A line without a log file of its
  // own gets none.
  void NoteInLog(const RunLine& line, const std::string& text) {
    if (line.LogFileName().empty()) return;
    if (Status noted = env_.file_system.AppendText(line.LogFileName(), text); !noted.ok()) {
      observers_.Warning(noted.message);
    }
  }

  void EndUnstarted(RunLine& line) {
    plan_.EndedUnstarted(line);
    StampUnstarted(line, env_.clock);
    unlogged_.push_back(&line);
  }

  // Writes the metadata of the lines ended since the last call. A pass writes it only after
  // its starts: its first row takes the history's writer lock, which no other run should
  // wait for while programs start, and the next line's start need not wait for the rows.
  // False on a failure, kept in failure_.
  bool LogEnded() {
    const std::vector<RunLine*> ended = std::move(unlogged_);
    unlogged_.clear();
    for (const RunLine* line : ended) {
      if (!Fail(LogLineMetadata(*line, env_.metadata))) return false;
    }
    return true;
  }

  // Keeps the first failure for the outcome; true when `status` is none.
  bool Fail(const Status& status) {
    if (!status.ok() && failure_.empty()) failure_ = status.message;
    return status.ok();
  }

  // Ends every line that can never start as failed to start; true when there was one.
  bool EndNeverStarting() {
    bool ended = false;
    for (const LineThatCannotStart& blocked : plan_.NeverStarting()) {
      EndUnstarted(*blocked.line);
      observers_.LineCannotStart(*blocked.line, blocked.reason);
      ended = true;
    }
    return ended;
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
    line.SetTimeLimitReached(true);
    env_.launcher.BeginTerminate(line.ProcessId(), kStopGrace);
    observers_.LineTimeLimitReached(line);
  }

  // The pause, ended early at the nearest deadline (rounded up, so that the next pass
  // finds it passed).
  milliseconds PauseToNextDeadline() const {
    if (next_deadline_ == TimePoint::max()) return kPassPause;
    const auto left = std::chrono::ceil<milliseconds>(next_deadline_ - env_.clock.Now());
    return std::clamp(left, milliseconds(0), kPassPause);
  }

  // A stop from outside or the job's time limit: no more starts, every running child and
  // its process tree ends. A line whose program had ended by itself keeps its own verdict;
  // the others are recorded as failed, each when its program was found gone, not when the
  // last tree was.
  SchedulerOutcome Interrupt(SchedulerOutcome::End end) {
    now_ = env_.clock.Now();
    // Its lists may stop the run or make copies: the run ends either way, so only a failure
    // matters, and that is kept in failure_.
    static_cast<void>(FinishEnded());
    static_cast<void>(LogEnded());
    for (RunLine* line : plan_.Running()) {
      // A line ended at its time limit keeps the forced end it was given then.
      if (!line->TimeLimitReached()) env_.launcher.BeginTerminate(line->ProcessId(), kStopGrace);
    }
    while (true) {
      for (RunLine* running : plan_.Running()) {
        RunLine& line = *running;
        if (!JobLineProgramEnded(line, env_.launcher)) continue;
        line.SetStopTime(env_.clock.Now());
        plan_.Stopped(line);
        if (line.TimeLimitReached())
          NoteInLog(line, TimeLimitLogText(line.definition().time_limit));
        Fail(LogLineMetadata(line, env_.metadata));
        observers_.LineFinished(line);
      }
      if (plan_.running() == 0) break;
      observers_.PassEnded();
      // A second stop request ends the pause early; the graces still run their course.
      control_.Pause(kPassPause);
    }
    // What is left: children of ended programs, programs found finished by their status
    // lines that still run.
    env_.launcher.TerminateAll(kStopGrace);
    if (!failure_.empty()) return Failed();
    return Outcome(end);
  }

  RunPlan plan_;
  RunEnv& env_;
  RunControl& control_;
  const RunObservers& observers_;
  const std::string_view run_name_;
  const TimePoint job_deadline_;
  // The clock at the start of the pass, and the nearest deadline found in it.
  TimePoint now_{};
  TimePoint next_deadline_ = TimePoint::max();
  // Running lines with a time limit, and when it is reached.
  std::unordered_map<const RunLine*, TimePoint> deadlines_;
  // Ended lines whose metadata is still to be written (LogEnded).
  std::vector<RunLine*> unlogged_;
  std::string failure_;
};

}  // namespace

SchedulerOutcome RunScheduler(RunLines& collection, int32_t maximum, RunEnv& env,
                              RunControl& control, const RunObservers& observers,
                              std::string_view run_name, std::chrono::seconds job_time_limit) {
  return Scheduler(collection, maximum, env, control, observers, run_name, job_time_limit).Run();
}

std::string TimeLimitLogText(int32_t seconds) {
  return "jobrunner: time limit of " + std::to_string(seconds) +
         " s reached; the program was ended.\n";
}

std::string RepeatRefusedText(int32_t line_number, int32_t copies) {
  return "job line " + std::to_string(line_number) + ": repeated " + std::to_string(copies) +
         " times; no further repeat";
}

bool IsJobLineFinished(RunLine& line, RunEnv& env) {
  // An ended program leaves its exit status; its verdict is read when the line finishes.
  if (JobLineProgramEnded(line, env.launcher)) return true;
  const std::string status = ReadStatusLine(env.file_system, line.StatusFileName());
  if (status.empty() || MeansRunning(status)) return false;
  // The verdict is in while the program still runs: it is not polled again, and the
  // launcher reaps it whenever it ends.
  env.launcher.Forget(line.ProcessId());
  return true;
}

LineVerdict JudgeLine(const RunLine& line, std::string_view status) {
  // Without a status file the program's own exit status is all there is to go by.
  if (TrimBlanks(line.StatusFileName()).empty()) return {FailedByExitStatus(line), std::nullopt};
  if (!status.empty() && EqualsIgnoringCase(TrimBlanks(status), "ok")) return {false, std::nullopt};
  if (status != "failure" && status != "running") return {true, std::string(status)};
  return {true, std::nullopt};
}

}  // namespace jr
