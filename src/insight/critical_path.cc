#include "insight/critical_path.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "jobfile/job_file.h"
#include "model/job_line.h"
#include "model/job_rules.h"
#include "platform/file_digest.h"

namespace jr {
namespace {

// A row that both started and ended: an attempt.
struct Attempt {
  const RunLineRecord* row;
  TimePoint start, end;
};

// Whether `line` is `named` or a repeat copy of it, directly or through other copies.
bool IsAttemptOf(int32_t line, int32_t named, const std::map<int32_t, int32_t>& repeat_of) {
  // Each link leads down (see OriginOf): the walk ends at `named`, below it or at a line
  // that repeats none.
  for (auto found = repeat_of.find(line);
       line > named && found != repeat_of.end() && found->second < line;
       found = repeat_of.find(line)) {
    line = found->second;
  }
  return line == named;
}

// Later end first; for equal ends the later start, then the later row.
bool EndedLater(const Attempt& a, const Attempt& b) {
  if (a.end != b.end) return a.end > b.end;
  if (a.start != b.start) return a.start > b.start;
  return a.row->position > b.row->position;
}

int32_t MostRunningAtOnce(const std::vector<Attempt>& attempts) {
  int32_t most = 0;
  for (const Attempt& at : attempts) {
    int32_t running = 0;
    for (const Attempt& other : attempts) {
      if (other.start <= at.start && other.end > at.start) ++running;
    }
    most = std::max(most, running);
  }
  return most;
}

class PathFinder {
 public:
  PathFinder(const std::vector<RunLineRecord>& lines, const JobWaits& job, TimePoint run_start)
      : job_(job), run_start_(run_start), repeat_of_(RepeatLinks(lines)) {
    for (const RunLineRecord& line : lines) {
      if (line.start && line.end && *line.end >= *line.start) {
        attempts_.push_back({&line, *line.start, *line.end});
      }
    }
    maximum_ = job.maximum > 0 ? job.maximum : MostRunningAtOnce(attempts_);
  }

  std::vector<int32_t> Path() const {
    if (attempts_.empty()) return {};
    const Attempt* at = &attempts_.front();
    for (const Attempt& other : attempts_) {
      if (EndedLater(other, *at)) at = &other;
    }
    std::vector<int32_t> path;
    std::set<const Attempt*> seen;
    while (at != nullptr && seen.insert(at).second) {
      path.push_back(at->row->line);
      at = Predecessor(*at);
    }
    std::reverse(path.begin(), path.end());
    return path;
  }

 private:
  // Among the attempts `at` had to wait for, the one that ended last before it started.
  const Attempt* WaitedFor(const Attempt& at) const {
    const Attempt* last = nullptr;
    const auto consider = [&](const Attempt& other) {
      if (&other == &at || other.end > at.start) return;
      if (last == nullptr || EndedLater(other, *last)) last = &other;
    };
    if (at.row->repeat_of) {
      for (const Attempt& other : attempts_) {
        if (other.row->line == *at.row->repeat_of) consider(other);
      }
      return last;
    }
    const auto waits = job_.wait_for.find(at.row->line);
    if (waits == job_.wait_for.end()) return nullptr;
    for (const Attempt& other : attempts_) {
      for (int32_t named : waits->second) {
        if (IsAttemptOf(other.row->line, named, repeat_of_)) consider(other);
      }
    }
    return last;
  }

  // The attempt whose end let `at` start when the maximum held it back after it could
  // have started at `ready`; none when the maximum was not reached then.
  const Attempt* FreedPlace(const Attempt& at, TimePoint ready) const {
    const Attempt* freed = nullptr;
    for (const Attempt& other : attempts_) {
      if (&other == &at || other.end > at.start || other.end < ready) continue;
      if (freed == nullptr || EndedLater(other, *freed)) freed = &other;
    }
    if (freed == nullptr) return nullptr;
    int32_t running = 0;  // just before that end, itself included
    for (const Attempt& other : attempts_) {
      if (other.start < freed->end && other.end >= freed->end) ++running;
    }
    return running >= maximum_ ? freed : nullptr;
  }

  const Attempt* Predecessor(const Attempt& at) const {
    const Attempt* waited_for = WaitedFor(at);
    const TimePoint ready = waited_for ? waited_for->end : run_start_;
    if (at.start - ready > kCriticalPathSlack) {
      if (const Attempt* freed = FreedPlace(at, ready)) return freed;
    }
    return waited_for;
  }

  const JobWaits& job_;
  TimePoint run_start_;
  std::map<int32_t, int32_t> repeat_of_;
  std::vector<Attempt> attempts_;
  int32_t maximum_ = 0;
};

}  // namespace

std::vector<int32_t> CriticalPath(const std::vector<RunLineRecord>& lines, const JobWaits& job,
                                  TimePoint run_start) {
  return PathFinder(lines, job, run_start).Path();
}

double CriticalPathShare(const std::vector<int32_t>& path, const std::vector<RunLineRecord>& lines,
                         const RunSummary& run) {
  if (!run.end || *run.end <= run.start) return 0;
  // The path's attempts follow each other without overlapping: their durations add up.
  const std::set<int32_t> on(path.begin(), path.end());
  std::chrono::duration<double> on_path{0};
  for (const RunLineRecord& line : lines) {
    if (on.count(line.line) && line.start && line.end) on_path += *line.end - *line.start;
  }
  return std::clamp(on_path / std::chrono::duration<double>(*run.end - run.start), 0.0, 1.0);
}

std::string CriticalPathText(const std::vector<int32_t>& path) {
  // Up to this many lines the whole path is shown; a longer one shows its ends.
  constexpr size_t kWhole = 12, kEnd = 5;
  std::string text;
  auto add = [&text](const std::string& part) { text += (text.empty() ? "" : " > ") + part; };
  for (size_t i = 0; i < path.size(); ++i) {
    if (path.size() > kWhole && i == kEnd) {
      add("... " + std::to_string(path.size() - 2 * kEnd) + " more ...");
      i = path.size() - kEnd;
    }
    add(std::to_string(path[i]));
  }
  return text;
}

std::string CriticalPathShareText(double share) {
  const std::string percent = std::to_string(std::lround(share * 100)) + " % of the run";
  if (share >= 0.5) return percent;
  return "its lines ran " + percent + "; the rest went to starting programs and waiting";
}

JobWaits JobWaitsOfRun(const RunSummary& run) {
  Result<std::string> digest = JobFileContentSha256(run.job_file);
  // Runs recorded before the digest left the export date out hold that of the whole file.
  if (!digest.ok() ||
      (digest.value != run.job_sha256 && FileSha256(run.job_file).value != run.job_sha256)) {
    return {};
  }
  JobDocument job;
  if (ReadJobFile(run.job_file, job).status != ReadStatus::kLoaded) return {};
  JobWaits waits;
  for (int row = 0; row < job.table.LineCount(); ++row) {
    Result<JobLine> line = JobLineAt(job.table, row);
    if (!line.ok()) return {};  // the run refused such a job: it has no lines to follow
    waits.wait_for[line.value.number] = line.value.wait_for.numbers;
  }
  const MaxParallelResult maximum = ParseMaxParallel(job.MaxParallel);
  waits.maximum = maximum.ok() ? maximum.value : 0;
  waits.waits_known = true;
  return waits;
}

std::string WaitsUnknownText(const RunSummary& run) {
  return "the job file \"" + run.job_file + "\" is gone or changed since run " + run.run_id +
         ", so the critical path follows only the repeats and the most lines running at once, "
         "not the waits";
}

std::optional<std::chrono::milliseconds> UsualDurationOf(const RunLineRecord& line,
                                                         const std::map<int32_t, int32_t>& links,
                                                         const UsualDurations& usual) {
  const auto found = usual.find(OriginOf(line.line, links));
  if (found == usual.end()) return std::nullopt;
  return found->second;
}

bool IsSlow(const RunLineRecord& line, const std::optional<std::chrono::milliseconds>& usual) {
  if (!usual || !line.start || !line.end) return false;
  const auto took = *line.end - *line.start;
  return took > 2 * *usual && took >= *usual + kSlowMargin;
}

Result<RunInsight> ReadRunInsight(RunHistory& history, const RunSummary& run,
                                  const std::vector<RunLineRecord>& lines) {
  RunInsight insight;
  Result<UsualDurations> usual = ReadUsualDurations(history, run.job_file, run.start);
  if (!usual.ok()) return usual.status;
  insight.usual = std::move(usual.value);
  if (!run.end) return insight;
  const JobWaits waits = JobWaitsOfRun(run);
  insight.path = CriticalPath(lines, waits, run.start);
  insight.share = CriticalPathShare(*insight.path, lines, run);
  insight.waits_known = waits.waits_known;
  return insight;
}

}  // namespace jr
