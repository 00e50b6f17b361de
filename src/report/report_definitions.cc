#include "report/report_definitions.h"

#include <sstream>
#include <utility>

#include "model/time_text.h"
#include "platform/atomic_file.h"
#include "report/win_nt_event_log.h"

namespace jr {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

// A line break inside a value would start a line of its own, which the generator would
// read as a tag (a description could make it include any file), so it becomes a blank.
std::string OneLine(std::string_view value) {
  std::string text(value);
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

void Line(std::ostream& file, std::string_view text) { file << OneLine(text) << kLineEnd; }

void Field(std::ostream& file, std::string_view label, std::string_view value) {
  file << label << "\t: " << OneLine(value) << kLineEnd;
}

// The cause, naming the file, of a write that failed; empty for one that did not.
std::string WriteFailure(const Status& written) {
  if (written.ok()) return {};
  std::string error = written.message;
  // "Cannot write "NAME": the disk is full." reads as a clause after a colon.
  if (!error.empty() && error.back() == '.') error.pop_back();
  if (!error.empty() && error.front() >= 'A' && error.front() <= 'Z') error.front() += 'a' - 'A';
  return error;
}

}  // namespace

std::string StatusText(ErrorLevel error_level) {
  switch (error_level) {
    case ErrorLevel::kNoErrors:
      return "finished without errors.";
    case ErrorLevel::kErrors:
      return "finished with error(s).";
    case ErrorLevel::kFatal:
      break;
  }
  return "finished with fatal error.";
}

void WriteJobLineReportEntry(std::ostream& file, const RunLine& line, ErrorLevel& error_level,
                             const FileSystem& file_system) {
  std::string heading = line.definition().description + " (" + line.definition().type + ")";
  if (line.OriginalJobLineNr() > 0) heading += " (Repeat) ";
  heading += line.ErrorOccurred() ? "  :  FAILED" : "  :  OK";

  Line(file, "<Heading>");
  Line(file, heading);
  Line(file, "<FileSummary>");
  Field(file, "Start Time", FormatTimeText(line.StartingTime()));
  Field(file, "End Time  ", FormatTimeText(line.StopTime()));
  Line(file, "</FileSummary>");
  if (line.definition().type == "Run Quillmart script") {
    Line(file, "<FileInclude>");
    Line(file, line.SummaryFileName());
    Line(file, kFileLinkTag);
    Line(file, "\"" + line.LogFileName() + "\"");
  } else if (line.LogFileName().find_first_not_of(' ') != std::string::npos) {
    Line(file, "<FileInclude>");
    Line(file, line.LogFileName());
  }
  // Only a program that wrote something left one.
  if (!line.OutputFileName().empty() && file_system.FileExists(line.OutputFileName())) {
    Line(file, kOutputLinkTag);
    Line(file, "\"" + line.OutputFileName() + "\"");
  }

  if (line.ErrorOccurred()) {
    // A line whose repeat was ordered may still succeed on its next try, so only
    // stop-on-error makes its failure count.
    if (error_level == ErrorLevel::kNoErrors && !line.Repeated()) error_level = ErrorLevel::kErrors;
    if (line.definition().stop_on_error) error_level = ErrorLevel::kFatal;
  }
}

ReportOutcome WriteReportDefinitions(const std::string& admin_definition_file,
                                     const std::string& user_definition_file,
                                     const std::string& job_description, const RunLines& collection,
                                     TimePoint start_time, bool log_to_event_log, bool interrupted,
                                     RunEnv& env) {
  ReportOutcome outcome;

  // Made and written a piece at a time: a run of many thousand lines has a long definition.
  // The pieces also count the lines' errors, so all are made, written or not.
  bool head = true;
  auto line = collection.begin();
  std::string piece;
  const auto next_piece = [&]() -> std::string_view {
    std::ostringstream admin;
    if (std::exchange(head, false)) {
      Line(admin, "<ReportInfo>");
      Field(admin, "Job Description", job_description);
      Field(admin, "Start Time Job", FormatTimeText(start_time));
      Field(admin, "End Time Job  ", FormatTimeText(env.clock.Now()));
      Line(admin, "</ReportInfo>");
    }
    for (; line != collection.end() && admin.tellp() < (1 << 16); ++line) {
      if (line->AlreadyRun() && !line->IsSkipped()) {
        WriteJobLineReportEntry(admin, *line, outcome.error_level, env.file_system);
      }
    }
    piece = std::move(admin).str();
    return piece;
  };
  outcome.admin_definition_error =
      WriteFailure(ReplaceFileContents(admin_definition_file, next_piece));
  while (!next_piece().empty()) {
  }

  // A run that was stopped did not do what the job asked, whatever its lines reported.
  if (interrupted) outcome.error_level = ErrorLevel::kFatal;
  outcome.status_text = StatusText(outcome.error_level);

  std::ostringstream user;
  Line(user, "<ReportInfo>");
  Field(user, "Job Description", job_description);
  Field(user, "Execution Job", outcome.status_text);
  Field(user, "Start Time Job", FormatTimeText(start_time));
  Field(user, "End Time Job  ", FormatTimeText(env.clock.Now()));
  Line(user, "</ReportInfo>");
  outcome.user_definition_error =
      WriteFailure(ReplaceFileContents(user_definition_file, std::move(user).str()));

  if (log_to_event_log) {
    const std::string message = "\r\n\r\nJob '" + job_description + "' " + outcome.status_text;
    WriteEventLogEntry(
        env.event_log, env.notifier, message,
        outcome.error_level == ErrorLevel::kNoErrors ? kEventTypeInformation : kEventTypeError, 1);
  }
  return outcome;
}

}  // namespace jr
