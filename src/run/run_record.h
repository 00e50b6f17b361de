#pragma once
// Keeps a run in the run history while it goes on: the run's row at its start, a row per
// job line that follows each start and end, and the end with the final status and counts.
// A runner that is killed leaves the rows as they were: an interrupted run whose lines
// show how far it got. The rows of one scheduler pass, the process metadata rows written
// through the same database among them, go in one transaction committed as the pass ends
// (RunHistory::HoldWrites), so a killed runner loses none that it had acted on before it
// last waited. Writing the history never stops a run; a failure is told once as a warning
// to the run's other observers and the rest of the history is left out, but for a full
// disk, which is tried again at each pass's end once the run's row is in.

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/run_control.h"
#include "insight/run_outcome.h"
#include "model/run_lines.h"
#include "store/run_history.h"

namespace jr {

// One of a run's observers: records what it sees.
class RunRecorder final : public RunObserver {
 public:
  // `history` may be null: nothing is recorded. A failure to record is a warning to `told`.
  // Holds the history's writes until Prepared, each pass's end and End commit them.
  RunRecorder(RunHistory* history, const RunObservers& told, const Clock& clock);

  // Writes the run's row; the id it got is run_id() (empty when nothing is recorded).
  void Begin(const RunStart& start);
  // The run's lines before any starts, all not run but those a rerun takes as `over`.
  void Prepared(const RunLines& lines, const std::vector<int32_t>& over = {});
  // Every line's final state, then the run's end; later writes commit on their own again.
  void End(const RunLines& lines, ErrorLevel level);
  const std::string& run_id() const { return run_id_; }

  void LineStarted(const RunLine& line) override;
  void LineFinished(const RunLine& line) override;
  void LineSkipped(const RunLine& line) override;
  void LineRepeated(const RunLine& original, const RunLine& copy) override;
  void LineCannotStart(const RunLine& line, std::string_view reason) override;
  void PassEnded() override;
  void BeforeStarts() override;

 private:
  // What is kept of a line between the writes of its row, small for runs of many thousand
  // lines: the rest of the row is read from the line, which stays in the run's collection
  // until the run ends.
  struct Kept {
    static constexpr TimePoint kNever = TimePoint::min();
    const RunLine* line = nullptr;
    TimePoint start = kNever, end = kNever;
    int32_t number = 0;  // the line's number when it was first seen
    int32_t seq = -1;  // none before it starts
    std::optional<int> exit_status;
    LineOutcome outcome = LineOutcome::kNotRun;
    std::optional<int8_t> exit_code;
    bool changed = false;
  };
  // The line's entry, made when first seen; its position is the order it was first seen in.
  Kept& Record(const RunLine& line);
  RunLineRecord RowOf(size_t position) const;
  // Marks the line's row as changed; the changed rows are written when the pass ends, after
  // the pass has started what it could, so that no program waits for the database.
  void Changed(Kept& kept);
  void WriteChanged();
  void Ended(const RunLine& line);
  // Commits what is held; `release` ends the hold.
  void Keep(bool release = false, Durability durability = Durability::kOnDisk);
  void Failed(const Status& status);

  RunHistory* history_;
  const RunObservers& told_;
  const Clock& clock_;
  std::string run_id_;
  int32_t next_seq_ = 0;
  std::vector<Kept> lines_;
  // (number, position in lines_), ordered by number.
  std::vector<std::pair<int32_t, uint32_t>> positions_;
  std::vector<uint32_t> changed_;  // positions, in the order they changed
  std::set<int32_t> over_;
  bool committed_ = false;  // a commit since Begin: the run's row is in
  bool waiting_for_room_ = false;
};

}  // namespace jr
