#include "run/rerun_plan.h"

#include <algorithm>
#include <map>
#include <unordered_set>

#include "engine/command_line_builder.h"
#include "platform/blanks.h"

namespace jr {
namespace {

// What the earlier run did with one job line, its repeat copies included.
struct EarlierLine {
  bool ended = false;
  int64_t last_order = 0;  // of the last attempt that ended
  bool last_ok = false;
  bool any_ok = false, any_failed = false;
  bool skipped = false;
};

std::map<int32_t, EarlierLine> Summarise(const std::vector<RunLineRecord>& earlier) {
  const std::map<int32_t, int32_t> repeat_of = RepeatLinks(earlier);
  std::map<int32_t, EarlierLine> lines;
  for (const RunLineRecord& row : earlier) {
    EarlierLine& line = lines[OriginOf(row.line, repeat_of)];
    const bool ok = row.outcome == LineOutcome::kOk || row.outcome == LineOutcome::kOver;
    if (row.outcome == LineOutcome::kSkipped && !row.repeat_of) line.skipped = true;
    // An outcome this version does not know counts as neither: the line runs again.
    if (!ok && row.outcome != LineOutcome::kFailed) continue;
    line.any_ok = line.any_ok || ok;
    line.any_failed = line.any_failed || !ok;
    // A line an earlier rerun took as over succeeded before anything of this run started.
    const int64_t order = row.outcome == LineOutcome::kOver ? -1 : row.seq.value_or(0);
    if (!line.ended || order >= line.last_order) {
      line.ended = true;
      line.last_order = order;
      line.last_ok = ok;
    }
  }
  return lines;
}

bool Names(const std::string& list, int32_t number) {
  // A list that does not read names nothing here; the run stops at it when it applies it.
  const Result<JobLineRefs> refs = ReadJobLineRefs(list);
  const std::vector<int32_t>& numbers = refs.value.numbers();
  return std::find(numbers.begin(), numbers.end(), number) != numbers.end();
}

}  // namespace

std::vector<RerunLine> RerunLinesOf(const JobLineTable& table, int row_count) {
  std::vector<RerunLine> lines;
  for (const RunRow& row : RunRows(table, row_count)) {
    lines.push_back({row.number,
                     std::string(TrimBlanks(CellText(table.At(kColSkipOnSuccess, row.row)))),
                     std::string(TrimBlanks(CellText(table.At(kColSkipOnError, row.row)))),
                     std::string(TrimBlanks(CellText(table.At(kColWait, row.row))))});
  }
  return lines;
}

RerunPlan PlanRerun(const std::vector<RerunLine>& lines, const std::vector<RunLineRecord>& earlier,
                    bool downstream) {
  const std::map<int32_t, EarlierLine> then = Summarise(earlier);
  auto find = [&then](int32_t number) -> const EarlierLine* {
    const auto found = then.find(number);
    return found == then.end() ? nullptr : &found->second;
  };
  std::unordered_set<int32_t> runs_again;
  std::vector<const RerunLine*> skipped_then;
  for (const RerunLine& line : lines) {
    const EarlierLine* earlier_line = find(line.number);
    if (earlier_line == nullptr || (!earlier_line->ended && !earlier_line->skipped) ||
        (earlier_line->ended && !earlier_line->last_ok)) {
      runs_again.insert(line.number);
    } else if (!earlier_line->ended) {
      skipped_then.push_back(&line);
    }
  }
  // A skipped line runs again when a line whose outcome may have skipped it runs again: it
  // is then up to that line's new outcome. Downstream, a line that waits for one that runs
  // again runs again too; each line that joins may bring others, until none does.
  for (bool grew = true; grew;) {
    grew = false;
    for (const RerunLine& line : lines) {
      if (runs_again.count(line.number)) continue;
      const bool skipped_by_one_again =
          std::find(skipped_then.begin(), skipped_then.end(), &line) != skipped_then.end() &&
          std::any_of(lines.begin(), lines.end(), [&](const RerunLine& other) {
            const EarlierLine* skipper = find(other.number);
            return skipper != nullptr && runs_again.count(other.number) &&
                   ((skipper->any_ok && Names(other.skip_on_success, line.number)) ||
                    (skipper->any_failed && Names(other.skip_on_error, line.number)));
          });
      const bool waits_for_one_again =
          downstream && std::any_of(runs_again.begin(), runs_again.end(),
                                    [&](int32_t again) { return Names(line.wait, again); });
      if (skipped_by_one_again || waits_for_one_again) {
        runs_again.insert(line.number);
        grew = true;
      }
    }
  }
  RerunPlan plan;
  for (const RerunLine& line : lines) {
    const EarlierLine* earlier_line = find(line.number);
    if (runs_again.count(line.number)) {
      plan.to_run.push_back(line.number);
    } else if (earlier_line->ended) {
      plan.over.push_back(line.number);
    } else {
      plan.skipped.push_back(line.number);
    }
  }
  return plan;
}

void MarkRerun(const RerunPlan& plan, RunLines& lines) {
  for (const std::vector<int32_t>* numbers : {&plan.over, &plan.skipped}) {
    for (int32_t number : *numbers) {
      RunLine* line = lines.Line(number);
      if (line == nullptr) continue;
      line->SetState(LineState::kSkipped);
    }
  }
}

std::string JobLineNumbersText(const std::vector<int32_t>& numbers) {
  std::string text;
  for (int32_t number : numbers) text += (text.empty() ? "" : ", ") + std::to_string(number);
  return text.empty() ? "none" : text;
}

}  // namespace jr
