#pragma once
// A job's runs as metrics for monitoring: one file per job in the Prometheus text format, in
// a folder that a node exporter's textfile collector reads. A run writes it as it starts
// (running, with the previous run's figures) and as it ends (with its own).

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/error_level.h"
#include "model/run_lines.h"
#include "platform/clock.h"
#include "platform/registry.h"
#include "platform/status.h"
#include "store/run_history.h"

namespace jr {

// A finished run's figures as the metrics give them.
struct LastRunMetrics {
  TimePoint start{};
  TimePoint end{};
  RunStatus status = RunStatus::kNoErrors;
  int ok = 0, failed = 0, skipped = 0;
  // Each line that ran, by job line number (a repeat copy by its own), with its duration.
  std::vector<std::pair<int32_t, std::chrono::milliseconds>> lines;
};

// The folder the metrics go to: $JOBRUNNER_METRICS_DIR, else the registry value
// MetricsFolder; empty: no metrics are written.
std::string MetricsFolder(RegistryReader& registry);

// "jobrunner_NAME_DIGEST.prom": NAME the job file's name without its folder and ".xml",
// every character outside [A-Za-z0-9_] made "_", DIGEST the first 8 hex digits of the
// SHA-256 of its AbsoluteFileName, so that two jobs of one name in different folders keep
// files of their own and a job reached through a link keeps its target's.
std::string MetricsFileName(const std::string& job_file);

// The file's whole text: every family with its HELP and TYPE, labelled job="`job`" (the job
// file's absolute name). Without `last` only jobrunner_run_running is there.
std::string MetricsText(const std::string& job, bool running,
                        const std::optional<LastRunMetrics>& last);

// The newest run of the job in `history` that ended, or was marked interrupted (refused runs
// and those without an end are passed over); nullopt when there is none or the history
// cannot be read.
std::optional<LastRunMetrics> LastRunFromHistory(RunHistory& history, const std::string& job);

// The figures of a run that just ended, from its lines; the lines of `over` (those a rerun
// did not run again) count as nothing.
LastRunMetrics LastRunOf(const RunLines& lines, const std::vector<int32_t>& over, TimePoint start,
                         TimePoint end, ErrorLevel level);

// Writes the text to MetricsFileName(job_file) in `folder`, replacing the file at once.
Status WriteMetricsFile(const std::string& folder, const std::string& job_file,
                        std::string_view text);

}  // namespace jr
