#include "engine/command_line_builder.h"

#include <unordered_set>

#include "engine/result_files.h"
#include "model/catalogue.h"
#include "model/job_line.h"
#include "model/job_rules.h"
#include "platform/blanks.h"
#include "platform/installation.h"

namespace jr {
namespace {

// The number of a row that is to run: active (cell 6 exactly "true") and numbered as the
// editor lets it be typed. Anything else (only a hand-edited file holds it) cannot be told
// apart from a mistake and keeps the row out of the run.
std::optional<int32_t> ActiveJobLineNr(const JobLineTable& table, int row) {
  if (CellText(table.At(kColActive, row)) != "true") return std::nullopt;
  return JobLineNumberOf(table.At(kColNumber, row));
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
  std::unordered_set<int32_t> taken;
  for (int row = 0; row < row_count; ++row) {
    if (table.At(kColActive, row) != "true") continue;
    const std::optional<int32_t> number = JobLineNumberOf(table.At(kColNumber, row));
    if (!number) {
      warn("the active job line in row " + std::to_string(row + 1) + " has the number \"" +
           table.Text(kColNumber, row) +
           "\", which is not a whole number from 1 to 999999; it is left out of the run");
      continue;
    }
    if (!taken.insert(*number).second) {
      warn("job line number " + std::to_string(*number) + " is used by more than one active " +
           "job line; the one in row " + std::to_string(row + 1) + " is left out of the run");
      continue;
    }
    // A line the run takes must read whole: a list entry that names no line would stop the
    // run halfway, when the scheduler reaches it.
    Result<JobLine> read = JobLineAt(table, row);
    if (!read.ok()) return read.status;
    RunLine* line = lines->Add(read.value.number);
    line->definition() = std::move(read.value);
    line->SetJobId(run_timestamp);
    FillByType(*line, files, keld, mirn);
  }
  return lines;
}

std::vector<RunRow> RunRows(const JobLineTable& table, int row_count) {
  std::unordered_set<int32_t> seen;
  std::vector<RunRow> rows;
  for (int row = 0; row < row_count; ++row) {
    const std::optional<int32_t> number = ActiveJobLineNr(table, row);
    if (number && seen.insert(*number).second) rows.push_back({row, *number});
  }
  return rows;
}

std::vector<int32_t> DuplicateActiveJobLineNumbers(const JobLineTable& table, int row_count) {
  std::unordered_set<int32_t> seen;
  std::unordered_set<int32_t> reported;
  std::vector<int32_t> duplicates;
  for (int row = 0; row < row_count; ++row) {
    const std::optional<int32_t> number = ActiveJobLineNr(table, row);
    if (!number) continue;
    if (!seen.insert(*number).second && reported.insert(*number).second) {
      duplicates.push_back(*number);
    }
  }
  return duplicates;
}

}  // namespace jr
