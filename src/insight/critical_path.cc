#include "insight/critical_path.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <set>

#include "jobfile/job_file.h"
#include "model/job_line.h"
#include "model/job_rules.h"
#include "platform/file_digest.h"
#include "platform/regular_file.h"

namespace jr {
namespace {

// A row that both started and ended: an attempt.
struct Attempt {
  const RunLineRecord* row;
  TimePoint start, end;
};

// Later end first; for equal ends the later start, then the later row.
bool EndedLater(const Attempt& a, const Attempt& b) {
  if (a.end != b.end) return a.end > b.end;
  if (a.start != b.start) return a.start > b.start;
  return a.row->position > b.row->position;
}

// How many of `sorted` times come before `time`, or up to it when `including`.
size_t CountBefore(const std::vector<TimePoint>& sorted, TimePoint time, bool including) {
  return static_cast<size_t>((including ? std::upper_bound(sorted.begin(), sorted.end(), time)
                                        : std::lower_bound(sorted.begin(), sorted.end(), time)) -
                             sorted.begin());
}

// Each step of the path looks only at the attempts it may follow: those of the lines waited
// for, by index, and the last end before a start, by binary search over the ends. Of
// attempts equal by EndedLater, the earlier row is taken.
class PathFinder {
 public:
  PathFinder(const std::vector<RunLineRecord>& lines, const JobWaits& job, TimePoint run_start)
      : job_(job), run_start_(run_start) {
    for (const RunLineRecord& line : lines) {
      if (line.start && line.end && *line.end >= *line.start) {
        attempts_.push_back({&line, *line.start, *line.end});
        starts_.push_back(*line.start);
        ends_.push_back(*line.end);
      }
    }
    std::sort(starts_.begin(), starts_.end());
    std::sort(ends_.begin(), ends_.end());
    by_end_.resize(attempts_.size());
    std::iota(by_end_.begin(), by_end_.end(), size_t{0});
    std::stable_sort(by_end_.begin(), by_end_.end(),
                     [&](size_t a, size_t b) { return EndedLater(attempts_[a], attempts_[b]); });
    // An attempt counts for its line and, through the repeat links, for the lines it repeats.
    const std::map<int32_t, int32_t> repeat_of = RepeatLinks(lines);
    for (size_t i = 0; i < attempts_.size(); ++i) {
      int32_t line = attempts_[i].row->line;
      own_[line].push_back(i);
      // A copy is numbered above the line it repeats: following the links down ends,
      // even in a damaged history whose links go round.
      while (true) {
        of_[line].push_back(i);
        const auto found = repeat_of.find(line);
        if (found == repeat_of.end() || found->second >= line) break;
        line = found->second;
      }
    }
    maximum_ = job.maximum > 0 ? job.maximum : MostRunningAtOnce();
  }

  std::vector<int32_t> Path() const {
    if (attempts_.empty()) return {};
    const Attempt* at = &attempts_[by_end_.front()];
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
  // The lines running just after `time`: started by then and not ended.
  int32_t RunningAfter(TimePoint time) const {
    return static_cast<int32_t>(CountBefore(starts_, time, true) - CountBefore(ends_, time, true));
  }

  int32_t MostRunningAtOnce() const {
    int32_t most = 0;
    for (const Attempt& at : attempts_) most = std::max(most, RunningAfter(at.start));
    return most;
  }

  // Among the attempts `at` had to wait for, the one that ended last before it started.
  const Attempt* WaitedFor(const Attempt& at) const {
    const Attempt* last = nullptr;
    const auto consider = [&](const std::map<int32_t, std::vector<size_t>>& index, int32_t line) {
      const auto found = index.find(line);
      if (found == index.end()) return;
      for (size_t i : found->second) {
        const Attempt& other = attempts_[i];
        if (&other == &at || other.end > at.start) continue;
        if (last == nullptr || EndedLater(other, *last) ||
            (!EndedLater(*last, other) && &other < last)) {
          last = &other;
        }
      }
    };
    if (at.row->repeat_of) {
      consider(own_, *at.row->repeat_of);
      return last;
    }
    const auto waits = job_.wait_for.find(at.row->line);
    if (waits == job_.wait_for.end()) return nullptr;
    for (int32_t named : waits->second) consider(of_, named);
    return last;
  }

  // The attempt whose end let `at` start when the maximum held it back after it could
  // have started at `ready`; none when the maximum was not reached then.
  const Attempt* FreedPlace(const Attempt& at, TimePoint ready) const {
    // The first attempt by EndedLater that ended by at's start.
    auto first = std::partition_point(by_end_.begin(), by_end_.end(),
                                      [&](size_t i) { return attempts_[i].end > at.start; });
    if (first != by_end_.end() && &attempts_[*first] == &at) ++first;
    if (first == by_end_.end() || attempts_[*first].end < ready) return nullptr;
    const Attempt* freed = &attempts_[*first];
    // Running just before that end, itself included.
    const auto running = static_cast<int32_t>(CountBefore(starts_, freed->end, false) -
                                              CountBefore(ends_, freed->end, false));
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
  std::vector<Attempt> attempts_;
  // Their starts and ends, each sorted; their positions in attempts_ by EndedLater, the
  // earlier row first among equals.
  std::vector<TimePoint> starts_, ends_;
  std::vector<size_t> by_end_;
  // Their positions by line: of the line itself, and of it or a repeat copy of it.
  std::map<int32_t, std::vector<size_t>> own_, of_;
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
  // No file matches a run recorded without a digest. The file is read once, for its digests
  // and its lines: a job of many thousand lines is tens of megabytes.
  if (run.job_sha256.empty()) return {};
  const FileReadResult file = ReadRegularFile(run.job_file, kMaxJobFileBytes);
  if (!file.ok()) return {};
  // Runs recorded before the digest left the export date out hold that of the whole file.
  if (JobContentSha256(file.text) != run.job_sha256 && Sha256Hex(file.text) != run.job_sha256) {
    return {};
  }
  JobDocument job;
  if (ReadJobFileText(file.text, run.job_file, job).status != ReadStatus::kLoaded) return {};
  JobWaits waits;
  for (int row = 0; row < job.table.LineCount(); ++row) {
    Result<JobLine> line = JobLineAt(job.table, row);
    if (!line.ok()) return {};  // the run refused such a job: it has no lines to follow
    waits.wait_for[line.value.number] = line.value.wait_for.numbers();
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
