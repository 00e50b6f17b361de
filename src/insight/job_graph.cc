#include "insight/job_graph.h"

#include <memory>
#include <set>
#include <string_view>
#include <utility>

#include "insight/critical_path.h"
#include "model/job_line.h"
#include "platform/utf8.h"
#include "store/run_history.h"

namespace jr {
namespace {

// The length of the well-formed UTF-8 sequence at the start of `text`, or 0.
size_t Utf8SequenceLength(std::string_view text) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) length = 2;
  if (lead >= 0xE0 && lead <= 0xEF) length = 3;
  if (lead >= 0xF0 && lead <= 0xF4) length = 4;
  // No overlong forms, no surrogates, nothing beyond U+10FFFF.
  if (lead == 0xE0) low = 0xA0;
  if (lead == 0xED) high = 0x9F;
  if (lead == 0xF0) low = 0x90;
  if (lead == 0xF4) high = 0x8F;
  if (length == 0 || text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

// `text` as a quoted DOT string. Quotes and backslashes are escaped (a backslash would
// otherwise start one of the layout's own escapes), each line break becomes a centred line
// break, other control characters a blank, and bytes that are no UTF-8 U+FFFD, so that the
// layout takes every description as the text it is.
std::string DotString(std::string_view text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += "\\n";
    } else if (static_cast<unsigned char>(c) < 0x20 || c == '\x7f') {
      out += ' ';
    } else if (const size_t length = Utf8SequenceLength(text.substr(i)); length > 0) {
      out.append(text.substr(i, length));
      i += length;
      continue;
    } else {
      AppendUtf8(out, 0xFFFD);
    }
    ++i;
  }
  return out + "\"";
}

std::string NodeName(int32_t number) { return DotString("L" + std::to_string(number)); }

const char* FillColour(GraphOutcome outcome) {
  switch (outcome) {
    case GraphOutcome::kOk:
      return "green";
    case GraphOutcome::kFailed:
      return "red";
    case GraphOutcome::kSkipped:
      return "grey";
    case GraphOutcome::kNotRun:
      break;
  }
  return "white";
}

struct EdgeKind {
  int column;
  int more_column;  // a second list drawn the same, or -1
  const char* style;
  const char* attributes;  // after the style
};

// In the order the edges are written; both repeat lists draw the same edge.
constexpr EdgeKind kEdgeKinds[] = {
    {kColWait, -1, "", ""},
    {kColSkipOnSuccess, -1, "dashed", ", color=green, fontcolor=darkgreen, label=\"skip if ok\""},
    {kColSkipOnError, -1, "dashed", ", color=red, fontcolor=red, label=\"skip if failed\""},
    {kColRepeatOnError, kColRepeatOnSuccess, "dotted", ", label=\"repeat\""},
};

// The entries of a list; none when it does not read (a run refuses such a job anyway).
std::vector<int32_t> ListAt(const JobLineTable& table, int column, int row) {
  if (column < 0) return {};
  return ReadJobLineRefs(table.Text(column, row)).value.numbers();
}

GraphOutcome GraphOutcomeOf(LineOutcome outcome) {
  switch (outcome) {
    case LineOutcome::kOk:
    case LineOutcome::kOver:  // a rerun's line over had succeeded in the run before
      return GraphOutcome::kOk;
    case LineOutcome::kFailed:
    case LineOutcome::kInterrupted:  // cut short with its run: it did not succeed
      return GraphOutcome::kFailed;
    case LineOutcome::kSkipped:
      return GraphOutcome::kSkipped;
    case LineOutcome::kNotRun:
    case LineOutcome::kUnknown:
      break;
  }
  return GraphOutcome::kNotRun;
}

}  // namespace

std::string JobGraphDot(const JobLineTable& table, const std::optional<GraphRun>& run) {
  // The rows a run would take: the first of each number that reads, by number.
  std::map<int32_t, int> rows;
  for (int row = 0; row < table.LineCount(); ++row) {
    if (const std::optional<int32_t> number = JobLineNumberOf(table.At(kColNumber, row))) {
      rows.emplace(*number, row);
    }
  }
  std::set<std::pair<int32_t, int32_t>> critical;
  if (run) {
    for (size_t i = 1; i < run->critical_path.size(); ++i) {
      critical.emplace(run->critical_path[i - 1], run->critical_path[i]);
    }
  }

  std::string out = "digraph job {\n  node [shape=box, fontsize=10];\n  edge [fontsize=9];\n";
  for (const auto& [number, row] : rows) {
    std::string label = std::to_string(number);
    for (int column : {kColDescription, kColType}) {
      if (!table.Text(column, row).empty()) label += "\n" + table.Text(column, row);
    }
    const bool active = table.Text(kColActive, row) == "true";
    std::string style = active ? "" : "dashed";
    std::string attributes = active ? "" : ", color=grey, fontcolor=grey";
    if (run) {
      const auto found = run->outcomes.find(number);
      style += style.empty() ? "filled" : ",filled";
      attributes +=
          std::string(", fillcolor=") +
          FillColour(found == run->outcomes.end() ? GraphOutcome::kNotRun : found->second);
    }
    out += "  " + NodeName(number) + " [label=" + DotString(label);
    if (!style.empty()) out += ", style=\"" + style + "\"";
    out += attributes + "];\n";
  }

  for (const EdgeKind& kind : kEdgeKinds) {
    std::set<std::pair<int32_t, int32_t>> drawn;
    for (const auto& [number, row] : rows) {
      std::vector<int32_t> others = ListAt(table, kind.column, row);
      for (int32_t other : ListAt(table, kind.more_column, row)) others.push_back(other);
      for (int32_t other : others) {
        // A wait runs from the line waited for; the other lists from the line that acts.
        const auto edge =
            kind.column == kColWait ? std::pair(other, number) : std::pair(number, other);
        if (!rows.count(other) || !drawn.insert(edge).second) continue;
        std::string style = kind.style;
        if (critical.count(edge)) style += style.empty() ? "bold" : ",bold";
        out += "  " + NodeName(edge.first) + " -> " + NodeName(edge.second);
        if (!style.empty()) out += " [style=\"" + style + "\"" + kind.attributes + "]";
        out += ";\n";
      }
    }
  }
  return out + "}\n";
}

Result<std::optional<GraphRun>> ReadGraphRun(const std::string& database,
                                             const std::string& job_file,
                                             const std::string& run_id) {
  Result<std::unique_ptr<RunHistory>> history = RunHistory::OpenForReading(database);
  if (!history.ok()) return history.status;
  const Status no_such_run =
      Status::Failed("\"" + run_id + "\" is no recorded run of \"" + job_file + "\"");
  if (!history.value) return run_id.empty() ? Result<std::optional<GraphRun>>() : no_such_run;
  GraphRun run{run_id, {}, {}};
  RunSummary summary;
  if (run_id.empty()) {
    Result<std::vector<RunSummary>> newest = history.value->RecentRuns(job_file, 1);
    if (!newest.ok()) return newest.status;
    if (newest.value.empty()) return Result<std::optional<GraphRun>>();
    summary = std::move(newest.value.front());
    run.run_id = summary.run_id;
  } else {
    Result<std::optional<RunSummary>> found = history.value->FindRun(job_file, run_id);
    if (!found.ok()) return found.status;
    if (!found.value) return no_such_run;
    summary = std::move(*found.value);
  }
  Result<std::vector<std::vector<RunLineRecord>>> lines = history.value->Lines({run.run_id});
  if (!lines.ok()) return lines.status;
  if (summary.end) {
    // The graph has a node per job line only: a repeat copy on the path stands on its
    // line's node, so its step is the line's repeat edge.
    for (int32_t number :
         CriticalPath(lines.value.front(), JobWaitsOfRun(summary), summary.start)) {
      int32_t line = number;
      for (const RunLineRecord& row : lines.value.front()) {
        if (row.line == number && row.repeat_of) line = *row.repeat_of;
      }
      run.critical_path.push_back(line);
    }
  }
  // Rows come in the order the lines started: a repeat copy's outcome, later, is the
  // line's; a copy that never started leaves the line as it ended.
  for (const RunLineRecord& line : lines.value.front()) {
    const GraphOutcome outcome = GraphOutcomeOf(line.outcome);
    const int32_t number = line.repeat_of.value_or(line.line);
    if (outcome == GraphOutcome::kNotRun && run.outcomes.count(number)) continue;
    run.outcomes[number] = outcome;
  }
  return std::optional<GraphRun>(std::move(run));
}

}  // namespace jr
