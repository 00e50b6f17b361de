#include "engine/command_line_builder.h"

#include <gtest/gtest.h>

#include "model/job_line.h"
#include "platform/config.h"
#include "support/engine_fakes.h"
#include "support/fakes.h"

namespace jr {
namespace {

// Utilities folders as the registry lookup composes them, with this platform's separator.
std::string Keld(const std::string& name) { return "/opt/keld/utils" + (kPathSeparator + name); }
std::string Mirn(const std::string& name) { return "/opt/mirn" + (kPathSeparator + name); }

const std::string kStamp = "20030307_140509";
const std::string kRun = "/logs/20030307_140509/SorelJob~4711_";  // run folder + run name + "_"

class PrepareJobLinesTest : public ::testing::Test {
 protected:
  PrepareJobLinesTest() {
    registry_.InstallKeld("7.1", "/opt/keld/utils");
    registry_.InstallMirn("2.0", Mirn(""));
  }

  Result<std::unique_ptr<RunLines>> Prepare() {
    warnings_.clear();
    return PrepareJobLines(table_, table_.LineCount(), "/logs/20030307_140509/", "SorelJob~4711",
                           kStamp, test_.env, &warnings_);
  }

  test::ScriptedLauncher launcher_;  // never asked: preparing starts nothing
  test::EngineTestEnv test_{launcher_, RealFileSystem()};
  test::MapRegistry& registry_ = test_.registry;
  JobLineTable table_;
  std::vector<std::string> warnings_;
};

TEST_F(PrepareJobLinesTest, EveryTypeGetsItsProgramFilesAndOptions) {
  const std::string f = kRun + "7", job_id = " -job_id " + kStamp;
  // Most types: "<stem>_Log.txt" and "<stem>_Stat.txt", both handed over as switches.
  // Expected: "program|log|status|summary|arguments|output file"; the output file is in the
  // run folder, named after the log file, whoever named that.
  auto usual = [&](const std::string& program, const std::string& stem) {
    const std::string log = f + stem + "_Log.txt", status = f + stem + "_Stat.txt";
    return program + "|" + log + "|" + status + "||-v 2 -StatusFile " + status + " -LogFile " +
           log + job_id + "|" + f + stem + "_Log_Output.txt";
  };
  std::vector<std::pair<std::string, std::string>> cases = {
      {"Flow Runner", usual(Keld("FlowRun.exe"), "FlowRun")},
      {"Health Inspector", usual(Mirn("Inspector.exe"), "HealthInspector")},
  };
  cases.push_back(
      {"Run Quillmart script", Keld("RunQM.exe") + "|" + f + "RunQM_Log.txt|" + f +
                                   "RunQM_Stat.txt|" + f + "RunQM_Sum.txt|-v 2 -Summary " + f +
                                   "RunQM_Sum.txt -StatusFile " + f + "RunQM_Stat.txt -LogFile " +
                                   f + "RunQM_Log.txt|" + f + "RunQM_Log_Output.txt"});
  cases.push_back({"Settings Editor", Keld("SettingsEditor.exe") + "||" + f +
                                          "SettingsEditor_Stat.txt||-v 2 -StatusFile " + f +
                                          "SettingsEditor_Stat.txt" + job_id + "|" + f +
                                          "_Output.txt"});
  // The user's batch file brings its own files and takes them positionally.
  cases.push_back({"User Batchfile",
                   "/home/me/nightly.sh|/tmp/nightly log.txt|/tmp/nightly.stat||"
                   "-v 2 /tmp/nightly.stat \"/tmp/nightly log.txt\" " +
                       kStamp + "|" + f + "_nightly log_Output.txt"});
  // Outside the catalogue (also by letter case): nothing to start.
  cases.push_back({"flow runner", "|||||"});
  for (const auto& [type, expected] : cases) {
    table_.Clear();
    AppendJobLine(table_, {.number = 7,
                           .type = type,
                           .options = "-v 2",
                           .batch_file = "/home/me/nightly.sh",
                           .log_file = "/tmp/nightly log.txt",
                           .status_file = "/tmp/nightly.stat"});
    const std::unique_ptr<RunLines> lines = std::move(Prepare().value);
    const RunLine& line = *lines->Line(7);
    EXPECT_EQ(line.Program() + "|" + line.LogFileName() + "|" + line.StatusFileName() + "|" +
                  line.SummaryFileName() + "|" + test::Joined(line.ProgramArguments()) + "|" +
                  line.OutputFileName(),
              expected);
    EXPECT_EQ(line.definition().options + "|" + line.JobId(), "-v 2|" + kStamp) << type;
  }
}

// The lines taken must read whole, before anything starts; lines left out are not read.
TEST_F(PrepareJobLinesTest, OnlyActiveRowsWithAFreeUsableNumberAreTakenInOrderAndMustRead) {
  auto flow = [this](int32_t number, bool active = true) {
    return AppendJobLine(table_, {.number = number, .type = "Flow Runner", .active = active});
  };
  AppendJobLine(table_, {.number = 30,
                         .type = "Flow Runner",
                         .wait_for = {"  10,20 "},
                         .repeat_on_success = {" 70 "},
                         .stop_on_error = true});
  table_.Set(kColActive, flow(10), "True");
  table_.Set(kColWait, flow(5, false), "1000000");
  table_.Set(kColStopOnError, flow(40), "yes");
  const char* unusable[] = {"", "+40", "0", "1000000", "123456789012345678901234567890"};
  for (const char* number : unusable) table_.Set(kColNumber, flow(1), number);
  table_.Set(kColNumber, flow(1), " 999999 ");  // blanks around digits are fine
  table_.Set(kColNumber, AppendJobLine(table_, {.number = 30, .skip_on_error = {"-1e7"}}), "030");
  flow(40, false);  // inactive: no duplicate

  auto [lines, status] = Prepare();
  ASSERT_TRUE(status.ok()) << status.message;
  std::vector<int32_t> taken;
  for (const RunLine& line : *lines) taken.push_back(line.JobLineNr());
  EXPECT_EQ(taken, (std::vector<int32_t>{30, 40, 999999}));
  const RunLine& first = *lines->Line(30);
  EXPECT_EQ(first.definition().wait_for.numbers(), (std::vector<int32_t>{10, 20}));
  EXPECT_EQ(first.definition().repeat_on_success.numbers(), (std::vector<int32_t>{70}));
  EXPECT_TRUE(first.definition().stop_on_error && !lines->Line(40)->definition().stop_on_error);
  EXPECT_EQ(lines->Line(999999)->LogFileName(), kRun + "999999FlowRun_Log.txt");
  std::vector<std::string> expected;
  for (int i = 0; i < 5; ++i) {
    expected.push_back(
        "the active job line in row " + std::to_string(i + 5) + " has the number \"" + unusable[i] +
        "\", which is not a whole number from 1 to 999999; it is left out of the run");
  }
  expected.push_back(
      "job line number 30 is used by more than one active job line; the one in row 11 is left "
      "out of the run");
  EXPECT_EQ(warnings_, expected);
  EXPECT_EQ(DuplicateActiveJobLineNumbers(table_, table_.LineCount()), std::vector<int32_t>{30});
  std::vector<int32_t> run_rows;  // found from the number and active cells alone
  for (const RunRow& row : RunRows(table_, table_.LineCount())) run_rows.push_back(row.number);
  EXPECT_EQ(run_rows, taken);
  table_.Set(kColTimeLimit, 0, "1 h");
  EXPECT_EQ(Prepare().message(),
            "the time limit of job line 30 \"1 h\" is not a whole number from 1 to 604800");
  table_.Set(kColTimeLimit, 0, std::nullopt);
  table_.Set(kColRepeatDelay, 0, "-1");
  table_.Set(kColRepeatLimit, 0, "0");
  EXPECT_EQ(Prepare().message().find("repeat delay of job line 30 \"-1\" is not"), 4u);
  table_.Set(kColRepeatDelay, 0, "0");
  EXPECT_EQ(Prepare().message().find("repeat limit of job line 30 \"0\" is not"), 4u);
  table_.Set(kColRepeatLimit, 0, std::nullopt);
  // A quote would end the file name early on the script's command line.
  table_.Set(kColStatusFile, 0, "/srv/a\"b.txt");
  EXPECT_EQ(Prepare().message(),
            "job line 30: the status file name \"/srv/a\"b.txt\" contains a double quote, which "
            "cannot be passed on a program's command line");
}

}  // namespace
}  // namespace jr
