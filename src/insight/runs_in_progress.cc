#include "insight/runs_in_progress.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>

#include "insight/usual_durations.h"
#include "jobfile/job_file.h"
#include "model/job.h"
#include "model/job_rules.h"
#include "store/run_lock_holder.h"

namespace jr {

namespace {

// Who holds a job's lock, asked once per job however many runs it left without an end.
struct LockState {
  bool known = false;  // false: the job file's name no longer resolves, no lock to ask
  std::optional<RunLockHolder> holder;  // none: no process holds the lock
};

// The runs without an end for which `keep` says so given their job's lock, with their lines.
Result<std::vector<RunInProgress>> RunsWithoutEndWhere(
    const std::string& database, const std::optional<std::string>& job_file,
    const std::function<bool(const RunSummary&, const LockState&)>& keep) {
  std::vector<RunInProgress> found;
  Result<std::unique_ptr<RunHistory>> history = RunHistory::OpenForReading(database);
  if (!history.ok()) return history.status;
  if (!history.value) return found;
  Result<std::vector<RunSummary>> runs = history.value->RunsWithoutEnd(job_file);
  if (!runs.ok()) return runs.status;
  std::map<std::string, LockState> locks;
  std::vector<std::string> ids;
  for (RunSummary& run : runs.value) {
    auto lock = locks.find(run.job_file);
    if (lock == locks.end()) {
      LockState state;
      if (Result<std::string> path = RunLockPath(database, run.job_file); path.ok()) {
        Result<std::optional<RunLockHolder>> of = RunLockHolderOf(path.value);
        if (!of.ok()) return of.status;
        state = {true, std::move(of.value)};
      }
      lock = locks.emplace(run.job_file, std::move(state)).first;
    }
    if (!keep(run, lock->second)) continue;
    ids.push_back(run.run_id);
    found.push_back({std::move(run), lock->second.holder ? lock->second.holder->pid : 0, {}});
  }
  Result<std::vector<std::vector<RunLineRecord>>> lines = history.value->Lines(ids);
  if (!lines.ok()) return lines.status;
  for (size_t i = 0; i < found.size(); ++i) found[i].lines = std::move(lines.value[i]);
  return found;
}

}  // namespace

Result<std::vector<RunInProgress>> RunsInProgress(const std::string& database,
                                                  const std::optional<std::string>& job_file) {
  // A job file whose name no longer resolves leaves no lock to ask: its runs are taken for
  // ended.
  return RunsWithoutEndWhere(database, job_file, [](const RunSummary& run, const LockState& lock) {
    return lock.holder && lock.holder->run_id == run.run_id;
  });
}

Result<std::vector<RunInProgress>> DeadRuns(const std::string& database,
                                            const std::optional<std::string>& job_file) {
  std::map<std::string, bool> takes_lock;
  return RunsWithoutEndWhere(
      database, job_file, [&takes_lock](const RunSummary& run, const LockState& lock) {
        // A lock this process holds is this run's: every other run without an end is dead.
        if (!lock.known || (lock.holder && lock.holder->pid != CurrentProcessId())) return false;
        auto takes = takes_lock.find(run.job_file);
        if (takes == takes_lock.end()) {
          JobDocument job;
          const bool read = ReadJobFile(run.job_file, job).status == ReadStatus::kLoaded;
          takes = takes_lock
                      .emplace(run.job_file,
                               read && CheckJob(job).settings.overlap != OverlapPolicy::kAllow)
                      .first;
        }
        return takes->second;
      });
}

LiveState LiveLineState(const RunLineRecord& line) {
  if (line.end) {
    if (line.outcome == LineOutcome::kOk) return LiveState::kOk;
    if (line.outcome == LineOutcome::kFailed) return LiveState::kFailed;
    return line.outcome == LineOutcome::kSkipped ? LiveState::kSkipped : LiveState::kNotRun;
  }
  if (line.start) return LiveState::kRunning;
  // A skipped line never starts; a line prepared and not yet started has a row without a
  // start.
  if (line.outcome == LineOutcome::kSkipped) return LiveState::kSkipped;
  return line.outcome == LineOutcome::kOver ? LiveState::kNotRun : LiveState::kWaiting;
}

const char* LiveStateWord(LiveState state) {
  switch (state) {
    case LiveState::kWaiting:
      return "waiting";
    case LiveState::kRunning:
      return "running";
    case LiveState::kOk:
      return "ok";
    case LiveState::kFailed:
      return "failed";
    case LiveState::kSkipped:
      return "skipped";
    case LiveState::kNotRun:
      break;
  }
  return "not run";
}

std::vector<ForeseenLine> ForeseenLinesOf(std::vector<RunLineRecord> rows,
                                          const std::map<int32_t, std::vector<int32_t>>& waits) {
  // The run's order: its lines as it prepared them, then the copies as they were made.
  std::sort(rows.begin(), rows.end(),
            [](const RunLineRecord& a, const RunLineRecord& b) { return a.position < b.position; });
  std::map<int32_t, int32_t> repeats;
  for (const RunLineRecord& row : rows) {
    if (row.repeat_of) repeats[row.line] = *row.repeat_of;
  }
  std::vector<ForeseenLine> lines;
  for (const RunLineRecord& row : rows) {
    int32_t job_line = row.line;
    // A copy of a copy has the wait list of the job's line; a chain cannot loop, a copy
    // has a higher number than its source, but a damaged row must not hang the caller.
    for (size_t hops = 0; repeats.count(job_line) && hops < repeats.size(); ++hops) {
      job_line = repeats[job_line];
    }
    const auto waited = waits.find(job_line);
    const LiveState state = LiveLineState(row);
    lines.push_back({row.line, row.repeat_of.value_or(0),
                     waited == waits.end() ? std::vector<int32_t>{} : waited->second,
                     state == LiveState::kWaiting   ? ForeseenLine::State::kWaiting
                     : state == LiveState::kRunning ? ForeseenLine::State::kRunning
                                                    : ForeseenLine::State::kOver,
                     row.start});
  }
  return lines;
}

Result<ExpectedEnd> ExpectedEndOf(const std::string& database, const RunInProgress& live,
                                  TimePoint now) {
  // The runner foresees its end after every line's end and keeps the figure; a line that
  // has run past its usual duration since then puts the end at now at the earliest.
  if (const std::optional<ExpectedEnd>& kept = live.run.expected_end) {
    if (kept->end && *kept->end < now) return ExpectedEnd{now, true};
    return *kept;
  }
  // Foreseen here for a runner that keeps no figure: nothing without usual durations.
  Result<std::unique_ptr<RunHistory>> history = RunHistory::OpenForReading(database);
  if (!history.ok()) return history.status;
  if (!history.value) return ExpectedEnd{};
  Result<UsualDurations> usual =
      ReadUsualDurations(*history.value, live.run.job_file, live.run.start);
  if (!usual.ok()) return usual.status;
  if (usual.value.empty()) return ExpectedEnd{};
  std::vector<ForeseenLine> lines;
  int32_t maximum = kHighestMaxParallel;
  {
    // Only the wait lists and the maximum are kept of the job: the whole of a job of many
    // thousand lines is not held while the run is foreseen.
    JobDocument job;
    if (ReadJobFile(live.run.job_file, job).status != ReadStatus::kLoaded) return ExpectedEnd{};
    lines = ForeseenLinesOf(live.lines, WaitListsOf(job.table, job.table.LineCount()));
    if (const MaxParallelResult parsed = ParseMaxParallel(job.MaxParallel); parsed.ok()) {
      maximum = parsed.value;
    }
  }
  return ExpectEnd(lines, maximum, usual.value, now);
}

int64_t ElapsedSeconds(TimePoint from, const std::optional<TimePoint>& end, TimePoint now) {
  // A clock set back while the run goes on must not make a line younger than nothing.
  return std::max<int64_t>(
      0, std::chrono::duration_cast<std::chrono::seconds>(end.value_or(now) - from).count());
}

}  // namespace jr
