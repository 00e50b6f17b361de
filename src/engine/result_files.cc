#include "engine/result_files.h"

#include "model/catalogue.h"
#include "model/job_rules.h"
#include "platform/program_command.h"

namespace jr {
namespace {

// What a line hands its program behind the user's own options.
enum class Passed { kStatusFile, kLogFile, kSummaryFile, kJobId };

struct PassedArgument {
  std::string_view name_of_switch;  // empty: the value alone, at its position
  Passed value;
};

// The result-file arguments of each option pattern, in order.
std::vector<PassedArgument> PatternArguments(OptionPattern pattern) {
  switch (pattern) {
    case OptionPattern::kA:
      return {{"-StatusFile", Passed::kStatusFile},
              {"-LogFile", Passed::kLogFile},
              {"-job_id", Passed::kJobId}};
    case OptionPattern::kB:
      return {{"-Summary", Passed::kSummaryFile},
              {"-StatusFile", Passed::kStatusFile},
              {"-LogFile", Passed::kLogFile}};
    case OptionPattern::kP:
      return {{"-StatusFile", Passed::kStatusFile}, {"-job_id", Passed::kJobId}};
    case OptionPattern::kU:
      // A user's script takes them by position: status file, log file, job id.
      return {{"", Passed::kStatusFile}, {"", Passed::kLogFile}, {"", Passed::kJobId}};
  }
  return {};
}

// The name without its ending of a dot and three characters, if it has one. Only such an
// ending of the file's own name is cut: cutting any four characters of a name without one
// would cut into its folders.
std::string WithoutEnding(const std::string& name) {
  const bool ends_in_extension = name.size() >= 4 && name[name.size() - 4] == '.' &&
                                 name.find_first_of("/\\", name.size() - 3) == std::string::npos;
  return ends_in_extension ? name.substr(0, name.size() - 4) : name;
}

std::string ValueOf(const RunLine& line, Passed value) {
  switch (value) {
    case Passed::kStatusFile:
      return line.StatusFileName();
    case Passed::kLogFile:
      return line.LogFileName();
    case Passed::kSummaryFile:
      return line.SummaryFileName();
    case Passed::kJobId:
      break;
  }
  return line.JobId();
}

}  // namespace

std::vector<std::string> JobLineArguments(const RunLine& line) {
  std::vector<std::string> arguments = SplitArguments(line.definition().options);
  const JobLineType* type = FindJobLineType(line.definition().type);
  if (type == nullptr) return arguments;
  for (const PassedArgument& passed : PatternArguments(type->pattern)) {
    const std::string value = ValueOf(line, passed.value);
    if (passed.name_of_switch.empty()) {
      // Positional values keep their places even when empty; only a missing last one (the
      // job id) is left out.
      if (value.empty() && passed.value == Passed::kJobId) continue;
      arguments.push_back(value);
    } else if (!value.empty()) {
      // A line without such a file is not told to write one named "".
      arguments.emplace_back(passed.name_of_switch);
      arguments.push_back(value);
    }
  }
  return arguments;
}

bool FailedByExitStatus(const RunLine& line) { return line.ExitStatus() != 0; }

std::string ReadStatusLine(const FileSystem& file_system, const std::string& path) {
  if (path.empty()) return {};
  return file_system.ReadFirstLine(path);
}

std::string RepeatCopyFileName(const std::string& name, int k) {
  if (name.empty()) return {};
  // The copy's file lies beside its source's.
  return WithoutEnding(name) + "_Rpt" + std::to_string(k) + ".txt";
}

std::string OutputFileName(const std::string& run_folder, const std::string& run_name,
                           const RunLine& line) {
  const std::string own = run_folder + run_name + "_" + std::to_string(line.JobLineNr());
  const std::string& log = line.LogFileName();
  if (log.find_first_not_of(' ') == std::string::npos) return own + "_Output.txt";
  if (log.starts_with(own)) return WithoutEnding(log) + "_Output.txt";
  const size_t folder_end = log.find_last_of("/\\");
  const std::string log_name = folder_end == std::string::npos ? log : log.substr(folder_end + 1);
  return own + "_" + WithoutEnding(log_name) + "_Output.txt";
}

Result<RunLine*> CreateRepeatCopy(RunLines& collection, const RunLine& source) {
  const int64_t number = int64_t{collection.HighestJobLineNr()} + 10;
  if (number > kHighestJobLineNr) {
    return Status::Failed("a repeat copy of job line " + std::to_string(source.JobLineNr()) +
                          " would need the number " + std::to_string(number) + ", above " +
                          std::to_string(kHighestJobLineNr));
  }
  const int k = static_cast<int>(collection.CopiesOf(source.JobLineNr()).size()) + 1;
  RunLine* copy = collection.Add(static_cast<int32_t>(number));
  if (copy == nullptr) {
    // Cannot happen while the highest number only grows; kept as a failure, not a crash.
    return Status::Failed("job line " + std::to_string(number) + " exists already");
  }

  copy->SetOriginalJobLineNr(source.JobLineNr());
  copy->SetDefinition(source.SharedDefinition());
  copy->SetProgram(source.Program());
  copy->SetJobId(source.JobId());

  copy->SetLogFileName(RepeatCopyFileName(source.LogFileName(), k));
  copy->SetStatusFileName(RepeatCopyFileName(source.StatusFileName(), k));
  copy->SetSummaryFileName(RepeatCopyFileName(source.SummaryFileName(), k));
  copy->SetOutputFileName(RepeatCopyFileName(source.OutputFileName(), k));
  copy->SetProgramArguments(JobLineArguments(*copy));
  return copy;
}

}  // namespace jr
