// The summary a run that went wrong leaves for cron: each troubled line with what happened,
// its duration and the end of its log, indented under it; a line that went well is left out.

#include "notify/run_summary.h"

#include <gtest/gtest.h>

#include "model/run_lines.h"
#include "support/test_paths.h"

namespace jr {
namespace {

using namespace std::chrono_literals;

TEST(RunSummary, NamesTroubledLinesWithDurationAndTheLastLinesOfALargeLogAndOfTheOutput) {
  test::TempDir dir;
  // Larger than what is read of it: only its end is read.
  test::WriteWholeFile(dir.File("log.txt"),
                       std::string(100000, 'x') + "\none\ntwo\r\nthree\nfour\nfive\nsix\n");
  RunLines lines;
  RunLine& failed = *lines.Add(10);
  failed.EditDefinition().description = "Export";
  failed.SetLogFileName(dir.File("log.txt"));
  test::WriteWholeFile(dir.File("out.txt"), "said\nsomething");
  failed.SetOutputFileName(dir.File("out.txt"));
  failed.SetStartingTime(TimePoint{} + 1s);
  failed.SetStopTime(TimePoint{} + 3300ms);
  RunLine& unstarted = *lines.Add(20);
  unstarted.EditDefinition().description = "Purge";
  unstarted.SetProgram("/opt/keld/utils/MemberPurger.exe");
  RunLine& fine = *lines.Add(30);
  for (RunLine* line : {&failed, &unstarted}) line->SetState(LineState::kFailed);
  fine.SetState(LineState::kSucceeded);

  LineTroubleCollector collector;
  for (RunLine* line : {&failed, &fine}) collector.LineStarted(*line);
  for (RunLine* line : {&failed, &unstarted, &fine}) collector.LineFinished(*line);
  collector.LineRepeated(failed, *lines.Add(1000010));
  const RunEndSummary summary{"Night",           "finished with error(s).",
                              collector.lines(), "/logs/20261207_020000/",
                              "/srv/a.htm",      "/srv/u.htm"};
  EXPECT_EQ(RunEndSummaryText(summary),
            "Job \"Night\": finished with error(s).\n"
            "  job line 10 (Export): failed after 2.3 s; repeated as job line 1000010\n"
            "    log file " +
                dir.File("log.txt") +
                ", last lines:\n"
                "      two\n      three\n      four\n      five\n      six\n"
                "    output file " +
                dir.File("out.txt") +
                ", last lines:\n      said\n      something\n"
                "  job line 20 (Purge): did not start: the program "
                "\"/opt/keld/utils/MemberPurger.exe\" could not be started\n"
                "  run folder: /logs/20261207_020000/\n"
                "  reports:    /srv/a.htm\n"
                "              /srv/u.htm\n");

  // A line that repeated itself many times: the first and last ten, and how many between.
  RunEndSummary many{"Night", "finished with error(s).", {}, "/r/", "/a", "/u"};
  many.lines.resize(23);
  for (int32_t number = 1; number <= 23; ++number) many.lines[number - 1].number = number;
  const std::string text = RunEndSummaryText(many);
  EXPECT_NE(text.find("(): \n  ... 3 more job lines went wrong; the administrators' report "
                      "names them all\n  job line 14 ("),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("job line 10 ("), std::string::npos);
  EXPECT_NE(text.find("job line 23 ("), std::string::npos);
  EXPECT_EQ(text.find("job line 11 ("), std::string::npos);
}

}  // namespace
}  // namespace jr
