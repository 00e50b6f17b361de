#include "insight/usual_durations.h"

#include <algorithm>
#include <stdexcept>
#include <unordered_map>
#include <utility>

namespace jr {

UsualDurations::UsualDurations(std::initializer_list<value_type> entries) {
  for (const value_type& entry : entries) (*this)[entry.first] = entry.second;
}

size_t UsualDurations::Place(int32_t line) const {
  return static_cast<size_t>(std::lower_bound(entries_.begin(), entries_.end(), line,
                                              [](const value_type& entry, int32_t number) {
                                                return entry.first < number;
                                              }) -
                             entries_.begin());
}

UsualDurations::const_iterator UsualDurations::find(int32_t line) const {
  const size_t at = Place(line);
  return at < entries_.size() && entries_[at].first == line ? begin() + static_cast<ptrdiff_t>(at)
                                                            : end();
}

std::chrono::milliseconds UsualDurations::at(int32_t line) const {
  const auto found = find(line);
  if (found == end()) {
    throw std::out_of_range("no usual duration for job line " + std::to_string(line));
  }
  return found->second;
}

std::chrono::milliseconds& UsualDurations::operator[](int32_t line) {
  const size_t at = Place(line);
  if (at == entries_.size() || entries_[at].first != line) {
    entries_.insert(entries_.begin() + static_cast<ptrdiff_t>(at), {line, {}});
  }
  return entries_[at].second;
}

using std::chrono::milliseconds;

milliseconds Median(std::vector<milliseconds> values) {
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  if (values.size() % 2 == 1) return values[middle];
  return (values[middle - 1] + values[middle]) / 2;
}

namespace {

// The ok attempts of runs taken newest first, a run at a time, so that a job of many
// thousand lines with a long history is not held whole at once.
class Samples {
 public:
  void Add(const RunSummary& run, const std::vector<RunLineRecord>& lines) {
    if (!run.end || StartedNothing(run.status)) return;
    // The ok attempts of this run, by the line they count for.
    ok_.clear();
    const std::map<int32_t, int32_t> links = RepeatLinks(lines);
    for (const RunLineRecord& line : lines) {
      if (line.outcome != LineOutcome::kOk || !line.start || !line.end || *line.end < *line.start) {
        continue;
      }
      ok_.emplace_back(OriginOf(line.line, links),
                       std::chrono::duration_cast<milliseconds>(*line.end - *line.start));
    }
    std::sort(ok_.begin(), ok_.end(), ByLine);
    for (auto group = ok_.begin(); group != ok_.end();) {
      const auto next = std::find_if(
          group, ok_.end(), [&](const auto& attempt) { return attempt.first != group->first; });
      Line& line = lines_[group->first];
      if (line.runs < kUsualDurationRuns) {
        ++line.runs;
        for (auto attempt = group; attempt != next; ++attempt) {
          line.durations.push_back(attempt->second);
        }
      }
      group = next;
    }
  }

  UsualDurations Medians() {
    std::vector<std::pair<int32_t, milliseconds>> medians;
    medians.reserve(lines_.size());
    for (auto& [number, line] : lines_) {
      medians.emplace_back(number, Median(std::move(line.durations)));
    }
    std::sort(medians.begin(), medians.end(), ByLine);
    return UsualDurations(std::move(medians));
  }

 private:
  static bool ByLine(const std::pair<int32_t, milliseconds>& a,
                     const std::pair<int32_t, milliseconds>& b) {
    return a.first < b.first;
  }
  struct Line {
    size_t runs = 0;
    std::vector<milliseconds> durations;
  };
  // Hashed and sorted rather than kept in ordered maps: a run may have many thousand lines.
  std::unordered_map<int32_t, Line> lines_;
  std::vector<std::pair<int32_t, milliseconds>> ok_;
};

}  // namespace

UsualDurations UsualDurationsOf(const std::vector<RunSummary>& runs,
                                const std::vector<std::vector<RunLineRecord>>& lines) {
  Samples samples;
  for (size_t i = 0; i < runs.size() && i < lines.size(); ++i) samples.Add(runs[i], lines[i]);
  return samples.Medians();
}

Result<UsualDurations> ReadUsualDurations(RunHistory& history, const std::string& job_file,
                                          TimePoint before) {
  Result<std::vector<RunSummary>> recent = history.RecentRuns(job_file, kUsualDurationLookBack);
  if (!recent.ok()) return recent.status;
  Samples samples;
  for (const RunSummary& run : recent.value) {
    if (run.start >= before || !run.end || StartedNothing(run.status)) continue;
    Result<std::vector<std::vector<RunLineRecord>>> lines =
        history.Lines({run.run_id}, RunHistory::RowDetail::kTiming);
    if (!lines.ok()) return lines.status;
    samples.Add(run, lines.value.front());
  }
  return samples.Medians();
}

std::optional<std::chrono::milliseconds> UsualDurationOf(const RunLineRecord& line,
                                                         const std::map<int32_t, int32_t>& links,
                                                         const UsualDurations& usual) {
  const auto found = usual.find(OriginOf(line.line, links));
  if (found == usual.end()) return std::nullopt;
  return found->second;
}

}  // namespace jr
