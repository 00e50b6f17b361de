#include "notify/run_summary.h"

#include <cstdio>

#include "platform/regular_file.h"

namespace jr {
namespace {

// Enough for the last few lines of any log a person would read; a huge log is not read
// whole at the end of a run.
constexpr size_t kLogTailBytes = 64 * 1024;

std::string SecondsText(std::chrono::milliseconds duration) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(duration.count()) / 1000.0);
  return text;
}

// The end of `file`; with `only_if_there`, a file that is not there is none.
FileTail ReadTail(const std::string& file, bool only_if_there = false) {
  FileTail tail{file, {}, {}};
  if (file.find_first_not_of(' ') == std::string::npos) return tail;
  const FileReadResult read = ReadRegularFile(file, kLogTailBytes, OverLimit::kTail);
  if (read.ok()) {
    tail.lines = LastLines(read.text, kSummaryLogLines);
  } else if (only_if_there && read.status == FileReadStatus::kMissing) {
    tail.file.clear();
  } else {
    tail.problem = read.cause;
  }
  return tail;
}

void AppendTail(std::string& text, std::string_view what, const FileTail& tail) {
  if (tail.file.find_first_not_of(' ') == std::string::npos) return;
  text += "    " + std::string(what) + " " + tail.file;
  if (!tail.problem.empty()) {
    text += ": cannot be read (" + tail.problem + ")\n";
    return;
  }
  text += tail.lines.empty() ? std::string(": empty\n") : ", last lines:\n";
  for (const std::string& line : tail.lines) text += "      " + line + "\n";
}

}  // namespace

std::string RunEndSummaryText(const RunEndSummary& summary) {
  std::string text = "Job \"" + summary.job_description + "\": " + summary.status_text + "\n";
  const size_t count = summary.lines.size();
  const size_t left_out = count > kSummaryMostLines ? count - kSummaryMostLines : 0;
  for (size_t i = 0; i < count; ++i) {
    if (left_out > 0 && i == kSummaryMostLines / 2) {
      text += "  ... " + std::to_string(left_out) +
              " more job lines went wrong; the administrators' report names them all\n";
      i += left_out - 1;
      continue;
    }
    const LineTrouble& line = summary.lines[i];
    text += "  job line " + std::to_string(line.number);
    if (line.repeat_of > 0) text += " (repeat of " + std::to_string(line.repeat_of) + ")";
    text += " (" + line.description + "): " + line.what;
    if (line.duration) text += " after " + SecondsText(*line.duration);
    if (line.repeated_as > 0) text += "; repeated as job line " + std::to_string(line.repeated_as);
    text += "\n";
    AppendTail(text, "log file", line.log);
    AppendTail(text, "output file", line.output);
  }
  text += "  run folder: " + summary.run_folder + "\n";
  text += "  reports:    " + summary.admin_report + "\n";
  text += "              " + summary.user_report + "\n";
  return text;
}

std::vector<std::string> LastLines(std::string_view text, size_t count) {
  if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
  std::vector<std::string> lines;
  while (lines.size() < count && !text.empty()) {
    const size_t start = text.rfind('\n');
    std::string_view line = start == std::string_view::npos ? text : text.substr(start + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.insert(lines.begin(), std::string(line));
    text = start == std::string_view::npos ? std::string_view() : text.substr(0, start);
  }
  return lines;
}

void LineTroubleCollector::LineStarted(const RunLine& line) { started_.insert(line.JobLineNr()); }

void LineTroubleCollector::LineFinished(const RunLine& line) {
  // Only running lines are kept: a run of many thousand lines would keep every one.
  const bool started = started_.erase(line.JobLineNr()) != 0;
  if (!line.ErrorOccurred()) return;
  if (!started) {
    LineTrouble& trouble = Add(
        line, !line.HasProgram()
                  ? std::string("did not start: its type has no program")
                  : "did not start: the program \"" + line.Program() + "\" could not be started");
    // The log's last line says why.
    if (start_failed_.contains(line.JobLineNr())) trouble.log = ReadTail(line.LogFileName());
    return;
  }
  LineTrouble& trouble =
      Add(line, line.TimeLimitReached()
                    ? "time limit of " + std::to_string(line.definition().time_limit) +
                          " s reached; the program was ended"
                    : std::string("failed"));
  if (line.StartingTime() && line.StopTime()) {
    trouble.duration = std::chrono::duration_cast<std::chrono::milliseconds>(*line.StopTime() -
                                                                             *line.StartingTime());
  }
  // The program's own log, and what else it said: the administrators' report shows both.
  trouble.log = ReadTail(line.LogFileName());
  trouble.output = ReadTail(line.OutputFileName(), /*only_if_there=*/true);
}

void LineTroubleCollector::LineRepeated(const RunLine& original, const RunLine& copy) {
  for (auto it = lines_.rbegin(); it != lines_.rend(); ++it) {
    if (it->number != original.JobLineNr()) continue;
    it->repeated_as = copy.JobLineNr();
    return;
  }
}

void LineTroubleCollector::LineCannotStart(const RunLine& line, std::string_view reason) {
  Add(line, "did not start: " + std::string(reason));
}

void LineTroubleCollector::LineStartFailed(const RunLine& line, std::string_view) {
  start_failed_.insert(line.JobLineNr());
}

LineTrouble& LineTroubleCollector::Add(const RunLine& line, std::string what) {
  LineTrouble& trouble = lines_.emplace_back();
  trouble.number = line.JobLineNr();
  trouble.repeat_of = line.OriginalJobLineNr();
  trouble.description = line.definition().description;
  trouble.what = std::move(what);
  return trouble;
}

}  // namespace jr
