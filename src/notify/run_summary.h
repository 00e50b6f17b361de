#pragma once
// What a run that did not finish without errors leaves for the one who reads about it
// later (cron mails an unattended run's standard error): the job and its final status, each
// job line that went wrong with the end of its log file, the run folder and the reports.
// Plain text, so that a window or a mail body can carry it as it is.

#include <chrono>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/run_control.h"

namespace jr {

// How many lines of a troubled line's log file, and of its output file, the summary shows.
inline constexpr size_t kSummaryLogLines = 5;

// The most troubled lines the summary names one by one: the first and the last half of
// them. A line that repeated itself hundreds of times would otherwise fill a mail with
// copies of one story; the administrators' report keeps every one.
inline constexpr size_t kSummaryMostLines = 20;

// The last lines of a file the summary shows, as they were when the line ended.
struct FileTail {
  std::string file;  // empty when there is none
  // Its last lines, oldest first; or why it could not be read.
  std::vector<std::string> lines;
  std::string problem;
};

// A job line that failed, did not start or reached its time limit.
struct LineTrouble {
  int32_t number = 0;
  int32_t repeat_of = 0;  // the line a repeat copy repeats; 0 for none
  std::string description;
  std::string what;                                   // "failed", "did not start: REASON", ...
  std::optional<std::chrono::milliseconds> duration;  // none when its program never ran
  int32_t repeated_as = 0;  // the repeat copy its failure ordered; 0 for none
  FileTail log;
  // What its program wrote on standard output and error; none when it wrote nothing.
  FileTail output;
};

struct RunEndSummary {
  std::string job_description;
  std::string status_text;  // the final status: "finished with error(s)."
  std::vector<LineTrouble> lines;
  std::string run_folder;
  std::string admin_report;
  std::string user_report;
};

std::string RunEndSummaryText(const RunEndSummary& summary);

// The last `count` lines of `text`, oldest first, without their line breaks; a line break
// at the very end ends the last line rather than starting an empty one.
std::vector<std::string> LastLines(std::string_view text, size_t count);

// One of a run's observers: keeps every job line that went wrong, in the order it did,
// with the ends of its log and output files as they were when the line ended.
class LineTroubleCollector final : public RunObserver {
 public:
  void LineStarted(const RunLine& line) override;
  void LineFinished(const RunLine& line) override;
  void LineRepeated(const RunLine& original, const RunLine& copy) override;
  void LineCannotStart(const RunLine& line, std::string_view reason) override;
  void LineStartFailed(const RunLine& line, std::string_view failure) override;

  const std::vector<LineTrouble>& lines() const { return lines_; }

 private:
  LineTrouble& Add(const RunLine& line, std::string what);

  std::set<int32_t> started_;  // and not finished yet
  // Lines whose program could not be started; the runner noted why in their log files.
  std::set<int32_t> start_failed_;
  std::vector<LineTrouble> lines_;
};

}  // namespace jr
