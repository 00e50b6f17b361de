#pragma once
// The critical path of a finished run: the chain of attempts that set its end, so that an
// administrator knows which lines to make faster for the whole job to end sooner. And what
// tells a line that was slower than usual.

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "insight/usual_durations.h"
#include "platform/clock.h"
#include "store/run_history.h"

namespace jr {

// An attempt that started this long after what it waited for had ended was held back by
// something else; less is the runner's own pace between passes.
inline constexpr std::chrono::milliseconds kCriticalPathSlack{2000};

// What the path needs of the job besides the run's rows.
struct JobWaits {
  // Each job line's wait list, by its number. Empty when the job as the run had it is not
  // known: then only the maximum and the repeat links of the rows themselves count.
  std::map<int32_t, std::vector<int32_t>> wait_for;
  // The most lines that may run at once; 0 when not known, which takes the most the run
  // had running at once.
  int32_t maximum = 0;
  // Whether wait_for is the job's as the run read it.
  bool waits_known = false;
};

// The critical path of a run that started at `run_start`, from its line rows as the history
// gives them: line numbers of attempts (repeat copies by their own numbers), first to last.
// It ends with the attempt that ended last. An attempt's predecessor is, among the attempts
// that ended before it started and that it had to wait for (its wait list's lines and their
// repeat copies; for a repeat copy, the attempt it repeats), the one that ended last. When
// it started more than kCriticalPathSlack after that (or after the run's start, with nothing
// to wait for) and the maximum of running lines was reached, the attempt whose end freed
// the place is its predecessor instead. The chain stops at an attempt without one. Empty
// when no line both started and ended.
std::vector<int32_t> CriticalPath(const std::vector<RunLineRecord>& lines, const JobWaits& job,
                                  TimePoint run_start);

// The part of the run's duration that the path's attempts took, from 0 to 1; 0 for a run
// without an end or without a duration.
double CriticalPathShare(const std::vector<int32_t>& path, const std::vector<RunLineRecord>& lines,
                         const RunSummary& run);

// The path as the history prints it, "10 > 20 > 40". A long path keeps its first and last
// lines and says how many lie between ("10 > 20 > 30 > 40 > 50 > ... 4990 more ... > 49960
// > 49970 > 49980 > 49990 > 50000"), so that a chain of thousands stays one readable line.
std::string CriticalPathText(const std::vector<int32_t>& path);

// What the share measures, in words: "38 % of the run" when the path's lines filled most of
// the run, else also where the rest of it went (starting programs and waiting), so that a
// small figure is not read as a short path.
std::string CriticalPathShareText(double share);

// The job's waits as `run` had them: read from its job file when that still holds what the
// run read (its content digest is the run's); otherwise nothing but unknown waits, since a
// changed or missing file may wait differently.
JobWaits JobWaitsOfRun(const RunSummary& run);

// "the job file ... changed since run ...": why the path of `run` follows only the maximum
// and the repeats.
std::string WaitsUnknownText(const RunSummary& run);

// More than twice as long as usual, and at least this much longer: only then is an
// attempt slow, so that a line of a few seconds is not called slow for any hiccup.
inline constexpr std::chrono::seconds kSlowMargin{30};

// Whether the attempt took more than twice `usual` and at least kSlowMargin more; false
// without a usual duration or an end.
bool IsSlow(const RunLineRecord& line, const std::optional<std::chrono::milliseconds>& usual);

// What the history shows of a run beside its rows.
struct RunInsight {
  std::optional<std::vector<int32_t>> path;  // none for a run without an end
  double share = 0;                          // CriticalPathShare of the path
  bool waits_known = false;                  // as JobWaits::waits_known
  UsualDurations usual;                      // from the runs before it
};

// The critical path of `run` (when it has ended) and its lines' usual durations, from the
// runs of its job that started before it.
Result<RunInsight> ReadRunInsight(RunHistory& history, const RunSummary& run,
                                  const std::vector<RunLineRecord>& lines);

}  // namespace jr
