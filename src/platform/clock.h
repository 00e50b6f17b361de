#pragma once
// Where "now" comes from, so that tests can fix it.

#include <chrono>

namespace jr {

using TimePoint = std::chrono::system_clock::time_point;

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
