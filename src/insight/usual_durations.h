#pragma once
// How long a job line usually takes, from its job's own history: what a run is compared
// with (lines slower than usual) and what the expected end of a run going on is built from.

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/status.h"
#include "store/run_history.h"

namespace jr {

// A line's usual duration comes from the newest this many earlier runs in which it ended ok.
inline constexpr size_t kUsualDurationRuns = 10;
// How many of the job's newest runs are read for them: a line that ended ok in none of these
// has no usual duration, however old a success of it may be.
inline constexpr int kUsualDurationLookBack = 200;

// The median of durations (the mean of the middle two for an even count); not for none.
std::chrono::milliseconds Median(std::vector<std::chrono::milliseconds> values);

// By job line number; a line that is not there has no usual duration (unknown). One array
// in number order: a run of many thousand lines holds it from its start to its end.
class UsualDurations {
 public:
  using value_type = std::pair<int32_t, std::chrono::milliseconds>;
  using const_iterator = std::vector<value_type>::const_iterator;

  UsualDurations() = default;
  UsualDurations(std::initializer_list<value_type> entries);
  // From entries in number order, each number once.
  explicit UsualDurations(std::vector<value_type> sorted) : entries_(std::move(sorted)) {}

  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }
  const_iterator find(int32_t line) const;
  bool contains(int32_t line) const { return find(line) != end(); }
  // Throws std::out_of_range for a line that has none.
  std::chrono::milliseconds at(int32_t line) const;
  // The line's entry, made (zero) when it has none.
  std::chrono::milliseconds& operator[](int32_t line);
  bool empty() const { return entries_.empty(); }
  size_t size() const { return entries_.size(); }
  friend bool operator==(const UsualDurations&, const UsualDurations&) = default;

 private:
  // Where the line's entry is or would go.
  size_t Place(int32_t line) const;

  std::vector<value_type> entries_;
};

// From runs newest first, with their line rows in the same order (as RunHistory::Lines gives
// them): for each line, the median duration of its attempts that ended ok (a repeat copy's
// counted for the line it repeats) in the newest kUsualDurationRuns runs in which it ended
// ok. Runs without an end, or that were refused, are passed over.
UsualDurations UsualDurationsOf(const std::vector<RunSummary>& runs,
                                const std::vector<std::vector<RunLineRecord>>& lines);

// The usual duration of `line`, one of a run's rows whose repeat copies `links` names (the
// RepeatLinks of the rows, made once for all of them): a copy's is that of the line it
// repeats.
std::optional<std::chrono::milliseconds> UsualDurationOf(const RunLineRecord& line,
                                                         const std::map<int32_t, int32_t>& links,
                                                         const UsualDurations& usual);

// The usual durations of a job file's lines from the runs that started before `before` (the
// start of the run they are wanted for: a finished run is compared with the runs before it;
// a run going on never counts, it has no end).
Result<UsualDurations> ReadUsualDurations(RunHistory& history, const std::string& job_file,
                                          TimePoint before);

}  // namespace jr
