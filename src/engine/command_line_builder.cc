#include "engine/command_line_builder.h"

#include <algorithm>
#include <deque>
#include <unordered_set>

#include "engine/result_files.h"
#include "model/catalogue.h"
#include "model/job_line.h"
#include "model/job_rules.h"
#include "platform/blanks.h"
#include "platform/installation.h"

namespace jr {
namespace {

// The number of a row that is to run: active and numbered as the editor lets it be typed.
// Anything else (only a hand-edited file holds it) cannot be told apart from a mistake and
// keeps the row out of the run.
std::optional<int32_t> ActiveJobLineNr(const JobLineRow& row) {
  if (!row.active) return std::nullopt;
  return row.number;
}

struct RunFiles {
  const std::string& folder;
  const std::string& name;
  // The result file of `line` with `stem`; empty when the type has no such file.
  std::string Of(const RunLine& line, std::string_view stem) const {
    if (stem.empty()) return {};
    return folder + name + "_" + std::to_string(line.JobLineNr()) + std::string(stem);
  }
};

void FillByType(RunLine& line, const RunFiles& files, const std::string& keld,
                const std::string& mirn) {
  const JobLineType* type = FindJobLineType(line.definition().type);
  // A type outside the catalogue has nothing to start; the line is never started.
  if (type == nullptr) return;
  switch (type->folder) {
    case ProgramFolder::kUser:
      line.SetProgram(line.definition().batch_file);
      line.SetLogFileName(line.definition().log_file);
      line.SetStatusFileName(line.definition().status_file);
      break;
    case ProgramFolder::kKeld:
    case ProgramFolder::kMirn:
      line.SetProgram((type->folder == ProgramFolder::kKeld ? keld : mirn) +
                      std::string(type->executable));
      line.SetLogFileName(files.Of(line, type->log_stem));
      line.SetStatusFileName(files.Of(line, type->status_stem));
      line.SetSummaryFileName(files.Of(line, type->summary_stem));
      break;
  }
  line.SetOutputFileName(OutputFileName(files.folder, files.name, line));
  line.SetProgramArguments(JobLineArguments(line));
}

}  // namespace

std::string CellText(const Cell& cell) { return cell.value_or(std::string()); }

Result<std::unique_ptr<RunLines>> PrepareJobLines(const JobLineTable& table, int row_count,
                                                  const std::string& run_folder,
                                                  const std::string& run_name,
                                                  const std::string& run_timestamp, RunEnv& env,
                                                  std::vector<std::string>* warnings) {
  const std::string keld = GetKeldUtilsPath(env.registry);
  const std::string mirn = GetMirnUtilsPath(env.registry);
  const RunFiles files{run_folder, run_name};
  auto warn = [warnings](std::string text) {
    if (warnings != nullptr) warnings->push_back(std::move(text));
  };

  auto lines = std::make_unique<RunLines>();
  const int count = std::clamp(row_count, 0, table.LineCount());
  lines->Reserve(count);
  std::unordered_set<int32_t> taken;
  // The definitions in one store the lines share, so that each costs its own size alone;
  // a deque keeps them in place as it grows.
  auto definitions = std::make_shared<std::deque<JobLine>>();
  // A row at a time: a job of many thousand lines is not held a third time while its lines
  // are made.
  for (int at = 0; at < count; ++at) {
    JobLineRow row = ReadJobLineRow(table, at);
    if (!row.active) continue;
    if (!row.number) {
      warn("the active job line in row " + std::to_string(row.row + 1) + " has the number \"" +
           row.number_text +
           "\", which is not a whole number from 1 to 999999; it is left out of the run");
      continue;
    }
    if (!taken.insert(*row.number).second) {
      warn("job line number " + std::to_string(*row.number) + " is used by more than one " +
           "active job line; the one in row " + std::to_string(row.row + 1) +
           " is left out of the run");
      continue;
    }
    // A line the run takes must read whole: a list entry that names no line would stop the
    // run halfway, when the scheduler reaches it.
    if (!row.line.ok()) return row.line.status;
    RunLine* line = lines->Add(*row.number);
    line->SetDefinition(std::shared_ptr<const JobLine>(
        definitions, &definitions->emplace_back(std::move(row.line.value))));
    line->SetJobId(run_timestamp);
    FillByType(*line, files, keld, mirn);
  }
  return lines;
}

std::vector<RunRow> RunRows(const JobLineTable& table, int row_count) {
  // Only the active and number cells decide; the rest of a line is read by whoever takes it.
  std::unordered_set<int32_t> seen;
  std::vector<RunRow> rows;
  const int count = std::clamp(row_count, 0, table.LineCount());
  for (int row = 0; row < count; ++row) {
    if (table.At(kColActive, row) != "true") continue;
    const std::optional<int32_t> number = JobLineNumberOf(table.At(kColNumber, row));
    if (number && seen.insert(*number).second) rows.push_back({row, *number});
  }
  return rows;
}

std::vector<int32_t> DuplicateActiveJobLineNumbers(const JobLineTable& table, int row_count) {
  std::unordered_set<int32_t> seen;
  std::unordered_set<int32_t> reported;
  std::vector<int32_t> duplicates;
  for (const JobLineRow& row : ReadJobLineRows(table, row_count)) {
    const std::optional<int32_t> number = ActiveJobLineNr(row);
    if (!number) continue;
    if (!seen.insert(*number).second && reported.insert(*number).second) {
      duplicates.push_back(*number);
    }
  }
  return duplicates;
}

}  // namespace jr
