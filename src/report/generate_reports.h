#pragma once
// The end of a run: the two report definition files, the final status, the event-log
// entry and the two report generator calls.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "model/error_level.h"
#include "model/run_env.h"
#include "model/run_lines.h"
#include "platform/shell_exec_task.h"

namespace jr {

struct ReportOutcome {
  ErrorLevel error_level = ErrorLevel::kNoErrors;
  std::string status_text;
  // Why a definition file could not be written ("cannot write "NAME": the disk is
  // full"); empty when it was.
  std::string admin_definition_error;
  std::string user_definition_error;
  // Each report that was not (re)written, as a sentence naming it and the cause:
  // "the administrators' report "PATH" was not written: CAUSE".
  std::vector<std::string> missing_reports;
};

// "the NAME report "PATH" was not written: CAUSE", NAME "administrators'" or "end users'".
std::string MissingReportText(std::string_view name, const std::string& report,
                              std::string_view cause);

// The final status text of an error level.
std::string StatusText(ErrorLevel error_level);

struct ReportRequest {
  std::string job_description;
  std::string admin_report;  // the job's LogFile
  std::string user_report;   // the job's UserFile
  std::string run_folder;
  bool log_to_event_log = false;
  std::string run_name;
  TimePoint start_time{};
  // An interrupted run is reported as a fatal error whatever its lines did.
  bool interrupted = false;
};

// The report generator and its two templates, as the registry's Keld folder places them.
struct ReportGeneratorFiles {
  std::string generator;
  std::string admin_template;
  std::string user_template;
};
ReportGeneratorFiles FindReportGenerator(RegistryReader& registry);

// Writes the definition files and has the report generator turn each into its report,
// under the registry's HelperTimeLimit. `stop_requested` (may be empty) ends a generator
// that runs, and no further one starts. Each report that was not written is named in the
// outcome with its cause.
ReportOutcome GenerateReports(RunLines& collection, const ReportRequest& request, RunEnv& env,
                              const PauseFn& pause,
                              const std::function<bool()>& stop_requested = {});

}  // namespace jr
