#include "engine/command_line_builder.h"

#include <gtest/gtest.h>

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

  // Appends an active row with stop-on-error "false"; returns its index.
  int AddRow(const std::string& number, const std::string& type, const Cell& options = "") {
    const int row = table_.LineCount();
    table_.SetJobLineCount(row + 1);
    const Cell cells[] = {number, "line " + number, type, options, "", "false", "true"};
    for (int column = 0; column < 7; ++column) table_.Set(column, row, cells[column]);
    return row;
  }

  std::unique_ptr<RunLines> Prepare() {
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
  // Expected: "program|user program|log|status|summary|arguments".
  auto usual = [&](const std::string& program, const std::string& stem) {
    const std::string log = f + stem + "_Log.txt", status = f + stem + "_Stat.txt";
    return program + "||" + log + "|" + status + "||-v 2 -StatusFile " + status + " -LogFile " +
           log + job_id;
  };
  std::vector<std::pair<std::string, std::string>> cases = {
      {"Flow Runner", usual(Keld("FlowRun.exe"), "FlowRun")},
      {"Health Inspector", usual(Mirn("Inspector.exe"), "HealthInspector")},
  };
  cases.push_back({"Run Quillmart script",
                   Keld("RunQM.exe") + "||" + f + "RunQM_Log.txt|" + f + "RunQM_Stat.txt|" + f +
                       "RunQM_Sum.txt|-v 2 -Summary " + f + "RunQM_Sum.txt -StatusFile " + f +
                       "RunQM_Stat.txt -LogFile " + f + "RunQM_Log.txt"});
  cases.push_back({"Settings Editor", Keld("SettingsEditor.exe") + "|||" + f +
                                          "SettingsEditor_Stat.txt||-v 2 -StatusFile " + f +
                                          "SettingsEditor_Stat.txt" + job_id});
  // The user's batch file brings its own files and takes them positionally.
  cases.push_back(
      {"User Batchfile",
       "/home/me/nightly.sh|/home/me/nightly.sh|/tmp/nightly log.txt|/tmp/nightly.stat||"
       "-v 2 /tmp/nightly.stat \"/tmp/nightly log.txt\" " +
           kStamp});
  // Outside the catalogue (also by letter case): nothing to start.
  cases.push_back({"flow runner", "|||||"});
  for (const auto& [type, expected] : cases) {
    table_.AllocateAfresh();
    const int row = AddRow("7", type, "-v 2");
    table_.Set(kColBatchFile, row, "/home/me/nightly.sh");
    table_.Set(kColLogFile, row, "/tmp/nightly log.txt");
    table_.Set(kColStatusFile, row, "/tmp/nightly.stat");
    const std::unique_ptr<RunLines> lines = Prepare();
    const RunLine& line = *lines->Line(7);
    EXPECT_EQ(line.ProgramExecuter() + "|" + line.UserProgramName() + "|" + line.LogFileName() +
                  "|" + line.StatusFileName() + "|" + line.SummaryFileName() + "|" +
                  test::Joined(line.ProgramArguments()),
              expected);
    EXPECT_EQ(line.CleanProgramOptions() + "|" + line.JobID(), "-v 2|" + kStamp) << type;
  }
}

TEST_F(PrepareJobLinesTest, OnlyActiveRowsWithAFreeUsableNumberAreTakenInOrder) {
  const int row = AddRow("30", "Flow Runner");
  table_.Set(kColWait, row, "  10,20 ");
  table_.Set(kColRepeatOnSuccess, row, " 70 ");
  table_.Set(kColStopOnError, row, "true");
  table_.Set(kColActive, AddRow("10", "Flow Runner"), "True");
  table_.Set(kColActive, AddRow("5", "Flow Runner"), "false");
  table_.Set(kColStopOnError, AddRow("40", "Flow Runner"), "yes");
  const char* unusable[] = {"", "+40", "0", "1000000", "123456789012345678901234567890"};
  for (const char* number : unusable) AddRow(number, "Flow Runner");
  AddRow(" 999999 ", "Flow Runner");  // blanks around digits are fine
  AddRow("030", "Scan Anomalies");
  table_.Set(kColActive, AddRow("40", "Flow Runner"), "false");  // inactive: no duplicate

  std::unique_ptr<RunLines> lines = Prepare();
  std::vector<int32_t> taken;
  for (const RunLine& line : *lines) taken.push_back(line.JobLineNr());
  EXPECT_EQ(taken, (std::vector<int32_t>{30, 40, 999999}));
  const RunLine& first = *lines->Line(30);
  EXPECT_EQ(first.Precedence() + "|" + first.RepeatOnSuccess(), "10,20|70");
  EXPECT_TRUE(first.StopOnError() && !lines->Line(40)->StopOnError());
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
}

}  // namespace
}  // namespace jr
