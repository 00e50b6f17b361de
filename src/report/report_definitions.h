#pragma once
// The two report definition files of a run: plain text, one tag or datum a line, CR LF
// line ends, read by the report generator.

#include <ostream>
#include <string>
#include <string_view>

#include "model/run_env.h"
#include "model/run_lines.h"
#include "report/generate_reports.h"

namespace jr {

// The line before the quoted name of a file that a report links to.
inline constexpr std::string_view kFileLinkTag =
    "<FileLink Name=\"Detailed Logfile info can be found here\">";
// The same for the file that holds what a line's program wrote on its standard output and
// error.
inline constexpr std::string_view kOutputLinkTag =
    "<FileLink Name=\"Program output can be found here\">";

// Writes the block of one job line that has run: heading, times, included and linked
// files, its output file among them when `file_system` finds it. For a failed line raises
// `error_level` to kErrors (unless the line was itself ordered to be repeated) and to kFatal when
// the line stops the job on error.
void WriteJobLineReportEntry(std::ostream& file, const RunLine& line, ErrorLevel& error_level,
                             const FileSystem& file_system);

// Writes both definition files anew (the end time is now on env.clock), decides the
// final error level and status text (kFatal whenever `interrupted`), and writes the event-log
// entry when `log_to_event_log` is set. Each file is written whole or not at all; one that
// cannot be written is named with its cause in the outcome, and everything else is still
// produced.
ReportOutcome WriteReportDefinitions(const std::string& admin_definition_file,
                                     const std::string& user_definition_file,
                                     const std::string& job_description, const RunLines& collection,
                                     TimePoint start_time, bool log_to_event_log, bool interrupted,
                                     RunEnv& env);

}  // namespace jr
