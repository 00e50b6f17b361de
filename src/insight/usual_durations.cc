#include "insight/usual_durations.h"

#include <algorithm>

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
  std::map<int32_t, Samples> samples;
  for (size_t i = 0; i < runs.size() && i < lines.size(); ++i) {
    if (!runs[i].end || StartedNothing(runs[i].status)) continue;
    // The ok attempts of this run, by the line they count for.
    std::map<int32_t, std::vector<milliseconds>> ok;
    const std::map<int32_t, int32_t> links = RepeatLinks(lines[i]);
    for (const RunLineRecord& line : lines[i]) {
      if (line.outcome != LineOutcome::kOk || !line.start || !line.end || *line.end < *line.start) {
        continue;
      }
      ok[OriginOf(line.line, links)].push_back(
          std::chrono::duration_cast<milliseconds>(*line.end - *line.start));
    }
    for (auto& [number, durations] : ok) {
      Samples& line_samples = samples[number];
      if (line_samples.runs == kUsualDurationRuns) continue;
      ++line_samples.runs;
      line_samples.durations.insert(line_samples.durations.end(), durations.begin(),
                                    durations.end());
    }
  }
  UsualDurations usual;
  for (auto& [number, line_samples] : samples) {
    usual[number] = Median(std::move(line_samples.durations));
  }
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
  Result<std::vector<std::vector<RunLineRecord>>> lines = history.Lines(ids);
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
