#pragma once
// The job as a graph, in the DOT language of the common graph layout tools: one node per
// job line and an edge for each wait, skip and repeat between lines, optionally coloured by
// what a run made of each line. `jobrunner --graph` prints it and the window lays it out.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "model/job_line_table.h"
#include "platform/status.h"

namespace jr {

enum class GraphOutcome { kOk, kFailed, kSkipped, kNotRun };

// What one run made of the job's lines, for colouring its graph.
struct GraphRun {
  std::string run_id;
  // By job line number; a line that is missing counts as not run.
  std::map<int32_t, GraphOutcome> outcomes;
  // Job line numbers in order; the edges between neighbours are drawn bold.
  std::vector<int32_t> critical_path;
};

// The digraph of the table's job lines. A node is named "L" and the line's number and
// labelled with the number, description and type; switched-off lines are dashed and grey.
// Edges: waited-for line to waiting line (solid), a line to the lines it skips on success
// (dashed, green, "skip if ok") and on error (dashed, red, "skip if failed"), and to the
// lines it repeats (dotted, "repeat"). With `run`, nodes are filled by its outcomes and
// the critical path's edges are bold. Rows whose number does not read, a second row with a
// number already seen and list entries that name no line are left out, as a run leaves
// them out.
std::string JobGraphDot(const JobLineTable& table, const std::optional<GraphRun>& run);

// Run `run_id` of `job_file` (an absolute name) from the run history at `database`, with
// its critical path when it has ended (repeat copies on it stand for their lines); the
// newest run when `run_id` is empty. Nullopt when the job
// has no runs and no id was asked for; fails naming the run when it is no run of the job,
// or naming the database when it cannot be read.
Result<std::optional<GraphRun>> ReadGraphRun(const std::string& database,
                                             const std::string& job_file,
                                             const std::string& run_id);

}  // namespace jr
