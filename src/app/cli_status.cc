#include "app/cli_status.h"

#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "app/cli.h"
#include "model/time_text.h"
#include "platform/file_digest.h"
#include "platform/metadata_location.h"
#include "run/runs_in_progress.h"

namespace jr {
namespace {

using Json = nlohmann::ordered_json;

// Filled by the estimate of a run's end; until there is one, scripts already find the key.
const Json kNoExpectedEnd = nullptr;

std::string ClockText(int64_t seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  return text;
}

Json RunJson(const RunInProgress& live, TimePoint now) {
  Json lines = Json::array();
  for (const RunLineRecord& line : live.lines) {
    lines.push_back(
        {{"line", std::to_string(line.line)},
         {"description", line.description},
         {"state", LiveLineState(line)},
         {"start", line.start ? Json(IsoUtcText(*line.start)) : Json(nullptr)},
         {"elapsed_s", line.start ? Json(ElapsedSeconds(*line.start, line.end, now)) : Json()}});
  }
  const RunSummary& run = live.run;
  return Json{
      {"run_id", run.run_id},           {"job_file", run.job_file},
      {"description", run.description}, {"pid", live.pid},
      {"start", IsoUtcText(run.start)}, {"elapsed_s", ElapsedSeconds(run.start, std::nullopt, now)},
      {"expected_end", kNoExpectedEnd}, {"lines", lines}};
}

void PrintRun(const RunInProgress& live, TimePoint now) {
  const RunSummary& run = live.run;
  std::printf("Run %s of %s\n  %s\n  process %lld, started %s, running for %s\n\n",
              run.run_id.c_str(), run.job_file.c_str(), run.description.c_str(),
              static_cast<long long>(live.pid), FormatTimeText(run.start).c_str(),
              ClockText(ElapsedSeconds(run.start, std::nullopt, now)).c_str());
  std::printf("%-7s  %-8s  %-20s  %9s  %s\n", "LINE", "STATE", "START", "ELAPSED", "DESCRIPTION");
  for (const RunLineRecord& line : live.lines) {
    std::printf("%-7d  %-8s  %-20s  %9s  %s\n", line.line, LiveLineState(line),
                line.start ? FormatTimeText(*line.start).c_str() : "-",
                line.start ? ClockText(ElapsedSeconds(*line.start, line.end, now)).c_str() : "-",
                line.description.c_str());
  }
}

}  // namespace

int RunStatusCommand(const std::optional<std::string>& job_file, bool json) {
  std::optional<std::string> job;
  if (job_file) job = AbsoluteFileName(*job_file);
  Result<std::vector<RunInProgress>> runs = RunsInProgress(SystemMetadataDatabasePath(), job);
  if (!runs.ok()) {
    std::fprintf(stderr, "jobrunner: %s\n", runs.message().c_str());
    return kExitBadJobFile;
  }
  const TimePoint now = std::chrono::system_clock::now();
  if (json) {
    Json list = Json::array();
    for (const RunInProgress& run : runs.value) list.push_back(RunJson(run, now));
    std::fputs((list.dump(2, ' ', false, Json::error_handler_t::replace) + "\n").c_str(), stdout);
  } else if (runs.value.empty()) {
    std::fputs("no run going on\n", stdout);
  } else {
    for (size_t i = 0; i < runs.value.size(); ++i) {
      if (i) std::fputs("\n", stdout);
      PrintRun(runs.value[i], now);
    }
  }
  return kExitNoErrors;
}

}  // namespace jr
