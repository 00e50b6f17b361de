#include "app/cli_status.h"

#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "app/cli.h"
#include "insight/runs_in_progress.h"
#include "insight/status_json.h"
#include "model/time_text.h"
#include "platform/file_digest.h"
#include "platform/metadata_location.h"
#include "run/interrupted_run.h"

namespace jr {
namespace {

using Json = nlohmann::ordered_json;

void PrintWarning(std::string_view text) {
  std::fprintf(stderr, "jobrunner: warning: %.*s\n", static_cast<int>(text.size()), text.data());
}

void PrintRun(const RunInProgress& live, const ExpectedEnd& expected, TimePoint now) {
  const RunSummary& run = live.run;
  std::printf(
      "Run %s of %s\n  %s\n  process %lld, started %s, running for %s\n", run.run_id.c_str(),
      run.job_file.c_str(), run.description.c_str(), static_cast<long long>(live.pid),
      FormatTimeText(run.start).c_str(),
      DurationText(std::chrono::seconds(ElapsedSeconds(run.start, std::nullopt, now))).c_str());
  if (const std::string end = ExpectedEndText(expected, now); !end.empty()) {
    std::printf("  %s\n", end.c_str());
  }
  std::fputs("\n", stdout);
  std::printf("%-7s  %-8s  %-20s  %9s  %s\n", "LINE", "STATE", "START", "ELAPSED", "DESCRIPTION");
  for (const RunLineRecord& line : live.lines) {
    std::printf(
        "%-7d  %-8s  %-20s  %9s  %s\n", line.line, LiveStateWord(LiveLineState(line)),
        line.start ? FormatTimeText(*line.start).c_str() : "-",
        line.start
            ? DurationText(std::chrono::seconds(ElapsedSeconds(*line.start, line.end, now))).c_str()
            : "-",
        line.description.c_str());
  }
}

}  // namespace

int RunStatusCommand(const std::optional<std::string>& job_file, bool json) {
  std::optional<std::string> job;
  if (job_file) job = AbsoluteFileName(*job_file);
  // A run whose runner is gone is no run going on: it is told of now if nobody did.
  if (Result<std::unique_ptr<SystemEnv>> env = ReportingEnv(); env.ok()) {
    ReportDeadRuns(SystemMetadataDatabasePath(), job, env.value->env(), PrintWarning);
  }
  Result<std::vector<RunInProgress>> runs = RunsInProgress(SystemMetadataDatabasePath(), job);
  if (!runs.ok()) {
    std::fprintf(stderr, "jobrunner: %s\n", runs.message().c_str());
    return kExitBadJobFile;
  }
  const TimePoint now = std::chrono::system_clock::now();
  std::vector<ExpectedEnd> expected;
  for (const RunInProgress& run : runs.value) {
    Result<ExpectedEnd> end = ExpectedEndOf(SystemMetadataDatabasePath(), run, now);
    // The runs are shown all the same; only their end cannot be foreseen.
    if (!end.ok()) {
      std::fprintf(stderr, "jobrunner: warning: the expected end of run %s is unknown: %s\n",
                   run.run.run_id.c_str(), end.message().c_str());
    }
    expected.push_back(end.ok() ? end.value : ExpectedEnd{});
  }
  if (json) {
    Json list = Json::array();
    for (size_t i = 0; i < runs.value.size(); ++i) {
      list.push_back(StatusRunJson(runs.value[i], expected[i], now));
    }
    std::fputs((list.dump(2, ' ', false, Json::error_handler_t::replace) + "\n").c_str(), stdout);
  } else if (runs.value.empty()) {
    std::fputs("no run going on\n", stdout);
  } else {
    for (size_t i = 0; i < runs.value.size(); ++i) {
      if (i) std::fputs("\n", stdout);
      PrintRun(runs.value[i], expected[i], now);
    }
  }
  return kExitNoErrors;
}

int RunInterruptedCommand(const std::string& run_id, const std::string& job_file) {
  Result<std::unique_ptr<SystemEnv>> env = ReportingEnv();
  if (!env.ok()) {
    std::fprintf(stderr, "jobrunner: %s\n", env.message().c_str());
    return kExitFatal;
  }
  const Result<bool> reported =
      ReportInterruptedRun(SystemMetadataDatabasePath(), AbsoluteFileName(job_file), run_id,
                           std::chrono::system_clock::now(), env.value->env(), PrintWarning);
  if (!reported.ok()) {
    std::fprintf(stderr, "jobrunner: run %s was interrupted, and could not be marked so: %s\n",
                 run_id.c_str(), reported.message().c_str());
    return kExitFatal;
  }
  return kExitNoErrors;
}

}  // namespace jr
