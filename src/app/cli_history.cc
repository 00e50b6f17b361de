#include "app/cli_history.h"

#include <chrono>
#include <cstdio>

#include "app/cli.h"
#include "insight/critical_path.h"
#include "insight/run_json.h"
#include "insight/usual_durations.h"
#include "model/time_text.h"
#include "platform/file_digest.h"
#include "platform/metadata_location.h"
#include "store/run_history.h"

namespace jr {
namespace {

constexpr int kListedRuns = 20;
constexpr const char* kNoRuns = "no runs recorded\n";

std::string Duration(TimePoint from, const std::optional<TimePoint>& to) {
  if (!to) return "-";
  return DurationText(std::chrono::duration_cast<std::chrono::milliseconds>(*to - from));
}

std::string LineList(const std::vector<int32_t>& lines) {
  std::string text;
  for (int32_t line : lines) text += (text.empty() ? "" : ",") + std::to_string(line);
  return text.empty() ? "-" : text;
}

int Fail(const Status& status) {
  std::fprintf(stderr, "jobrunner: %s\n", status.message.c_str());
  return kExitBadJobFile;
}

void PrintRuns(const std::vector<RunSummary>& runs) {
  std::printf("%-20s  %9s  %-11s  %-16s  %s\n", "START", "DURATION", "OUTCOME", "FAILED LINES",
              "RUN ID");
  for (const RunSummary& run : runs) {
    std::printf("%-20s  %9s  %-11s  %-16s  %s\n", FormatTimeText(run.start).c_str(),
                Duration(run.start, run.end).c_str(), RunOutcomeWord(run.status),
                LineList(run.failed_lines).c_str(), run.run_id.c_str());
  }
}

void PrintRun(const RunSummary& run, const std::vector<RunLineRecord>& lines,
              const RunInsight& insight) {
  std::printf(
      "Run %s of %s\n  started %s, took %s, %s: %d succeeded, %d failed, %d skipped\n"
      "  run folder %s\n\n",
      run.run_id.c_str(), run.job_file.c_str(), FormatTimeText(run.start).c_str(),
      Duration(run.start, run.end).c_str(), RunOutcomeWord(run.status), run.succeeded, run.failed,
      run.skipped, run.run_folder.c_str());
  if (!run.rerun_of.empty()) std::printf("  rerun of %s\n\n", run.rerun_of.c_str());
  if (insight.path && !insight.path->empty()) {
    std::printf("  critical path: %s (%s)\n\n", CriticalPathText(*insight.path).c_str(),
                CriticalPathShareText(insight.share).c_str());
  }
  std::printf("%-7s  %-20s  %9s  %-11s  %4s  %-9s  %s\n", "LINE", "START", "DURATION", "OUTCOME",
              "EXIT", "REPEAT OF", "DESCRIPTION");
  const std::map<int32_t, int32_t> links = RepeatLinks(lines);
  for (const RunLineRecord& line : lines) {
    const std::optional<std::chrono::milliseconds> usual =
        UsualDurationOf(line, links, insight.usual);
    // A slow line says so behind its description, with the duration it usually takes.
    const std::string slow = IsSlow(line, usual)
                                 ? "  slow (usual " + Duration(TimePoint{}, TimePoint{*usual}) + ")"
                                 : "";
    std::printf("%-7d  %-20s  %9s  %-11s  %4s  %-9s  %s%s\n", line.line,
                line.start ? FormatTimeText(*line.start).c_str() : "-",
                line.start ? Duration(*line.start, line.end).c_str() : "-",
                LineOutcomeWord(line.outcome),
                line.exit_status ? std::to_string(*line.exit_status).c_str() : "-",
                line.repeat_of ? std::to_string(*line.repeat_of).c_str() : "-",
                line.description.c_str(), slow.c_str());
  }
}

}  // namespace

int RunHistoryCommand(const std::string& job_file, const std::optional<std::string>& run_id,
                      bool json) {
  Result<std::unique_ptr<RunHistory>> history =
      RunHistory::OpenForReading(SystemMetadataDatabasePath());
  if (!history.ok()) return Fail(history.status);
  const std::string job = AbsoluteFileName(job_file);
  Result<std::vector<RunSummary>> runs;
  if (history.value) runs = history.value->RecentRuns(job, run_id ? 1 : kListedRuns);
  if (!runs.ok()) return Fail(runs.status);
  if (runs.value.empty()) {
    std::fputs(json ? "[]\n" : kNoRuns, stdout);
    return kExitNoErrors;
  }
  if (!run_id) {
    if (json) {
      Json list = Json::array();
      for (const RunSummary& run : runs.value) list.push_back(RunJson(run));
      std::fputs(JsonText(list).c_str(), stdout);
    } else {
      PrintRuns(runs.value);
    }
    return kExitNoErrors;
  }
  Result<std::optional<RunSummary>> run = history.value->FindRun(job, *run_id);
  if (!run.ok()) return Fail(run.status);
  if (!run.value) {
    return Fail(Status::Failed("\"" + *run_id + "\" is no recorded run of \"" + job + "\""));
  }
  Result<std::vector<std::vector<RunLineRecord>>> lines = history.value->Lines({*run_id});
  if (!lines.ok()) return Fail(lines.status);
  const std::vector<RunLineRecord>& rows = lines.value.front();
  Result<RunInsight> insight = ReadRunInsight(*history.value, *run.value, rows);
  if (!insight.ok()) return Fail(insight.status);
  if (!insight.value.waits_known && insight.value.path && !insight.value.path->empty()) {
    std::fprintf(stderr, "jobrunner: warning: %s\n", WaitsUnknownText(*run.value).c_str());
  }
  if (json) {
    const Json object = RunDetailJson(*run.value, rows, insight.value);
    std::fputs(JsonText(object).c_str(), stdout);
  } else {
    PrintRun(*run.value, rows, insight.value);
  }
  return kExitNoErrors;
}

int PruneHistoryCommand(int days, const std::optional<std::string>& job_file) {
  Result<std::unique_ptr<RunHistory>> history =
      RunHistory::OpenForReading(SystemMetadataDatabasePath());
  if (!history.ok()) return Fail(history.status);
  if (!history.value) {
    std::fputs(kNoRuns, stdout);
    return kExitNoErrors;
  }
  history.value.reset();
  // Only now for writing: pruning an older database upgrades it first.
  history = RunHistory::OpenForWriting(SystemMetadataDatabasePath());
  if (!history.ok()) return Fail(history.status);
  const TimePoint cutoff = std::chrono::system_clock::now() - std::chrono::days(days);
  Result<int> removed = history.value->PruneBefore(
      cutoff, job_file ? std::optional(AbsoluteFileName(*job_file)) : std::nullopt);
  if (!removed.ok()) return Fail(removed.status);
  std::printf("%d run(s) older than %d day(s) removed\n", removed.value, days);
  return kExitNoErrors;
}

}  // namespace jr
