// Reruns as the administrator makes them the morning after: the failed lines of a recorded
// run run again, what succeeded stays done, and a job file changed since is refused.

#include <nlohmann/json.hpp>

#include "support/engine_fakes.h"
#include "support/unattended_run.h"

namespace jr {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using test::Has;
using test::ReadWholeFile;

class RerunTest : public test::UnattendedRun {
 protected:
  // A user script standing for a job line that needs a share: it notes its line in
  // starts.txt and fails while the file fail_<line> exists.
  void AddScriptLine(JobLine spec) {
    spec.type = "User Batchfile";
    spec.batch_file =
        Script("share.sh", "#!/bin/sh\nn=$(basename \"$1\" | cut -d_ -f2)\necho $n >>\"" +
                               dir_.File("starts.txt") + "\"\nif [ -e \"" + dir_.File("fail_") +
                               "$n\" ]; then echo failure >\"$1\"; else echo ok >\"$1\"; fi\n");
    AddLine(spec);
  }
  // The lines started since the last call, in order; a fresh log-file folder for the next run.
  std::string Starts() {
    const std::string starts =
        fs::exists(dir_.File("starts.txt")) ? ReadWholeFile(dir_.File("starts.txt")) : "";
    fs::remove(dir_.File("starts.txt"));
    return starts;
  }
  void NextRun() {
    fs::remove_all(dir_.File("logs"));
    fs::create_directories(dir_.File("logs"));
    Starts();
  }
  // "line:outcome " of each row of the run, in the rows' order.
  std::string LineOutcomes(const std::string& job, const std::string& id) {
    std::string outcomes;
    const Json run = History({job, id});
    for (const Json& line : run["lines"])
      outcomes += line["line"].get<std::string>() + ":" + line["outcome"].get<std::string>() + " ";
    return outcomes;
  }
};

TEST_F(RerunTest, AChainRunsFromTheFailedLineAndWhatSucceededStaysDone) {
  AddScriptLine({.number = 10});
  AddScriptLine({.number = 20, .wait_for = {"10"}, .skip_on_error = {"30"}});
  AddScriptLine({.number = 30, .wait_for = {"20"}});
  AddScriptLine({.number = 40, .wait_for = {"20"}});  // runs after 20 failed and succeeds
  const std::string job = SaveJob();
  test::WriteWholeFile(dir_.File("fail_20"), "");  // the share is offline
  ASSERT_EQ(Launch({job}).status, 1);
  EXPECT_EQ(Starts(), "10\n20\n40\n");
  const std::string first = History({job})[0]["run_id"];

  NextRun();
  fs::remove(dir_.File("fail_20"));
  const test::ProgramOutcome check = Launch({"--check", "--rerun", first, job});
  ASSERT_EQ(check.status, 0) << check.err;
  EXPECT_EQ(Json::parse(check.out)["rerun"],
            Json::parse(R"({"run_id": ")" + first +
                        R"(", "over": ["10", "40"], "to_run": ["20", "30"]})"));
  EXPECT_EQ(Starts(), "");  // the check runs nothing

  const test::ProgramOutcome rerun = Launch({"--rerun", first, job});
  ASSERT_EQ(rerun.status, 0) << rerun.err;
  EXPECT_EQ(Starts(), "20\n30\n");
  EXPECT_TRUE(Has(rerun.err, "rerun of " + first + ": job lines over, not run again: 10, 40"));
  // The reports (and with them the event log) and the history say it is a rerun; the reports
  // show the lines it ran.
  EXPECT_TRUE(Has(Definition("_UserDef.txt"),
                  "Job Description\t: Nightly test (rerun of " + first + ")\r\n"));
  EXPECT_EQ(Outcomes(), (std::vector<std::string>{"line 20 (User Batchfile)  :  OK",
                                                  "line 30 (User Batchfile)  :  OK"}));
  const Json runs = History({job});
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0]["rerun_of"], first);
  EXPECT_EQ(LineOutcomes(job, runs[0]["run_id"]), "20:ok 30:ok 10:over 40:over ");

  // Downstream, 40 ran on what the failed 20 left, so it runs again with it.
  NextRun();
  EXPECT_EQ(Json::parse(Launch({"--check", "--rerun", first, "--downstream", job}).out)["rerun"],
            Json::parse(R"({"run_id": ")" + first +
                        R"(", "over": ["10"], "to_run": ["20", "30", "40"]})"));
  EXPECT_EQ(Launch({"--rerun", first, "--downstream", job}).status, 0);
  const std::string downstream = LineOutcomes(job, History({job})[0]["run_id"]);
  EXPECT_TRUE(downstream.starts_with("20:ok ") && Has(downstream, "40:ok") &&
              Has(downstream, "10:over"))
      << downstream;
  EXPECT_EQ(Launch({"--downstream", job}).status, 64);
}

TEST_F(RerunTest, LinesAfterAStopRunSkippedStaySkippedAndARepeatThatSucceededCounts) {
  AddScriptLine({.number = 10, .skip_on_success = {"50"}});
  AddLine({.number = 60, .type = "Flow Runner", .options = "-first-status 60"});
  AddScriptLine({.number = 20, .wait_for = {"10,60"}, .stop_on_error = true});
  AddScriptLine({.number = 30, .wait_for = {"20"}});
  AddScriptLine({.number = 50, .wait_for = {"10"}});
  const std::string job = SaveJob();
  test::WriteWholeFile(dir_.File("fail_20"), "");  // the share is offline
  ASSERT_EQ(Launch({job}).status, 2);
  const std::string first = History({job})[0]["run_id"];

  // A save that changed nothing but the export date (Execute Job saves first) changes no job.
  ASSERT_TRUE(WriteJobFile(job, job_, "2026-12-07 09:30:00").ok);
  EXPECT_EQ(Launch({"--check", "--rerun", first, job}).status, 0);
  // The share is back, but the job was changed since: refused unless forced.
  NextRun();
  fs::remove(dir_.File("fail_20"));
  job_.Description = "Nightly test, changed";
  SaveJob();
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--rerun", first, job}, {"--check", "--rerun", first, job}}) {
    const test::ProgramOutcome refused = Launch(args);
    EXPECT_EQ(refused.status, 3);
    EXPECT_TRUE(Has(refused.err, "changed since run " + first + " (its SHA-256 differs)"));
    EXPECT_TRUE(refused.out.empty());
  }
  const test::ProgramOutcome unknown = Launch({"--rerun", "20260101_000000_SorelJob~1", job});
  EXPECT_EQ(unknown.status, 3);
  EXPECT_TRUE(Has(unknown.err, "\"20260101_000000_SorelJob~1\" is no recorded run"));
  EXPECT_TRUE(fs::is_empty(dir_.File("logs")));
  EXPECT_EQ(History({job}).size(), 1u);

  const test::ProgramOutcome forced = Launch({"--rerun", first, "--force", job});
  ASSERT_EQ(forced.status, 0) << forced.err;
  EXPECT_TRUE(Has(forced.err, "warning: the job file"));
  EXPECT_EQ(Starts(), "20\n30\n");
  EXPECT_EQ(LineOutcomes(job, History({job})[0]["run_id"]),
            "20:ok 30:ok 10:over 60:over 50:skipped ");
}

}  // namespace
}  // namespace jr
