#include "insight/run_json.h"

namespace jr {
namespace {

Json TimeOrNull(const std::optional<TimePoint>& time) {
  return time ? Json(IsoUtcText(*time)) : Json(nullptr);
}

Json LineJson(const RunLineRecord& line, const std::optional<std::chrono::milliseconds>& usual) {
  return Json{
      {"line", std::to_string(line.line)},
      {"description", line.description},
      {"start", TimeOrNull(line.start)},
      {"end", TimeOrNull(line.end)},
      {"outcome", LineOutcomeWord(line.outcome)},
      {"exit_code", line.exit_code ? Json(*line.exit_code) : Json(nullptr)},
      {"exit_status", line.exit_status ? Json(*line.exit_status) : Json(nullptr)},
      {"repeat_of", line.repeat_of ? Json(std::to_string(*line.repeat_of)) : Json(nullptr)},
      {"usual_s", usual ? Json(std::chrono::duration<double>(*usual).count()) : Json(nullptr)},
      {"slow", IsSlow(line, usual)}};
}

}  // namespace

std::string JsonText(const Json& value) {
  return value.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

// A run that ended with an error level shows it as the number its exit status was; a refused
// or interrupted run, or one with a status this version does not know, as a word.
Json StatusJson(const std::optional<RunStatus>& status) {
  if (status == RunStatus::kNoErrors || status == RunStatus::kErrors ||
      status == RunStatus::kFatal) {
    return Json(RunStatusNumber(*status));
  }
  return Json(RunOutcomeWord(status));
}

Json RunJson(const RunSummary& run) {
  Json failed = Json::array();
  for (int32_t line : run.failed_lines) failed.push_back(std::to_string(line));
  return Json{{"run_id", run.run_id},
              {"start", IsoUtcText(run.start)},
              {"end", TimeOrNull(run.end)},
              {"status", StatusJson(run.status)},
              {"succeeded", run.succeeded},
              {"failed", run.failed},
              {"skipped", run.skipped},
              {"failed_lines", failed},
              {"run_folder", run.run_folder},
              {"rerun_of", run.rerun_of.empty() ? Json(nullptr) : Json(run.rerun_of)}};
}

Json RunDetailJson(const RunSummary& run, const std::vector<RunLineRecord>& rows,
                   const RunInsight& insight) {
  Json object = RunJson(run);
  if (insight.path) {
    Json path = Json::array();
    for (int32_t line : *insight.path) path.push_back(std::to_string(line));
    object["critical_path"] = path;
  } else {
    object["critical_path"] = nullptr;
  }
  Json list = Json::array();
  const std::map<int32_t, int32_t> links = RepeatLinks(rows);
  for (const RunLineRecord& line : rows) {
    list.push_back(LineJson(line, UsualDurationOf(line, links, insight.usual)));
  }
  object["lines"] = list;
  return object;
}

Result<Json> ReadRunDetailJson(RunHistory& history, const std::string& job_file,
                               const std::string& run_id) {
  Result<std::optional<RunSummary>> run = history.FindRun(job_file, run_id);
  if (!run.ok()) return run.status;
  if (!run.value) return Json(nlohmann::json::value_t::discarded);
  Result<std::vector<std::vector<RunLineRecord>>> lines = history.Lines({run_id});
  if (!lines.ok()) return lines.status;
  const std::vector<RunLineRecord>& rows = lines.value.front();
  Result<RunInsight> insight = ReadRunInsight(history, *run.value, rows);
  if (!insight.ok()) return insight.status;
  return RunDetailJson(*run.value, rows, insight.value);
}

}  // namespace jr
