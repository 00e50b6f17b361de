#include "report/generate_reports.h"

#include "platform/config.h"
#include "platform/helper_program.h"
#include "platform/installation.h"
#include "platform/shell_exec_task.h"
#include "report/report_definitions.h"

namespace jr {
namespace {

std::vector<std::string> GeneratorArguments(const std::string& definition,
                                            const std::string& report_template,
                                            const std::string& report) {
  return {definition, report_template, report};
}

}  // namespace

std::string MissingReportText(std::string_view name, const std::string& report,
                              std::string_view cause) {
  return "the " + std::string(name) + " report \"" + report +
         "\" was not written: " + std::string(cause);
}

ReportGeneratorFiles FindReportGenerator(RegistryReader& registry) {
  const std::string keld = GetKeldUtilsPath(registry);
  const std::string jobs_folder = keld + ".." + kPathSeparator + "Jobs" + kPathSeparator;
  return {keld + "PageGen.exe", jobs_folder + "AdminRepJobTemplate.htm",
          jobs_folder + "UserRepJobTemplate.htm"};
}

ReportOutcome GenerateReports(RunLines& collection, const ReportRequest& request, RunEnv& env,
                              const PauseFn& pause, const std::function<bool()>& stop_requested) {
  const std::string admin_definition = request.run_folder + request.run_name + "_RepDef.txt";
  const std::string user_definition = request.run_folder + request.run_name + "_UserDef.txt";
  const ReportGeneratorFiles files = FindReportGenerator(env.registry);
  const std::string& generator = files.generator;
  const std::string& admin_template = files.admin_template;
  const std::string& user_template = files.user_template;

  ReportOutcome outcome = WriteReportDefinitions(
      admin_definition, user_definition, request.job_description, collection, request.start_time,
      request.log_to_event_log, request.interrupted, env);

  // A report whose definition could not be written is not generated: the generator would
  // replace a good old report with an empty one.
  struct Report {
    const char* name;
    const std::string& definition;
    const std::string& definition_error;
    const std::string& report_template;
    const std::string& report;
  };
  const Report reports[] = {{"administrators'", admin_definition, outcome.admin_definition_error,
                             admin_template, request.admin_report},
                            {"end users'", user_definition, outcome.user_definition_error,
                             user_template, request.user_report}};
  HelperWait wait;
  wait.pause = pause;
  wait.limit = HelperTimeLimit(env.registry);
  wait.stop_requested = stop_requested;
  const std::string limit_text =
      std::to_string(std::chrono::duration_cast<std::chrono::seconds>(wait.limit).count());
  bool stopped = false;
  for (const Report& report : reports) {
    std::string cause = report.definition_error;
    if (cause.empty() && stopped) cause = "the run was stopped before its report generator ran";
    if (cause.empty()) {
      // The generator may fail after its start and leave the old report: only a report
      // that changed under it was written.
      const std::string before = env.file_system.FileStamp(report.report);
      switch (RunHelper(
          env.launcher, generator,
          GeneratorArguments(report.definition, report.report_template, report.report), wait)) {
        case HelperEnd::kEnded: {
          const std::string after = env.file_system.FileStamp(report.report);
          if (after.empty() || after == before) {
            cause = "the report generator ended without writing it";
          }
          break;
        }
        case HelperEnd::kNotStarted:
          cause = "the report generator \"" + generator + "\" could not be started";
          break;
        case HelperEnd::kTimeLimit:
          cause = "the report generator did not end within " + limit_text +
                  " s (HelperTimeLimit) and was ended";
          break;
        case HelperEnd::kStopped:
          stopped = true;
          cause = "the run was stopped while the report generator ran; it was ended";
          break;
      }
    }
    if (!cause.empty()) {
      outcome.missing_reports.push_back(MissingReportText(report.name, report.report, cause));
    }
  }
  return outcome;
}

}  // namespace jr
