// Feeds arbitrary bytes to the two status texts the runner reads: a job line's status file,
// whose first line is the program's verdict and may name lines to repeat, and a run lock
// file, in which a run names itself for `--status` and for a run that finds the job busy.
// A status line may name any lines any number of times: the repeat limit must still hold.
// A holder read from a lock file must read back the same from the text it is written as.

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/run_plan.h"
#include "engine/scheduler.h"
#include "fuzz_support.h"
#include "model/job_line.h"
#include "platform/file_system.h"
#include "store/run_lock_holder.h"

namespace {

constexpr int32_t kLimit = 3;
constexpr int32_t kLines[] = {10, 20, 30};

void JudgeStatusFile(std::string_view bytes) {
  const std::string path = fuzz::ScratchFile("status.txt", bytes);
  const std::string status = jr::RealFileSystem().ReadFirstLine(path);
  fuzz::Require(status.size() <= jr::kFirstLineLimit && status.find('\n') == std::string::npos);

  jr::RunLines lines;
  for (int32_t number : kLines) {
    jr::RunLine& line = *lines.Add(number);
    line.SetProgram("/bin/true");
    line.SetStatusFileName(path);
    line.EditDefinition().repeat_limit = kLimit;
  }
  jr::RunPlan plan(lines, 99);
  // Every line ends with this status; the copies it makes end with it too.
  for (int round = 0; round < 40; ++round) {
    const std::vector<jr::RunLine*> ready = plan.Startable(jr::TimePoint{});
    if (ready.empty()) break;
    jr::RunLine& line = *ready.front();
    plan.Started(line);
    const jr::LineVerdict verdict = jr::JudgeLine(line, status);
    const jr::Result<jr::JobLineRefs> repeat = jr::ReadJobLineRefs(verdict.repeat.value_or(""));
    fuzz::Require(repeat.ok() || !repeat.message().empty());
    if (!repeat.ok()) break;
    const auto next = plan.Finished(line, verdict.failed, verdict.repeat ? &repeat.value : nullptr);
    fuzz::Require(next.ok() || !next.message().empty());
  }
  fuzz::Require(lines.Count() <= static_cast<int32_t>(std::size(kLines)) * (1 + kLimit));
}

void ReadLockFile(std::string_view bytes) {
  const std::optional<jr::RunLockHolder> holder = jr::ParseRunLockHolder(bytes);
  if (!holder) return;
  const std::optional<jr::RunLockHolder> again =
      jr::ParseRunLockHolder(jr::RunLockHolderText(*holder));
  fuzz::Require(again && again->run_id == holder->run_id && again->pid == holder->pid &&
                again->start == holder->start && again->job_file == holder->job_file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  JudgeStatusFile(bytes);
  ReadLockFile(bytes);
  return 0;
}
