// The job graph's DOT text: what each line and list becomes, and labels that stay the
// text they are whatever a description holds.

#include "insight/job_graph.h"

#include <gtest/gtest.h>

#include "model/job_line.h"

namespace jr {
namespace {

TEST(JobGraphTest, LinesListsOutcomesAndEscapes) {
  JobLineTable table;
  AppendJobLine(table, {.number = 20,
                        .description = "say \"hi\" \\N\r\nnext\tline \xc3\xbc \xff",
                        .type = "Flow Runner",
                        .wait_for = {"10", {10}},
                        .skip_on_error = {"30", {30}},
                        .skip_on_success = {"40,99", {40, 99}},
                        .repeat_on_error = {"20", {20}},
                        .repeat_on_success = {"20", {20}}});
  AppendJobLine(table, {.number = 10, .type = "Scan Anomalies"});
  AppendJobLine(table, {.number = 30, .active = false});
  AppendJobLine(table, {.number = 40, .wait_for = {"20", {20}}});
  AppendJobLine(table, {.number = 10, .description = "second 10"});
  const std::string plain = JobGraphDot(table, std::nullopt);
  const char* expected[] = {
      "\"L10\" [label=\"10\\nScan Anomalies\"];",
      "\"L20\" [label=\"20\\nsay \\\"hi\\\" \\\\N\\nnext line \xc3\xbc \xef\xbf\xbd\\nFlow "
      "Runner\"];",
      "\"L30\" [label=\"30\", style=\"dashed\", color=grey, fontcolor=grey];",
      "\"L10\" -> \"L20\";\n  \"L20\" -> \"L40\";\n",
      "\"L20\" -> \"L40\" [style=\"dashed\", color=green, fontcolor=darkgreen, label=\"skip if "
      "ok\"];",
      "\"L20\" -> \"L30\" [style=\"dashed\", color=red, fontcolor=red, label=\"skip if failed\"];",
      "\"L20\" -> \"L20\" [style=\"dotted\", label=\"repeat\"];\n}\n"};
  for (const char* part : expected) EXPECT_NE(plain.find(part), std::string::npos) << part;
  // The second 10 and the list entry 99 name no line a run would take.
  EXPECT_EQ(plain.find("second"), std::string::npos);
  EXPECT_EQ(plain.find("L99"), std::string::npos);
  EXPECT_EQ(plain.find("repeat", plain.find("repeat") + 1), std::string::npos) << plain;

  const GraphRun run{
      "r1",
      {{10, GraphOutcome::kOk}, {20, GraphOutcome::kFailed}, {40, GraphOutcome::kSkipped}},
      {10, 20, 40}};
  const std::string coloured = JobGraphDot(table, run);
  const char* filled[] = {
      "Anomalies\", style=\"filled\", fillcolor=green];",
      "Flow Runner\", style=\"filled\", fillcolor=red];",
      "\"30\", style=\"dashed,filled\", color=grey, fontcolor=grey, fillcolor=white];",
      "\"40\", style=\"filled\", fillcolor=grey];",
      "\"L10\" -> \"L20\" [style=\"bold\"];\n  \"L20\" -> \"L40\" [style=\"bold\"];\n",
      "\"L20\" -> \"L40\" [style=\"dashed,bold\", color=green",
      "\"L20\" -> \"L30\" [style=\"dashed\", color=red"};
  for (const char* part : filled) EXPECT_NE(coloured.find(part), std::string::npos) << part;
}

}  // namespace
}  // namespace jr
