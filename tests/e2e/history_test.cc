// The run history as an administrator sees it: real runs of the built program on the
// stand-ins fill the database, `jobrunner --history` reads it back.

#include <signal.h>

#include <nlohmann/json.hpp>
#include <tuple>

#include "support/engine_fakes.h"
#include "support/sqlite_rows.h"
#include "support/unattended_run.h"

namespace jr {
namespace {

using Json = nlohmann::json;

class HistoryTest : public test::UnattendedRun {
 protected:
  // One column of the database's rows, as text.
  std::vector<std::string> Column(const std::string& sql) {
    return test::SelectColumn(dir_.File("metadata.sqlite"), sql);
  }
};

TEST_F(HistoryTest, RealRunsListedNewestFirstWithTheirLines) {
  AddLine({.number = 10, .type = "Flow Runner", .options = "-sleep 300"});
  AddLine({.number = 20,
           .type = "Build Aggregates",
           .options = "-status failure",
           .wait_for = {"10"},
           .skip_on_error = {"40"}});
  AddLine({.number = 30, .type = "Flow Runner", .options = "-first-status 30", .wait_for = {"20"}});
  AddLine({.number = 40, .type = "Flow Runner", .wait_for = {"20"}});
  const std::string job = SaveJob();
  ASSERT_EQ(Launch({job}).status, 1);
  const std::string first_folder = RunFolder();
  ASSERT_EQ(Launch({job}).status, 1);

  const Json runs = History({job});
  ASSERT_TRUE(runs.is_array()) << runs;
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_GT(runs[0]["start"].get<std::string>(), "");
  EXPECT_EQ(runs[1]["run_folder"], first_folder);
  for (const Json& run : runs) {  // succeeded: 10 and the repeat copy of 30
    EXPECT_EQ(Json({run["status"], run["succeeded"], run["failed"], run["skipped"]}),
              Json({1, 2, 2, 1}));
    EXPECT_EQ(run["failed_lines"], Json::array({"20", "30"}));
    EXPECT_TRUE(run["end"].is_string());
  }

  const std::string id = runs[0]["run_id"];
  const Json run = History({job, id});
  const Json& lines = run["lines"];
  Json seen = Json::array();
  for (const Json& line : lines)
    seen.push_back({line["line"], line["outcome"], line["exit_code"], line["repeat_of"]});
  ASSERT_EQ(seen, Json::parse(R"([["10", "ok", 0, null], ["20", "failed", 3, null],
      ["30", "failed", 3, null], ["50", "ok", 0, "30"], ["40", "skipped", null, null]])"));
  EXPECT_EQ(lines[0]["description"], "line 10");
  // Beside the verdict from the status file, a program that had ended by then leaves its own
  // exit status (one still busy after writing its verdict may leave none).
  EXPECT_TRUE(lines[0]["exit_status"] == 0 || lines[1]["exit_status"] == 0) << run;
  EXPECT_TRUE(lines[4]["start"].is_null() && lines[4].value("exit_status", Json(0)).is_null());
  // The copy that ended last repeats 30, which waited for 20, which waited for 10. Usual
  // durations come from the run before; 20 and 40 never ended ok, 30 did through its copy.
  EXPECT_EQ(run["critical_path"], Json::array({"10", "20", "30", "50"}));
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i]["usual_s"].is_number(), i == 0 || i == 2 || i == 3) << lines[i];
    EXPECT_EQ(lines[i]["slow"], false);
  }
  EXPECT_TRUE(test::Has(Launch({"--history", job, id}).out, "critical path: 10 > 20 > 30 > 50 ("));
  // A changed job file may wait differently: the path keeps to the rows' repeats, and says so.
  job_.Description = "changed";
  SaveJob();
  const test::ProgramOutcome changed = Launch({"--history", job, id, "--json"});
  EXPECT_TRUE(test::Has(changed.err, "changed since run " + id));
  const Json changed_path = Json::parse(changed.out)["critical_path"];
  EXPECT_EQ(changed_path.back(), "50") << changed_path;
  EXPECT_EQ(changed_path[changed_path.size() - 2], "30") << changed_path;
  // The metadata rows of the run are found from its id.
  EXPECT_EQ(Column("SELECT count(*) FROM process_metadata WHERE run_id = '" + id + "'"),
            std::vector<std::string>{"4"});

  const test::ProgramOutcome text = Launch({"--history", job});
  EXPECT_EQ(text.status, 0);
  EXPECT_TRUE(test::Has(text.out, "errors       20,30"));
}

TEST_F(HistoryTest, GraphOfARunGoesThroughDot) {
  AddLine({.number = 10, .type = "Flow Runner", .skip_on_success = {"30", {30}}});
  AddLine({.number = 20,
           .type = "Build Aggregates",
           .options = "-status failure",
           .wait_for = {"10", {10}},
           .skip_on_error = {"40", {40}},
           .repeat_on_error = {"20", {20}},
           .repeat_limit = 1});
  AddLine({.number = 30, .type = "Flow Runner", .wait_for = {"20", {20}}});
  AddLine({.number = 40, .type = "Flow Runner", .wait_for = {"20", {20}}});
  AddLine({.number = 50, .type = "Flow Runner", .active = false});
  const std::string job = SaveJob();
  ASSERT_EQ(Launch({job}).status, 1);
  const test::ProgramOutcome graph =
      Launch({"--graph", job, "--run", History({job})[0]["run_id"].get<std::string>()});
  ASSERT_EQ(graph.status, 0) << graph.err;
  test::WriteWholeFile(dir_.File("job.dot"), graph.out);
  const test::ProgramOutcome svg =
      test::RunProgram("/usr/bin/dot", {"-Tsvg", dir_.File("job.dot")}, {}, dir_.path());
  ASSERT_EQ(svg.status, 0) << svg.err;
  // Each node and the path's edges by their titles, with how the run drew them.
  const std::pair<const char*, std::vector<const char*>> drawn[] = {
      {"L10", {"fill=\"green\""}},
      {"L20", {"fill=\"red\""}},
      {"L30", {"fill=\"grey\""}},
      {"L40", {"fill=\"grey\""}},
      {"L50", {"fill=\"white\"", "stroke=\"grey\" stroke-dasharray=\"5,2\""}},
      // The critical path: 10, 20 and 20's repeat copy, drawn on 20's repeat edge.
      {"L10&#45;&gt;L20", {"stroke=\"black\" stroke-width=\"2\" d="}},
      {"L20&#45;&gt;L20", {"stroke-width=\"2\" stroke-dasharray=\"1,5\"", ">repeat<"}}};
  for (const auto& [title, looks] : drawn) {
    const std::string tag = "<title>" + std::string(title) + "</title>";
    bool found = false;
    for (size_t at = svg.out.find(tag); at != std::string::npos && !found;
         at = svg.out.find(tag, at + 1)) {
      const std::string group = svg.out.substr(at, svg.out.find("</g>", at) - at);
      found = std::ranges::all_of(
          looks, [&](const char* look) { return group.find(look) != std::string::npos; });
    }
    EXPECT_TRUE(found) << title << svg.out;
  }
  EXPECT_EQ(Launch({"--graph", job, "--run", "none"}).status, 3);
  EXPECT_EQ(Launch({"--graph", job, "--json"}).status, 64);
}

// A runner killed with its watchdog leaves its run without an end. The next look finds it
// dead, its lock free: a look at the runs going on, or the job's next run, marks it
// interrupted and says so, once.
TEST_F(HistoryTest, ARunWhoseRunnerAndWatchdogWereKilledIsFoundByTheNextLook) {
  AddLine({.number = 10, .type = "Flow Runner"});
  AddLine({.number = 20, .type = "Flow Runner", .options = "-sleep 3000", .wait_for = {"10"}});
  const std::string job = SaveJob();
  for (const std::vector<std::string>& look : {std::vector<std::string>{"--status", job}, {job}}) {
    std::vector<std::string> id;
    {
      test::RunningProgram running(Jobrunner(), {job}, Env(), dir_.path());
      ASSERT_TRUE(test::WaitUntil(
          [&] {
            id = Column(
                "SELECT run_id FROM run_lines JOIN runs USING (run_id) WHERE line = 20 "
                "AND run_lines.start_ms > 0 AND runs.end_ms IS NULL");
            return !id.empty();
          },
          std::chrono::seconds(30)));
      int watchdogs = 0;
      const std::string task = "/proc/" + std::to_string(running.pid()) + "/task/";
      for (const auto& thread : std::filesystem::directory_iterator(task)) {
        std::istringstream children(test::ReadWholeFile(thread.path().string() + "/children"));
        for (std::string child; children >> child;) {
          if (test::ReadWholeFile("/proc/" + child + "/comm") == "jr-watchdog\n") {
            watchdogs += kill(std::stoi(child), SIGKILL) == 0;
          }
        }
      }
      ASSERT_EQ(watchdogs, 1);
      running.Signal(SIGKILL);
      running.Wait();
    }
    const test::ProgramOutcome found = Launch(look);
    EXPECT_EQ(found.status, 0);
    EXPECT_TRUE(test::Has(found.err, "run " + id[0] + " of \"" + job + "\" was interrupted"));
    const Json run = History({job, id[0]});
    EXPECT_EQ(run["status"], "interrupted");
    EXPECT_TRUE(run["end"].is_string());
    ASSERT_EQ(run["lines"].size(), 2u);
    EXPECT_EQ(run["lines"][0]["outcome"], "ok");
    EXPECT_EQ(run["lines"][1]["outcome"], "interrupted");
    EXPECT_EQ(Launch({"--status"}).err, "");
  }
}

TEST_F(HistoryTest, StatusShowsARunWhileItGoesOnWithItsExpectedEndOnceThereIsHistory) {
  AddLine({.number = 10, .type = "Flow Runner"});
  AddLine({.number = 20, .type = "Flow Runner", .options = "-sleep 2000", .wait_for = {"10"}});
  AddLine({.number = 30, .type = "Flow Runner", .wait_for = {"20"}});
  const std::string job = SaveJob();
  // The first run has no earlier one to foresee its end from; the second has.
  for (bool first : {true, false}) {
    test::RunningProgram running(Jobrunner(), {job}, Env(), dir_.path());
    Json runs;
    ASSERT_TRUE(test::WaitUntil(
        [&] {
          runs = Json::parse(Launch({"--status", job, "--json"}).out);
          return runs.size() == 1 && runs[0]["lines"][1]["state"] == "running";
        },
        std::chrono::seconds(10)))
        << runs;
    EXPECT_EQ(runs[0]["job_file"], job);
    EXPECT_TRUE(runs[0]["lines"][2]["state"] == "waiting" &&
                runs[0]["lines"][2]["start"].is_null());
    EXPECT_EQ(runs[0]["expected_end_is_lower_bound"], false);
    const std::string text = Launch({"--status"}).out;
    EXPECT_TRUE(test::Has(text, " of " + job + "\n  Nightly test\n"));
    if (first) {
      EXPECT_TRUE(runs[0]["pid"] > 0 && runs[0]["expected_end"].is_null()) << runs;
      EXPECT_FALSE(test::Has(text, "expected end"));
    } else {
      // About two seconds after line 20 started (both texts are UTC, to the second).
      EXPECT_TRUE(runs[0]["expected_end"].is_string() &&
                  runs[0]["expected_end"] > runs[0]["lines"][1]["start"])
          << runs;
      EXPECT_TRUE(test::Has(text, "\n  expected end ")) << text;
      // The runner keeps what it foresaw, which is what was shown.
      EXPECT_EQ(Column("SELECT expected_end_lower_bound FROM runs WHERE end_ms IS NULL"),
                std::vector<std::string>{"0"});
    }
    EXPECT_EQ(running.Wait().status, 0);
  }
  EXPECT_EQ(Launch({"--status", "--json"}).out, "[]\n");
}

TEST_F(HistoryTest, NoRunsUnknownRunsMisuseAndPruning) {
  AddLine({.number = 10, .type = "Flow Runner"});
  const std::string job = SaveJob();
  // The words, the exit status, the standard output and a part of the standard error.
  using Case = std::tuple<std::vector<std::string>, int, std::string, std::string>;
  auto check = [&](const std::vector<Case>& cases) {
    for (const auto& [args, status, out, err_part] : cases) {
      const test::ProgramOutcome outcome = Launch(args);
      EXPECT_EQ(outcome.status, status) << args.back() << outcome.err;
      EXPECT_EQ(outcome.out, out) << args.back();
      EXPECT_TRUE(test::Has(outcome.err, err_part));
    }
  };
  check({
      {{"-h"}, 0, Launch({"--help"}).out, ""},
      {{"--history", job}, 0, "no runs recorded\n", ""},
      {{"--history", job, "--json"}, 0, "[]\n", ""},
      {{"--status", job, "--json"}, 0, "[]\n", ""},  // no database yet
      {{"--history"}, 64, "", "for one run, its run id\nsee jobrunner --help\n"},
      {{"--history", "--prune", "x"}, 64, "", "whole number of days"},
      {{"--check", job, "--json"}, 64, "", "--check takes a job file only"},
  });
  // The editor without a display says so instead of letting Qt abort.
  const test::ProgramOutcome headless = test::RunProgram(
      "/usr/bin/env",
      {"-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM", Jobrunner()}, Env(),
      dir_.path());
  EXPECT_EQ(headless.status, 64);
  EXPECT_EQ(headless.err,
            "jobrunner: no display: the editor needs one; run a job with jobrunner JOBFILE\n");
  const std::string other = dir_.File("other.xml");
  std::filesystem::copy_file(job, other);
  ASSERT_EQ(Launch({job}).status, 0);
  ASSERT_EQ(Launch({other}).status, 0);
  Column("UPDATE runs SET start_ms = start_ms - 2 * 86400000");  // both began two days ago
  check({
      {{"--history", job, "20991231_000000_SorelJob~1"}, 3, "", "is no recorded run of"},
      {{"--history", "--prune", "3", job}, 0, "0 run(s) older than 3 day(s) removed\n", ""},
      {{"--history", "--prune", "1", job}, 0, "1 run(s) older than 1 day(s) removed\n", ""},
      {{"--history", "--prune", "1"}, 0, "1 run(s) older than 1 day(s) removed\n", ""},
  });
}

}  // namespace
}  // namespace jr
