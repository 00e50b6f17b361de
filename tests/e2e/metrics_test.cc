// The metrics a run of the built program leaves, as monitoring reads them: promtool checks
// the file, a node exporter's textfile collector serves its families; a folder that cannot be
// written costs a warning, not the exit status.

#include "notify/run_metrics.h"
#include "support/engine_fakes.h"
#include "support/unattended_run.h"

namespace jr::test {
namespace {

using MetricsTest = UnattendedRun;

// Finds a free port, starts the exporter on it and prints its page once it answers.
const char kFetch[] = R"(import socket, subprocess, sys, time, urllib.request
s = socket.socket(); s.bind(("127.0.0.1", 0)); port = s.getsockname()[1]; s.close()
exporter = subprocess.Popen(sys.argv[1:] + ["--web.listen-address=127.0.0.1:%d" % port])
for _ in range(200):
    try: print(urllib.request.urlopen("http://127.0.0.1:%d/metrics" % port).read().decode()); break
    except OSError: time.sleep(0.1)
exporter.terminate(); exporter.wait())";

TEST_F(MetricsTest, PromtoolPassesTheFileAndANodeExporterServesIt) {
  AddLine({.number = 10, .type = "Flow Runner"});
  const std::string folder = dir_.File("metrics"), job = SaveJob();
  std::filesystem::create_directories(folder);
  ProgramOutcome run = Launch({job}, {{"JOBRUNNER_METRICS_DIR", "/nonexistent/metrics"}});
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(Has(run.err, "the metrics were not written: "));
  const std::map<std::string, std::string> env = {{"JOBRUNNER_METRICS_DIR", folder}};
  run = Launch({job}, env);
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string file = folder + "/" + MetricsFileName(job), label = "{job=\"" + job + "\"";
  // Through a link the job is its target: one history, one metrics file.
  const std::string link = dir_.File("link.xml");
  std::filesystem::create_symlink(job, link);
  EXPECT_EQ(Launch({link}, env).status, 0);
  EXPECT_EQ(History({link}).size(), 3u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
  const ProgramOutcome check =
      RunProgram("/bin/sh", {"-c", "promtool check metrics <\"$0\"", file}, {}, dir_.path());
  EXPECT_EQ(check.status, 0) << check.out << check.err;

  const std::string page =
      RunProgram("/usr/bin/python3",
                 {"-c", kFetch, "/usr/bin/prometheus-node-exporter", "--collector.disable-defaults",
                  "--collector.textfile", "--collector.textfile.directory=" + folder},
                 {}, dir_.path())
          .out;
  for (const char* family :
       {"jobrunner_run_running", "jobrunner_last_run_start_timestamp_seconds",
        "jobrunner_last_run_end_timestamp_seconds", "jobrunner_last_run_duration_seconds",
        "jobrunner_last_run_status", "jobrunner_last_run_lines",
        "jobrunner_last_run_line_duration_seconds"}) {
    EXPECT_TRUE(Has(page, std::string("# TYPE ") + family + " gauge\n" + family + label));
  }
}

}  // namespace
}  // namespace jr::test
