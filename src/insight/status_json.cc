#include "insight/status_json.h"

namespace jr {

nlohmann::ordered_json StatusRunJson(const RunInProgress& live, const ExpectedEnd& expected,
                                     TimePoint now) {
  using Json = nlohmann::ordered_json;
  Json lines = Json::array();
  for (const RunLineRecord& line : live.lines) {
    lines.push_back(
        {{"line", std::to_string(line.line)},
         {"description", line.description},
         {"state", LiveStateWord(LiveLineState(line))},
         {"start", line.start ? Json(IsoUtcText(*line.start)) : Json(nullptr)},
         {"elapsed_s", line.start ? Json(ElapsedSeconds(*line.start, line.end, now)) : Json()}});
  }
  const RunSummary& run = live.run;
  return Json{{"run_id", run.run_id},
              {"job_file", run.job_file},
              {"description", run.description},
              {"pid", live.pid},
              {"start", IsoUtcText(run.start)},
              {"elapsed_s", ElapsedSeconds(run.start, std::nullopt, now)},
              {"expected_end", expected.end ? Json(IsoUtcText(*expected.end)) : Json(nullptr)},
              {"expected_end_is_lower_bound", expected.lower_bound},
              {"lines", lines}};
}

}  // namespace jr
