#include "run/preflight.h"

#include <unordered_map>

#include "engine/command_line_builder.h"
#include "model/credential_references.h"
#include "platform/credentials.h"
#include "platform/file_system.h"
#include "platform/metadata_location.h"
#include "platform/program_command.h"
#include "platform/regular_file.h"
#include "report/generate_reports.h"
#include "store/run_history.h"

namespace jr {
namespace {

bool Startable(const std::string& program) {
  return ResolveProgramCommand(program, {}).startable();
}

// Empty when the file can be opened and read; else why not. Nothing of it is read.
std::string UnreadableCause(const std::string& path) {
  const FileReadResult read = ReadRegularFile(path, 0, OverLimit::kCut);
  return read.ok() ? std::string() : read.cause;
}

}  // namespace

std::vector<CredentialUse> CredentialUses(const JobLineTable& table, int row_count,
                                          const std::string& folder) {
  std::vector<CredentialUse> uses;
  for (const RunRow& row : RunRows(table, row_count)) {
    for (std::string& name : CredentialReferences(table.Text(kColOptions, row.row))) {
      // The value is read only to know that it can be, and dropped at once: each line reads
      // it again at its own start.
      const Result<std::string> read = ReadCredential(name, folder);
      uses.push_back({row.number, table.Text(kColDescription, row.row), std::move(name),
                      read.ok() ? std::string() : read.message()});
    }
  }
  return uses;
}

std::vector<PreflightProblem> PreflightProblems(const JobLineTable& table, int row_count,
                                                RunEnv& env, const std::string& database,
                                                const std::string& log_file_folder) {
  std::vector<PreflightProblem> problems;
  // Every line that ends writes its row there: without it the run would stop at the
  // first line's end.
  if (std::string place = MetadataPlaceProblem(database); !place.empty()) {
    problems.push_back({true, std::move(place)});
  } else if (Result<std::unique_ptr<RunHistory>> history = RunHistory::OpenForReading(database);
             !history.ok()) {
    problems.push_back({true, history.message()});
  }
  // Every line's status and log files lie in the run folder made there: without it each
  // line would do its work and then fail.
  if (!log_file_folder.empty()) {
    if (std::string folder = FolderWriteProblem(log_file_folder); !folder.empty()) {
      problems.push_back({true, "the log-file folder \"" + log_file_folder + "\" " +
                                    (RealFileSystem().FolderExists(log_file_folder)
                                         ? "cannot be used: "
                                         : "does not exist and cannot be made: ") +
                                    folder});
    }
  }
  // A registry named on purpose and not there would have every line fail and no report.
  if (std::string registry = NamedRegistryFileProblem(); !registry.empty()) {
    problems.push_back({true, std::move(registry)});
  }

  const ReportGeneratorFiles reports = FindReportGenerator(env.registry);
  if (!Startable(reports.generator)) {
    problems.push_back({false, "the report generator \"" + reports.generator +
                                   "\" is not found; no report will be written"});
  }
  for (const std::string* report_template : {&reports.admin_template, &reports.user_template}) {
    if (const std::string cause = UnreadableCause(*report_template); !cause.empty()) {
      problems.push_back({false, "the report template \"" + *report_template +
                                     "\" cannot be read (" + cause + ")"});
    }
  }

  // A credential that cannot be read now would most likely fail its line halfway through
  // the run, after the lines before it did their work: better nothing starts.
  for (const CredentialUse& use :
       CredentialUses(table, row_count, CredentialFolder(env.registry))) {
    if (use.problem.empty()) continue;
    problems.push_back({true, "job line " + std::to_string(use.line) + " (" + use.description +
                                  "): " + use.problem});
  }

  // Only the programs matter here: the file names the run gives the lines are not.
  Result<std::unique_ptr<RunLines>> lines =
      PrepareJobLines(table, row_count, std::string(), std::string(), std::string(), env, nullptr);
  if (!lines.ok() || !lines.value) return problems;  // the run refuses it with its reason
  // A job made from a catalogue starts the same few programs on thousands of lines: each is
  // looked up once.
  std::unordered_map<std::string, ProgramCommand> looked_up;
  for (int position = 1; position <= lines.value->Count(); ++position) {
    const RunLine& line = *lines.value->Item(position);
    const std::string& program = line.Program();
    auto [found, first] = looked_up.try_emplace(program);
    if (first) found->second = ResolveProgramCommand(program, {});
    const ProgramCommand& command = found->second;
    if (command.startable()) continue;
    const std::string which =
        "job line " + std::to_string(line.JobLineNr()) + " (" + line.definition().description + ")";
    const std::string why = command.kind == ProgramCommand::Kind::kRefused
                                ? "\" cannot be started: " + command.cause
                                : "\" is not found";
    problems.push_back({false, program.empty() ? which + " has no program to start; it will fail"
                                               : which + ": the program \"" + program + why +
                                                     "; the line will fail to start"});
  }
  return problems;
}

}  // namespace jr
