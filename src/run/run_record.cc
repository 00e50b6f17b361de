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
    for (Kept& kept : lines_) {
      kept.changed = false;
      Changed(kept);
    }
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

void RunRecorder::Keep(bool release, Durability durability) {
  WriteChanged();
  if (history_ == nullptr) return;
  Status kept = history_->Flush(release, durability);
  if (!kept.ok()) return Failed(kept);
  committed_ = true;
  waiting_for_room_ = false;
}

void RunRecorder::Changed(Kept& kept) {
  if (kept.changed) return;
  kept.changed = true;
  changed_.push_back(static_cast<uint32_t>(&kept - lines_.data()));
}

RunLineRecord RunRecorder::RowOf(size_t position) const {
  const Kept& kept = lines_[position];
  RunLineRecord record;
  record.line = kept.number;
  record.position = static_cast<int32_t>(position);
  if (kept.seq >= 0) record.seq = kept.seq;
  record.description = kept.line->definition().description;
  if (kept.start != Kept::kNever) record.start = kept.start;
  if (kept.end != Kept::kNever) record.end = kept.end;
  record.outcome = kept.outcome;
  record.exit_code = kept.exit_code;
  if (kept.line->OriginalJobLineNr() > 0) record.repeat_of = kept.line->OriginalJobLineNr();
  record.exit_status = kept.exit_status;
  return record;
}

void RunRecorder::WriteChanged() {
  std::vector<uint32_t> changed = std::move(changed_);
  changed_.clear();
  for (uint32_t position : changed) lines_[position].changed = false;
  if (history_ == nullptr) return;
  // Rows go in batches, so that the rows of a large run's start are not all copied at once.
  constexpr size_t kBatch = 256;
  std::vector<RunLineRecord> records;
  records.reserve(std::min(changed.size(), kBatch));
  for (size_t from = 0; from < changed.size(); from += kBatch) {
    records.clear();
    for (size_t i = from; i < std::min(changed.size(), from + kBatch); ++i) {
      records.push_back(RowOf(changed[i]));
    }
    if (Status written = history_->WriteLines(run_id_, records); !written.ok()) {
      return Failed(written);
    }
  }
}

// The rows' sync goes on while the run waits for its programs: what a line started now
// could change is on the disk before the next program starts (BeforeStarts). The rows of
// lines that ended since are written only after those starts, at this pass's end.
void RunRecorder::PassEnded() { Keep(false, Durability::kSyncing); }

void RunRecorder::BeforeStarts() {
  if (history_ == nullptr) return;
  if (Status synced = history_->AwaitDisk(); !synced.ok()) Failed(synced);
}

void RunRecorder::Begin(const RunStart& start) {
  if (history_ == nullptr) return;
  Result<std::string> id = history_->BeginRun(start);
  if (!id.ok()) return Failed(id.status);
  run_id_ = id.value;
}

RunRecorder::Kept& RunRecorder::Record(const RunLine& line) {
  const int32_t number = line.JobLineNr();
  // Lines are nearly always first seen in the order they were added to the run, and then
  // the line is at its place counted from the first, which spares a large run the search.
  if (!lines_.empty() && line.Sequence() >= lines_.front().line->Sequence()) {
    const uint64_t guess = line.Sequence() - lines_.front().line->Sequence();
    if (guess < lines_.size() && lines_[guess].line == &line && lines_[guess].number == number) {
      return lines_[guess];
    }
  }
  auto at = std::lower_bound(positions_.begin(), positions_.end(), std::pair(number, 0u));
  if (at != positions_.end() && at->first == number) return lines_[at->second];
  positions_.insert(at, {number, static_cast<uint32_t>(lines_.size())});
  Kept& kept = lines_.emplace_back();
  kept.line = &line;
  kept.number = number;
  return kept;
}

void RunRecorder::Prepared(const RunLines& lines, const std::vector<int32_t>& over) {
  over_.insert(over.begin(), over.end());
  lines_.reserve(lines_.size() + static_cast<size_t>(lines.Count()));
  // The lines are taken in at once and ordered by number once: a job numbered from the
  // back would otherwise move the whole index for each line.
  std::vector<std::pair<int32_t, uint32_t>> added;
  for (const RunLine& line : lines) {
    const int32_t number = line.JobLineNr();
    auto at = std::lower_bound(positions_.begin(), positions_.end(), std::pair(number, 0u));
    if (at == positions_.end() || at->first != number) {
      added.emplace_back(number, static_cast<uint32_t>(lines_.size()));
      Kept& kept = lines_.emplace_back();
      kept.line = &line;
      kept.number = number;
    }
  }
  positions_.insert(positions_.end(), added.begin(), added.end());
  std::sort(positions_.begin(), positions_.end());
  for (const RunLine& line : lines) {
    Kept& kept = Record(line);
    if (over_.count(line.JobLineNr())) kept.outcome = LineOutcome::kOver;
    Changed(kept);
  }
  Keep();
}

void RunRecorder::LineStarted(const RunLine& line) {
  Kept& record = Record(line);
  record.seq = next_seq_++;
  record.start = clock_.Now();
  Changed(record);
}

void RunRecorder::Ended(const RunLine& line) {
  Kept& record = Record(line);
  if (record.start == Kept::kNever) {
    // It could not start: it began and ended at once.
    record.seq = next_seq_++;
    record.start = clock_.Now();
  }
  record.end = clock_.Now();
  record.outcome = OutcomeOf(line);
  record.exit_code = line.ErrorOccurred() ? 3 : 0;
  record.exit_status = line.ExitStatus();
  Changed(record);
}

void RunRecorder::LineFinished(const RunLine& line) { Ended(line); }

void RunRecorder::LineCannotStart(const RunLine& line, std::string_view) { Ended(line); }

void RunRecorder::LineSkipped(const RunLine& line) {
  Kept& record = Record(line);
  record.outcome = LineOutcome::kSkipped;
  Changed(record);
}

void RunRecorder::LineRepeated(const RunLine&, const RunLine& copy) {
  Changed(Record(copy));
}

void RunRecorder::End(const RunLines& lines, ErrorLevel level) {
  if (history_ == nullptr) return;
  RunEnd end;
  end.end = clock_.Now();
  end.status = RunStatusOf(level);
  for (const RunLine& line : lines) {
    Kept& record = Record(line);
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
    Changed(record);
  }
  WriteChanged();
  if (history_ == nullptr) return;
  if (Status ended = history_->EndRun(run_id_, end); !ended.ok()) return Failed(ended);
  Keep(/*release=*/true);
}

}  // namespace jr
