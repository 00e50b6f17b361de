#include "engine/result_files.h"

#include "model/catalogue.h"
#include "model/job_rules.h"

namespace jr {
namespace {

const std::string kQuote = "\"";

// " -Switch "name"", or nothing when the line has no such file. A copy of a line that
// writes no log file (a settings editor) must not be told to write one named "".
std::string FileSwitch(std::string_view name_of_switch, const std::string& file) {
  if (file.empty()) return {};
  return " " + std::string(name_of_switch) + " " + kQuote + file + kQuote;
}

}  // namespace

std::string ReadStatusLine(const FileSystem& file_system, const std::string& path) {
  if (path.empty()) return {};
  return file_system.ReadFirstLine(path);
}

std::string RepeatCopyFileName(const std::string& name, int k) {
  if (name.empty()) return {};
  std::string stem = name.size() >= 4 ? name.substr(0, name.size() - 4) : name;
  return stem + "_Rpt" + std::to_string(k) + ".txt";
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

  copy->setOriginalJobLineNr(source.JobLineNr());
  copy->setJobDescription(source.JobDescription());
  copy->setProgramType(source.ProgramType());
  copy->setCleanProgramOptions(source.CleanProgramOptions());
  copy->setWaitFor(source.WaitFor());
  copy->setStopOnError(source.StopOnError());
  copy->setProgramExecuter(source.ProgramExecuter());
  copy->setUserProgramName(source.UserProgramName());
  copy->setSkipOnError(source.SkipOnError());
  copy->setSkipOnSuccess(source.SkipOnSuccess());
  copy->setRepeatOnError(source.RepeatOnError());
  copy->setRepeatOnSuccess(source.RepeatOnSuccess());
  copy->setTimeLimit(source.TimeLimit());
  copy->setRepeated(false);

  const std::string log = RepeatCopyFileName(source.LogFileName(), k);
  const std::string status = RepeatCopyFileName(source.StatusFileName(), k);
  copy->setLogFileName(log);
  copy->setStatusFileName(status);
  const std::string& own = source.CleanProgramOptions();
  if (source.ProgramType() == kUserBatchfile) {
    copy->setSummaryFileName({});
    copy->setProgramOptions(own + " " + status + " " + log);
  } else if (source.ProgramType() == kRunQuillmartScript) {
    const std::string summary = RepeatCopyFileName(source.SummaryFileName(), k);
    copy->setSummaryFileName(summary);
    copy->setProgramOptions(own + FileSwitch("-Summary", summary) +
                            FileSwitch("-StatusFile", status) + FileSwitch("-LogFile", log));
  } else {
    copy->setSummaryFileName({});
    copy->setProgramOptions(own + FileSwitch("-StatusFile", status) + FileSwitch("-LogFile", log));
  }
  return copy;
}

}  // namespace jr
