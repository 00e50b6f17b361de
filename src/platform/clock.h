#pragma once
// Where "now" comes from, so that tests can fix it.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>

namespace jr {

using TimePoint = std::chrono::system_clock::time_point;

// The time `ms` milliseconds after 1970 as the clock counts it. What a file or a database
// row says may lie far beyond the clock's range (a damaged row, a hand edit); such a time
// becomes the nearest one within half that range, so that the difference of any two times
// made here still fits the clock's count.
inline TimePoint TimeOfMilliseconds(int64_t ms) {
  using std::chrono::milliseconds;
  constexpr int64_t kFurthest =
      std::chrono::duration_cast<milliseconds>((TimePoint::duration::max)() / 2).count();
  return TimePoint(std::chrono::duration_cast<TimePoint::duration>(
      milliseconds(std::clamp(ms, -kFurthest, kFurthest))));
}

// The seconds from `from` to `to`, with their fraction.
inline double SecondsBetween(TimePoint from, TimePoint to) {
  return std::chrono::duration<double>(to - from).count();
}

// When a run going on is expected to end.
struct ExpectedEnd {
  // None when no line still to end has a usual duration.
  std::optional<TimePoint> end;
  // An end is given, but a line still to end has no usual duration and was counted as
  // taking no time.
  bool lower_bound = false;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual TimePoint Now() const = 0;
};

class SystemClock final : public Clock {
 public:
  TimePoint Now() const override { return std::chrono::system_clock::now(); }
};

}  // namespace jr
