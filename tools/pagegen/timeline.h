#pragma once
// The run at a glance: one bar a job line from its start to its end, drawn as inline SVG
// (no scripts, nothing loaded from elsewhere), so that lines that ran side by side and
// the slowest line stand out.

#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace pagegen {

struct TimelineBar {
  std::string label;   // raw text; escaped when drawn
  std::string anchor;  // id of the line's section on the page
  bool failed = false;
  std::time_t start = 0;
  std::time_t end = 0;  // not before start
};

// The most bars that overlap at any moment (a bar covers at least one second).
int MostAtOnce(const std::vector<TimelineBar>& bars);

// The index of the longest bar (the first of equals); -1 when there is none.
int Slowest(const std::vector<TimelineBar>& bars);

// An HTML figure with the SVG drawing and a caption naming the slowest line and the
// most lines that ran at once; empty when `bars` is empty. The axis spans the job's own
// start and end when given.
std::string RenderTimeline(const std::vector<TimelineBar>& bars,
                           std::optional<std::time_t> job_start,
                           std::optional<std::time_t> job_end);

}  // namespace pagegen
