#include "notify/run_metrics.h"

#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <cstdio>

#include "insight/run_outcome.h"
#include "platform/atomic_file.h"
#include "platform/config.h"
#include "platform/environment.h"
#include "platform/file_digest.h"
#include "platform/installation.h"

namespace jr {
namespace {

using std::chrono::milliseconds;

// Label values may hold anything a path may; the text format escapes these three.
std::string Escaped(std::string_view value) {
  std::string text;
  for (char c : value) {
    if (c == '\\') {
      text += "\\\\";
    } else if (c == '"') {
      text += "\\\"";
    } else if (c == '\n') {
      text += "\\n";
    } else {
      text += c;
    }
  }
  return text;
}

std::string Seconds(milliseconds ms) {
  // A clock set back during a run gives no negative duration.
  ms = std::max(ms, milliseconds(0));
  char text[40];
  std::snprintf(text, sizeof text, "%" PRId64 ".%03d", static_cast<int64_t>(ms.count() / 1000),
                static_cast<int>(ms.count() % 1000));
  return text;
}

std::string Seconds(TimePoint time) {
  return Seconds(std::chrono::duration_cast<milliseconds>(time.time_since_epoch()));
}

class Families {
 public:
  explicit Families(const std::string& job) : job_(Escaped(job)) {}

  void Family(const char* name, const char* help) {
    name_ = name;
    text_ += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " gauge\n";
  }
  void Sample(const std::string& value, const std::string& more_labels = {}) {
    text_ += name_ + "{job=\"" + job_ + "\"" + more_labels + "} " + value + "\n";
  }
  std::string text() const { return text_; }

 private:
  std::string job_;
  std::string name_;
  std::string text_;
};

}  // namespace

std::string MetricsFolder(RegistryReader& registry) {
  if (std::string folder = EnvironmentValue("JOBRUNNER_METRICS_DIR"); !folder.empty())
    return folder;
  return GetRegistryString(registry, kNotificationKey, "MetricsFolder");
}

std::string MetricsFileName(const std::string& job_file) {
  return "jobrunner_" + FileNameTag(AbsoluteFileName(job_file)) + ".prom";
}

std::string MetricsText(const std::string& job, bool running,
                        const std::optional<LastRunMetrics>& last) {
  Families f(job);
  f.Family("jobrunner_run_running", "1 while a run of the job goes on, else 0.");
  f.Sample(running ? "1" : "0");
  if (!last) return f.text();
  f.Family("jobrunner_last_run_start_timestamp_seconds",
           "Start of the job's last finished run, seconds since 1970 UTC.");
  f.Sample(Seconds(last->start));
  f.Family("jobrunner_last_run_end_timestamp_seconds",
           "End of the job's last finished run, seconds since 1970 UTC.");
  f.Sample(Seconds(last->end));
  f.Family("jobrunner_last_run_duration_seconds", "Duration of the job's last finished run.");
  f.Sample(Seconds(std::chrono::duration_cast<milliseconds>(last->end - last->start)));
  f.Family("jobrunner_last_run_status",
           "Exit status of the job's last finished run: 0 no errors, 1 errors, 2 fatal error.");
  // A run whose runner ended without ending it counts as a fatal error, as a stopped run does.
  f.Sample(std::to_string(
      RunStatusNumber(last->status == RunStatus::kInterrupted ? RunStatus::kFatal : last->status)));
  f.Family("jobrunner_last_run_lines", "Job lines of the last finished run by outcome.");
  f.Sample(std::to_string(last->ok), ",outcome=\"ok\"");
  f.Sample(std::to_string(last->failed), ",outcome=\"failed\"");
  f.Sample(std::to_string(last->skipped), ",outcome=\"skipped\"");
  if (last->lines.empty()) return f.text();
  f.Family("jobrunner_last_run_line_duration_seconds",
           "Duration of each job line that ran in the last finished run.");
  for (const auto& [line, duration] : last->lines) {
    f.Sample(Seconds(duration), ",line=\"" + std::to_string(line) + "\"");
  }
  return f.text();
}

std::optional<LastRunMetrics> LastRunFromHistory(RunHistory& history, const std::string& job) {
  // A few runs back, in case the newest started nothing or have no end.
  Result<std::vector<RunSummary>> recent = history.RecentRuns(job, 20);
  if (!recent.ok()) return std::nullopt;
  for (const RunSummary& run : recent.value) {
    if (!run.end || !run.status || StartedNothing(run.status)) continue;
    LastRunMetrics last;
    last.start = run.start;
    last.end = *run.end;
    last.status = *run.status;
    last.ok = run.succeeded;
    last.failed = run.failed;
    last.skipped = run.skipped;
    Result<std::vector<std::vector<RunLineRecord>>> lines = history.Lines({run.run_id});
    if (!lines.ok() || lines.value.empty()) return last;
    std::vector<RunLineRecord>& rows = lines.value.front();
    std::sort(rows.begin(), rows.end(),
              [](const RunLineRecord& a, const RunLineRecord& b) { return a.line < b.line; });
    for (const RunLineRecord& row : rows) {
      if (!row.start || !row.end || row.outcome == LineOutcome::kOver) continue;
      last.lines.emplace_back(row.line,
                              std::chrono::duration_cast<milliseconds>(*row.end - *row.start));
    }
    return last;
  }
  return std::nullopt;
}

LastRunMetrics LastRunOf(const RunLines& lines, const std::vector<int32_t>& over, TimePoint start,
                         TimePoint end, ErrorLevel level) {
  LastRunMetrics last;
  last.start = start;
  last.end = end;
  last.status = RunStatusOf(level);
  for (const RunLine& line : lines) {
    if (std::find(over.begin(), over.end(), line.JobLineNr()) != over.end()) continue;
    const LineOutcome outcome = OutcomeOf(line);
    if (outcome == LineOutcome::kOk) ++last.ok;
    if (outcome == LineOutcome::kFailed) ++last.failed;
    if (outcome == LineOutcome::kSkipped) ++last.skipped;
    if (line.StartingTime() && line.StopTime()) {
      last.lines.emplace_back(line.JobLineNr(), std::chrono::duration_cast<milliseconds>(
                                                    *line.StopTime() - *line.StartingTime()));
    }
  }
  std::sort(last.lines.begin(), last.lines.end());
  return last;
}

Status WriteMetricsFile(const std::string& folder, const std::string& job_file,
                        std::string_view text) {
  std::string path = folder;
  if (!path.empty() && path.back() != '/' && path.back() != kPathSeparator) {
    path += kPathSeparator;
  }
  return ReplaceFileContents(path + MetricsFileName(job_file), text);
}

}  // namespace jr
