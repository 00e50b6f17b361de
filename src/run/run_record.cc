#include "run/run_record.h"

#include <algorithm>

namespace jr {

RunRecorder::RunRecorder(RunHistory* history, const RunObservers& told, const Clock& clock)
    : history_(history), told_(told), clock_(clock) {
  if (history_ != nullptr) history_->HoldWrites();
}

void RunRecorder::Failed(const Status& status) {
  if (committed_ && DiskFull(status)) {
    // A full disk may get room again while the run goes on: every row is written again at
    // the next pass's end. The hold stays, so that the process metadata rows wait in it
    // instead of failing on the disk and stopping the run; a commit that fails drops them.
    changed_.clear();
    for (const auto& [number, record] : lines_) changed_.push_back(number);
    if (!waiting_for_room_) told_.Warning("the run history waits for room on the disk: " + status.message);
    waiting_for_room_ = true;
    return;
  }
  // The process metadata rows held with the history's are kept if they still can be, and
  // later ones no longer wait for a commit that would never come.
  static_cast<void>(history_->Flush(/*release=*/true));
  history_ = nullptr;
  told_.Warning("the run is left out of the run history: " + status.message);
}

void RunRecorder::Keep(bool release) {
  WriteChanged();
  if (history_ == nullptr) return;
  Status kept = history_->Flush(release);
  if (!kept.ok()) return Failed(kept);
  committed_ = true;
  waiting_for_room_ = false;
}

void RunRecorder::Changed(const RunLine& line) {
  const int32_t number = line.JobLineNr();
  if (std::find(changed_.begin(), changed_.end(), number) == changed_.end()) {
    changed_.push_back(number);
  }
}

void RunRecorder::WriteChanged() {
  if (history_ == nullptr || changed_.empty()) return changed_.clear();
  std::vector<RunLineRecord> records;
  records.reserve(changed_.size());
  for (int32_t number : changed_) records.push_back(lines_.at(number));
  changed_.clear();
  if (Status written = history_->WriteLines(run_id_, records); !written.ok()) Failed(written);
}

void RunRecorder::PassEnded() { Keep(); }

void RunRecorder::Begin(const RunStart& start) {
  if (history_ == nullptr) return;
  Result<std::string> id = history_->BeginRun(start);
  if (!id.ok()) return Failed(id.status);
  run_id_ = id.value;
}

RunLineRecord& RunRecorder::Record(const RunLine& line) {
  RunLineRecord& record = lines_[line.JobLineNr()];
  if (record.line == 0) {
    record.line = line.JobLineNr();
    record.position = static_cast<int32_t>(lines_.size()) - 1;
    record.description = line.definition().description;
    if (line.OriginalJobLineNr() > 0) record.repeat_of = line.OriginalJobLineNr();
  }
  return record;
}

void RunRecorder::Prepared(const RunLines& lines, const std::vector<int32_t>& over) {
  over_.insert(over.begin(), over.end());
  std::vector<RunLineRecord> records;
  for (const RunLine& line : lines) {
    RunLineRecord& record = Record(line);
    if (over_.count(line.JobLineNr())) record.outcome = LineOutcome::kOver;
    Changed(line);
  }
  Keep();
}

void RunRecorder::LineStarted(const RunLine& line) {
  RunLineRecord& record = Record(line);
  record.seq = next_seq_++;
  record.start = clock_.Now();
  Changed(line);
}

void RunRecorder::Ended(const RunLine& line) {
  RunLineRecord& record = Record(line);
  if (!record.start) {
    // It could not start: it began and ended at once.
    record.seq = next_seq_++;
    record.start = clock_.Now();
  }
  record.end = clock_.Now();
  record.outcome = OutcomeOf(line);
  record.exit_code = line.ErrorOccurred() ? 3 : 0;
  record.exit_status = line.ExitStatus();
  Changed(line);
}

void RunRecorder::LineFinished(const RunLine& line) { Ended(line); }

void RunRecorder::LineCannotStart(const RunLine& line, std::string_view) { Ended(line); }

void RunRecorder::LineSkipped(const RunLine& line) {
  RunLineRecord& record = Record(line);
  record.outcome = LineOutcome::kSkipped;
  Changed(line);
}

void RunRecorder::LineRepeated(const RunLine&, const RunLine& copy) {
  Record(copy);
  Changed(copy);
}

void RunRecorder::End(const RunLines& lines, ErrorLevel level) {
  if (history_ == nullptr) return;
  RunEnd end;
  end.end = clock_.Now();
  end.status = RunStatusOf(level);
  for (const RunLine& line : lines) {
    RunLineRecord& record = Record(line);
    // A line a rerun took as over did nothing in this run: it counts as none of these.
    record.outcome = over_.count(line.JobLineNr()) ? LineOutcome::kOver : OutcomeOf(line);
    if (record.outcome == LineOutcome::kOk) ++end.succeeded;
    if (record.outcome == LineOutcome::kFailed) ++end.failed;
    if (record.outcome == LineOutcome::kSkipped) ++end.skipped;
    // A line still running when the run ended was left to itself: it did not end here.
    if (record.outcome != LineOutcome::kOk && record.outcome != LineOutcome::kFailed) {
      record.exit_code.reset();
      record.exit_status.reset();
    }
    Changed(line);
  }
  WriteChanged();
  if (history_ == nullptr) return;
  if (Status ended = history_->EndRun(run_id_, end); !ended.ok()) return Failed(ended);
  Keep(/*release=*/true);
}

}  // namespace jr
