#include "run/run_session.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <utility>

#include "engine/command_line_builder.h"
#include "insight/expected_end.h"
#include "insight/runs_in_progress.h"
#include "insight/usual_durations.h"
#include "model/job_line.h"
#include "model/job_rules.h"
#include "notify/longer_than_usual.h"
#include "notify/notices.h"
#include "notify/run_metrics.h"
#include "platform/file_digest.h"
#include "platform/run_lock.h"
#include "run/interrupted_run.h"
#include "run/job_lock.h"
#include "run/job_schedule.h"
#include "run/preflight.h"
#include "run/system_env.h"

namespace jr {
namespace {

using std::chrono::milliseconds;

// As the first line starts and after each line's end, tells when the run is expected to
// end, foreseen from the job's usual durations on the run's own clock. The run history
// keeps the figure, so that whoever asks how the run goes need not foresee it again.
class ExpectedEndTeller final : public RunObserver, public RunWatcher {
 public:
  ExpectedEndTeller(std::unique_ptr<ExpectedEndWatch> watch, const Clock& clock,
                    const RunObservers& told)
      : watch_(std::move(watch)), clock_(clock), told_(told) {}

  void LineStarted(const RunLine& line) override {
    watch_->LineStarted(line);
    if (!told_once_) Tell();
  }
  void LineFinished(const RunLine& line) override {
    watch_->LineFinished(line);
    if (watch_->Going()) Tell();
  }
  void LineSkipped(const RunLine& line) override { watch_->LineSkipped(line); }
  void LineRepeated(const RunLine& original, const RunLine& copy) override {
    watch_->LineRepeated(original, copy);
  }
  void LineCannotStart(const RunLine& line, std::string_view reason) override {
    watch_->LineCannotStart(line, reason);
  }
  void RunBegan(const RunResult& run, TimePoint, RunHistory* history,
                const RunLines& lines) override {
    run_id_ = run.run_id;
    history_ = history;
    watch_->Follow(&lines);
  }
  void RunEnded(const RunResult&, TimePoint, const RunLines&,
                const std::vector<int32_t>&) override {
    // The run's lines go with the run.
    watch_->Follow(nullptr);
  }

 private:
  void Tell() {
    const ExpectedEnd expected = watch_->Expected();
    told_.EndForeseen(expected, ExpectedEndText(expected, clock_.Now()));
    told_once_ = true;
    // Goes with the pass's rows. A history that cannot be written is told of by the run's
    // recorder; the figure is then foreseen by whoever asks, as for a run that kept none.
    if (history_ != nullptr) (void)history_->KeepExpectedEnd(run_id_, expected);
  }

  std::unique_ptr<ExpectedEndWatch> watch_;
  const Clock& clock_;
  RunObservers told_;
  bool told_once_ = false;
  std::string run_id_;
  RunHistory* history_ = nullptr;
};

// The watch of the run's expected end, from the usual durations of the job's earlier runs,
// read once before the run has a row of its own; none without them.
std::unique_ptr<ExpectedEndWatch> WatchForExpectedEnd(const RunSessionRequest& request,
                                                      int32_t maximum, const Clock& clock) {
  if (request.job.FileName.empty() || request.history_database.empty()) return nullptr;
  Result<std::unique_ptr<RunHistory>> history =
      RunHistory::OpenForReading(request.history_database);
  if (!history.ok() || !history.value) return nullptr;
  Result<UsualDurations> usual =
      ReadUsualDurations(*history.value, AbsoluteFileName(request.job.FileName), clock.Now());
  if (!usual.ok() || usual.value.empty()) return nullptr;
  return std::make_unique<ExpectedEndWatch>(maximum, std::move(usual.value), clock);
}

// Keeps the job's metrics file: the run going on (with the previous run's figures) from its
// start, the run's own figures from its end.
class MetricsWriter final : public RunWatcher {
 public:
  MetricsWriter(std::string folder, std::string job_file, const Clock& clock,
                const RunObservers& told)
      : folder_(std::move(folder)), job_file_(std::move(job_file)), clock_(clock), told_(told) {}

  void RunBegan(const RunResult&, TimePoint, RunHistory* history, const RunLines&) override {
    const std::string job = AbsoluteFileName(job_file_);
    Write(MetricsText(job, true, history ? LastRunFromHistory(*history, job) : std::nullopt));
  }
  void RunEnded(const RunResult& run, TimePoint started, const RunLines& lines,
                const std::vector<int32_t>& over) override {
    Write(MetricsText(AbsoluteFileName(job_file_), false,
                      LastRunOf(lines, over, started, clock_.Now(), run.report.error_level)));
  }

 private:
  void Write(const std::string& text) {
    if (Status written = WriteMetricsFile(folder_, job_file_, text); !written.ok()) {
      told_.Warning("the metrics were not written: " + written.message);
    }
  }

  std::string folder_;
  std::string job_file_;
  const Clock& clock_;
  RunObservers told_;
};

// Tells the user, and the notice's receivers when the job names any, that the run has gone
// on longer than usual: once, when the run's control sees the moment pass. The notice goes
// from a thread of its own; the run goes on at once, and hears of the sending at its end.
class LongerThanUsualWatch final : public RunWatcher {
 public:
  LongerThanUsualWatch(const RunRequest& request, LongerThanUsualRule rule, RunEnv& env,
                       const RunObservers& told)
      : request_(request), rule_(rule), env_(env), told_(told) {}

  const LongerThanUsualRule& rule() const { return rule_; }

  void RunBegan(const RunResult& run, TimePoint started, RunHistory* history,
                const RunLines&) override {
    run_id_ = run.run_id;
    started_ = started;
    history_ = history;
  }
  void RunEnded(const RunResult&, TimePoint, const RunLines&,
                const std::vector<int32_t>&) override {
    for (const std::string& warning : sender_.Wait()) told_.Warning(warning);
  }

  void Tell() {
    const TimePoint now = env_.clock.Now();
    const std::string text =
        LongerThanUsualText(rule_, std::chrono::duration_cast<milliseconds>(now - started_));
    told_.LongerThanUsual(text);
    if (!request_.notify.any() || history_ == nullptr) return;
    const std::string job = AbsoluteFileName(request_.job_file);
    RunInProgress live;
    live.pid = CurrentProcessId();
    if (Result<std::optional<RunSummary>> run = history_->FindRun(job, run_id_);
        run.ok() && run.value) {
      live.run = std::move(*run.value);
    }
    if (Result<std::vector<std::vector<RunLineRecord>>> lines = history_->Lines({run_id_});
        lines.ok() && !lines.value.empty()) {
      live.lines = std::move(lines.value.front());
    }
    const Result<ExpectedEnd> expected = ExpectedEndOf(request_.history_database, live, now);
    sender_.Send(request_.notify,
                 LongerThanUsualNotice(job, request_.job_description, text, live,
                                       expected.ok() ? expected.value : ExpectedEnd{}, now),
                 env_);
  }

 private:
  const RunRequest& request_;
  LongerThanUsualRule rule_;
  RunEnv& env_;
  RunObservers told_;
  std::string run_id_;
  TimePoint started_{};
  RunHistory* history_ = nullptr;
  NoticeSender sender_;
};

// The rule of the job's earlier runs that says when this one takes longer than usual; none
// without enough of them.
std::optional<LongerThanUsualRule> LongerThanUsualRuleFor(const RunRequest& request,
                                                          TimePoint now) {
  if (request.job_file.empty() || request.history_database.empty()) return std::nullopt;
  Result<std::unique_ptr<RunHistory>> history =
      RunHistory::OpenForReading(request.history_database);
  if (!history.ok() || !history.value) return std::nullopt;
  Result<std::optional<LongerThanUsualRule>> rule =
      ReadLongerThanUsualRule(*history.value, AbsoluteFileName(request.job_file), now);
  return rule.ok() ? rule.value : std::nullopt;
}

RunSessionOutcome Refused(Refusal::Kind kind, std::string text) {
  RunSessionOutcome outcome;
  outcome.refusals.push_back({kind, std::move(text)});
  return outcome;
}

// What the job itself says against its run, before anything outside it is looked at.
std::vector<Refusal> JobRefusals(const CheckedJob& checked, const RunRequest& request) {
  std::vector<Refusal> refusals;
  for (const std::string& fault : checked.faults) {
    refusals.push_back({Refusal::Kind::kFault, fault});
  }
  if (refusals.empty()) {
    if (std::string unpassable = UnpassableName(request); !unpassable.empty()) {
      refusals.push_back({Refusal::Kind::kOther, std::move(unpassable)});
    }
  }
  return refusals;
}

// Said first, also when the job is refused: a job that never waits as it was meant to is
// worth knowing of before its faults are mended.
void TellJobWarnings(const RunSessionRequest& session, RunSessionObserver& observer) {
  for (const std::string& warning : JobWarnings(session.job, session.file_warnings)) {
    observer.Warning(warning);
  }
}

RunRequest RequestOf(const RunSessionRequest& session, const CheckedJob& checked) {
  RunRequest request = RunRequestFor(session.job, checked.settings, session.from_command_line);
  request.history_database = session.history_database;
  request.rerun = session.rerun;
  request.lines_prepared = session.lines_prepared;
  return request;
}

}  // namespace

std::vector<std::string> JobWarnings(const JobDocument& job,
                                     const std::vector<std::string>& file_warnings) {
  std::vector<std::string> warnings = file_warnings;
  for (std::string& warning : JobLineListWarnings(job.table, job.table.LineCount())) {
    warnings.push_back(std::move(warning));
  }
  // A schedule is the timer's business: what is wrong with it is said, and the run goes on.
  for (std::string& fault : ScheduleFaults(job.schedule)) warnings.push_back(std::move(fault));
  if (const std::string& expression = job.schedule.Schedule; !expression.empty()) {
    if (std::string problem = ScheduleProblem(expression, ReadCalendar(expression, 1));
        !problem.empty()) {
      warnings.push_back(std::move(problem));
    }
  }
  // Whoever may read the job file has the password; the run still passes it on.
  for (const RunRow& row : RunRows(job.table, job.table.LineCount())) {
    if (HoldsClearPassword(job.table.Text(kColOptions, row.row))) {
      warnings.push_back("job line " + std::to_string(row.number) +
                         ": a password in clear text; keep it as a credential: jobrunner "
                         "--credential set NAME");
    }
  }
  return warnings;
}

RunSessionOutcome RunSession(const RunSessionRequest& session, RunEnv& env, RunControl& control,
                             RunSessionObserver& observer) {
  RunSessionOutcome outcome;
  const CheckedJob checked = CheckJob(session.job);
  RunRequest request = RequestOf(session, checked);
  outcome.job_time_limit = request.job_time_limit;
  // On a day off of the job's calendar nothing starts, and nothing is said: the job's
  // faults and warnings wait for its next working day. A calendar that does not read
  // refuses the run: one that silently stopped working would run the job on days off.
  if (!session.ignore_calendar) {
    const Result<std::string> day_off = DayOffText(session.job, env.clock.Now());
    if (!day_off.ok()) {
      return Refused(Refusal::Kind::kOther, day_off.message() + "; the job was not run");
    }
    if (!day_off.value.empty()) {
      outcome.end = RunSessionOutcome::End::kDayOff;
      outcome.day_off = day_off.value;
      if (Status kept = RecordEmptyRun(request, env, RunStatus::kDayOff); !kept.ok()) {
        observer.Warning("the day off is left out of the run history: " + kept.message);
      }
      return outcome;
    }
  }

  TellJobWarnings(session, observer);
  outcome.refusals = JobRefusals(checked, request);
  if (!outcome.refusals.empty()) return outcome;

  // What would stop the run halfway refuses it now; the rest is said before it starts.
  for (const PreflightProblem& problem :
       PreflightProblems(session.job.table, session.job.table.LineCount(), env,
                         session.history_database, session.job.TempLogDir)) {
    if (problem.refuses) {
      outcome.refusals.push_back({Refusal::Kind::kPreflight, problem.text});
    } else {
      observer.Warning(problem.text);
    }
  }
  if (!outcome.refusals.empty()) return outcome;
  if (const std::string failure = env.registry.ReadFailure(); !failure.empty()) {
    observer.Warning(failure);
  }

  OverlapPolicy policy = checked.settings.overlap;
  if (policy == OverlapPolicy::kWait && !session.may_wait) policy = OverlapPolicy::kRefuse;
  // A run started from the command line was asked for when its process was made: runs that
  // cron or a script starts a moment apart keep their order however long each takes to load.
  const TimePoint asked =
      session.from_command_line ? CurrentProcessStart() : std::chrono::system_clock::now();
  Result<JobLock> lock = TakeJobLock(
      session.history_database, session.job.FileName, policy, asked,
      [&observer](const RunLockHolder& holder) { observer.WaitingFor(holder); },
      [&control] { return control.StopRequested(); });
  if (!lock.ok()) return Refused(Refusal::Kind::kOther, lock.message());
  if (lock.value.busy) {
    outcome.end = RunSessionOutcome::End::kBusy;
    outcome.busy = lock.value.busy;
    // An unattended run that did not happen is news for whoever reads the history.
    if (session.from_command_line) {
      if (Status kept = RecordEmptyRun(request, env, RunStatus::kRefused); !kept.ok()) {
        observer.Warning("the refused run is left out of the run history: " + kept.message);
      }
    }
    return outcome;
  }
  if (lock.value.stopped) {
    outcome.end = RunSessionOutcome::End::kStopped;
    return outcome;
  }
  request.lock = &lock.value.lock;
  // Holding the job's lock, this run knows that every earlier run of the job without an end
  // lost its runner; those nobody told of yet are told of now.
  if (lock.value.lock.held()) {
    ReportDeadRuns(session.history_database, AbsoluteFileName(request.job_file), env,
                   [&observer](std::string_view text) { observer.Warning(text); });
  }

  // What watches the run: its observers hear the run's events in this order.
  LineTroubleCollector troubles;
  RunObservers observers{&observer, &troubles};
  std::optional<ExpectedEndTeller> teller;
  if (std::unique_ptr<ExpectedEndWatch> watch =
          WatchForExpectedEnd(session, checked.settings.maximum, env.clock)) {
    teller.emplace(std::move(watch), env.clock, RunObservers{&observer});
    observers.Add(*teller);
    request.watchers.push_back(&*teller);
  }
  std::optional<MetricsWriter> metrics;
  if (!request.job_file.empty()) {
    if (std::string folder = MetricsFolder(env.registry); !folder.empty()) {
      metrics.emplace(std::move(folder), request.job_file, env.clock, RunObservers{&observer});
      request.watchers.push_back(&*metrics);
    }
  }
  std::optional<InterruptionGuard> guard;
  if (!request.job_file.empty()) {
    guard.emplace(env.launcher, request.job_file);
    request.watchers.push_back(&*guard);
  }
  // The scheduler's pauses end at the moment the run takes longer than usual, so that it is
  // told then, whether a line ends or not.
  std::optional<LongerThanUsualWatch> longer;
  std::optional<LongerThanUsualControl> watched;
  if (std::optional<LongerThanUsualRule> rule = LongerThanUsualRuleFor(request, env.clock.Now())) {
    longer.emplace(request, *rule, env, RunObservers{&observer});
    request.watchers.push_back(&*longer);
    watched.emplace(control, env.clock, env.clock.Now(), rule->after, [&] { longer->Tell(); });
  }
  RunControl& run_control = watched ? static_cast<RunControl&>(*watched) : control;

  outcome.run = RunJob(request, env, run_control, observers);
  if (!outcome.run.refused.empty()) return Refused(Refusal::Kind::kOther, outcome.run.refused);
  outcome.end = RunSessionOutcome::End::kRan;
  outcome.level = outcome.run.report.error_level;
  // A run whose reports were not written did not deliver what the job is for, whatever its
  // lines did.
  if (!outcome.run.report.missing_reports.empty()) {
    outcome.level = std::max(outcome.level, ErrorLevel::kErrors);
  }
  // A stop while the reports were made interrupted the run as much as one during the lines.
  if (control.StopRequested()) {
    outcome.stopped_during_reports =
        outcome.run.scheduler.end != SchedulerOutcome::End::kInterrupted;
    outcome.level = ErrorLevel::kFatal;
  }
  outcome.finished = FinishedRunOf(request, outcome.run, outcome.level, troubles.lines());
  observer.RunFinished(outcome);
  // Last, once the reports are there; what cannot be sent is a warning and changes nothing.
  SendFinishedNotice(request.notify, outcome.finished, env,
                     [&observer](std::string_view text) { observer.Warning(text); });
  return outcome;
}

RunSessionOutcome RunSessionOnThisMachine(const RunSessionRequest& request, Notifier& notifier,
                                          const std::function<bool()>& stop,
                                          RunSessionObserver& observer) {
  // A job that cannot run is refused before the machine's launcher setting is looked at.
  const CheckedJob checked = CheckJob(request.job);
  if (std::vector<Refusal> refusals = JobRefusals(checked, RequestOf(request, checked));
      !refusals.empty()) {
    TellJobWarnings(request, observer);
    RunSessionOutcome outcome;
    outcome.refusals = std::move(refusals);
    return outcome;
  }
  Result<std::unique_ptr<SystemEnv>> made = SystemEnv::Make(notifier);
  if (!made.ok()) return Refused(Refusal::Kind::kSetup, made.message());
  LauncherRunControl control(made.value->launcher(), stop);
  return RunSession(request, made.value->env(), control, observer);
}

}  // namespace jr
