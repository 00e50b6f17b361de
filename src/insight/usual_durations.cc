#include "insight/usual_durations.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

namespace jr {

using std::chrono::milliseconds;

milliseconds Median(std::vector<milliseconds> values) {
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  if (values.size() % 2 == 1) return values[middle];
  return (values[middle - 1] + values[middle]) / 2;
}

UsualDurations UsualDurationsOf(const std::vector<RunSummary>& runs,
                                const std::vector<std::vector<RunLineRecord>>& lines) {
  struct Samples {
    size_t runs = 0;
    std::vector<milliseconds> durations;
  };
  // Hashed and sorted rather than kept in ordered maps: a run may have many thousand lines.
  std::unordered_map<int32_t, Samples> samples;
  std::vector<std::pair<int32_t, milliseconds>> ok;
  auto by_line = [](const auto& a, const auto& b) { return a.first < b.first; };
  for (size_t i = 0; i < runs.size() && i < lines.size(); ++i) {
    if (!runs[i].end || StartedNothing(runs[i].status)) continue;
    // The ok attempts of this run, by the line they count for.
    ok.clear();
    const std::map<int32_t, int32_t> links = RepeatLinks(lines[i]);
    for (const RunLineRecord& line : lines[i]) {
      if (line.outcome != LineOutcome::kOk || !line.start || !line.end || *line.end < *line.start) {
        continue;
      }
      ok.emplace_back(OriginOf(line.line, links),
                      std::chrono::duration_cast<milliseconds>(*line.end - *line.start));
    }
    std::sort(ok.begin(), ok.end(), by_line);
    for (auto group = ok.begin(); group != ok.end();) {
      const auto next = std::find_if(
          group, ok.end(), [&](const auto& attempt) { return attempt.first != group->first; });
      Samples& line_samples = samples[group->first];
      if (line_samples.runs < kUsualDurationRuns) {
        ++line_samples.runs;
        for (auto attempt = group; attempt != next; ++attempt) {
          line_samples.durations.push_back(attempt->second);
        }
      }
      group = next;
    }
  }
  std::vector<std::pair<int32_t, milliseconds>> medians;
  medians.reserve(samples.size());
  for (auto& [number, line_samples] : samples) {
    medians.emplace_back(number, Median(std::move(line_samples.durations)));
  }
  std::sort(medians.begin(), medians.end(), by_line);
  UsualDurations usual;
  for (const auto& median : medians) usual.emplace_hint(usual.end(), median);
  return usual;
}

Result<UsualDurations> ReadUsualDurations(RunHistory& history, const std::string& job_file,
                                          TimePoint before) {
  Result<std::vector<RunSummary>> recent = history.RecentRuns(job_file, kUsualDurationLookBack);
  if (!recent.ok()) return recent.status;
  std::vector<RunSummary> earlier;
  std::vector<std::string> ids;
  for (RunSummary& run : recent.value) {
    if (run.start >= before || !run.end || StartedNothing(run.status)) continue;
    ids.push_back(run.run_id);
    earlier.push_back(std::move(run));
  }
  if (earlier.empty()) return UsualDurations{};
  Result<std::vector<std::vector<RunLineRecord>>> lines =
      history.Lines(ids, RunHistory::RowDetail::kTiming);
  if (!lines.ok()) return lines.status;
  return UsualDurationsOf(earlier, lines.value);
}

std::optional<std::chrono::milliseconds> UsualDurationOf(const RunLineRecord& line,
                                                         const std::map<int32_t, int32_t>& links,
                                                         const UsualDurations& usual) {
  const auto found = usual.find(OriginOf(line.line, links));
  if (found == usual.end()) return std::nullopt;
  return found->second;
}

}  // namespace jr
