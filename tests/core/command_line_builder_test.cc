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

std::vector<int32_t> Walk(const clsJobLines& lines) {
  std::vector<int32_t> numbers;
  for (const clsJobLine& line : lines) numbers.push_back(line.JobLineNr());
  return numbers;
}

const std::string kFolder = "/logs/20030307_140509/";
const std::string kStamp = "20030307_140509";
const std::string kRun = kFolder + "SorelJob~4711_";  // run folder + run name + "_"

class PrepareJobLinesTest : public ::testing::Test {
 protected:
  PrepareJobLinesTest() {
    registry_.InstallKeld("7.1", "/opt/keld/utils");
    registry_.InstallMirn("2.0", Mirn(""));
  }

  // Appends an active row with stop-on-error "false"; returns its index.
  int AddRow(const std::string& number, const std::string& type, const Cell& options = "") {
    const int row = table_.Get_BatchLine_Count();
    table_.SetJobLineCount(row + 1);
    const Cell cells[] = {number, "line " + number, type, options, "", "false", "true"};
    for (int column = 0; column < 7; ++column) table_.Set(column, row, cells[column]);
    return row;
  }

  std::unique_ptr<clsJobLines> Prepare() {
    warnings_.clear();
    return PrepareJobLines(table_, table_.Get_BatchLine_Count(), kFolder, "SorelJob~4711", kStamp,
                           env_, &warnings_);
  }

  test::FakeClock clock_;
  test::ScriptedLauncher launcher_;  // never asked: preparing starts nothing
  test::MapRegistry registry_;
  test::RecordingOutside outside_;
  test::RecordingMetadataLogFactory metadata_;
  RunEnv env_{clock_, launcher_, RealFileSystem(), registry_, outside_, metadata_, outside_};
  JobLineTable table_;
  std::vector<std::string> warnings_;
};

TEST_F(PrepareJobLinesTest, EveryTypeGetsItsProgramFilesAndOptions) {
  const std::string f = kRun + "7", job_id = " -job_id \"" + kStamp + "\"";
  // Most types: "<stem>_Log.txt" and "<stem>_Stat.txt", both handed over as switches.
  struct {
    std::string type, executer, stem;
  } const usual[] = {
      {"Run Vantor Job (UNIX)", Keld("RunVantorJob.exe"), "VantorExp"},
      {"Run Vantor Job (NT)", Keld("RunVantorJob.exe"), "VantorExp"},
      {"SupplyDesk 2.2 User Extraction", Keld("SDUserDownload.exe"), "SupplyDesk"},
      {"Flow Runner", Keld("FlowRun.exe"), "FlowRun"},
      {"Scan Anomalies", Keld("ScanAnomalies.exe"), "ScanAnom"},
      {"Member Purger", Keld("MemberPurger.exe"), "Purger"},
      {"Health Inspector", Mirn("Inspector.exe"), "HealthInspector"},
      {"Build Aggregates", Keld("BuildAggr.exe"), "BuildAggr"},
  };
  struct Expected {
    std::string type, executer, log, status, summary, options;
  };
  std::vector<Expected> cases;
  for (const auto& u : usual) {
    cases.push_back({u.type, u.executer, f + u.stem + "_Log.txt", f + u.stem + "_Stat.txt", "",
                     "-v 2 -StatusFile \"" + f + u.stem + "_Stat.txt\" -LogFile \"" + f + u.stem +
                         "_Log.txt\"" + job_id});
  }
  cases.push_back({"Run Quillmart script", Keld("RunQM.exe"), f + "RunQM_Log.txt",
                   f + "RunQM_Stat.txt", f + "RunQM_Sum.txt",
                   "-v 2 -Summary \"" + f + "RunQM_Sum.txt\" -StatusFile \"" + f +
                       "RunQM_Stat.txt\" -LogFile \"" + f + "RunQM_Log.txt\""});
  cases.push_back({"Settings Editor", Keld("SettingsEditor.exe"), "", f + "SettingsEditor_Stat.txt",
                   "", "-v 2 -StatusFile \"" + f + "SettingsEditor_Stat.txt\"" + job_id});
  // The user's batch file brings its own files and takes them positionally.
  cases.push_back({"User Batchfile", "/home/me/nightly.sh", "/tmp/nightly log.txt",
                   "/tmp/nightly.stat", "",
                   "-v 2 \"/tmp/nightly.stat\" \"/tmp/nightly log.txt\" " + kStamp});
  // Outside the catalogue (also by letter case): nothing to start.
  cases.push_back({"???", "", "", "", "", ""});
  cases.push_back({"flow runner", "", "", "", "", ""});
  for (const Expected& expected : cases) {
    SCOPED_TRACE(expected.type);
    table_.AllocateAfresh();
    const int row = AddRow("7", expected.type, "-v 2");
    table_.Set(kColBatchFile, row, "/home/me/nightly.sh");
    table_.Set(kColBatchLogFile, row, "/tmp/nightly log.txt");
    table_.Set(kColBatchStatusFile, row, "/tmp/nightly.stat");
    std::unique_ptr<clsJobLines> lines = Prepare();
    ASSERT_EQ(lines->Count(), 1);
    const clsJobLine& line = *lines->Item(1);
    const std::string user = expected.type == "User Batchfile" ? expected.executer : "";
    EXPECT_EQ(line.ProgramExecuter() + "|" + line.UserProgramName() + "|" + line.LogFileName() +
                  "|" + line.StatusFileName() + "|" + line.SummayFileName() + "|" +
                  line.ProgramOptions() + "|" + line.CleanProgramOptions() + "|" + line.JobID(),
              expected.executer + "|" + user + "|" + expected.log + "|" + expected.status + "|" +
                  expected.summary + "|" + expected.options + "|-v 2|" + kStamp);
  }
}

TEST_F(PrepareJobLinesTest, TakesActiveRowsInOrderWithTheirTrimmingRules) {
  int row = AddRow("30", "Flow Runner", "  spaced  ");
  table_.Set(kColDescription, row, "  kept as typed ");
  const char* lists[] = {"  10,20 ", " 40", "50 ", " 60 ", " 70 "};
  const int list_columns[] = {kColWait, kColSkipOnError, kColSkipOnSuccess, kColRepeatOnError,
                              kColRepeatOnSuccess};
  for (int i = 0; i < 5; ++i) table_.Set(list_columns[i], row, lists[i]);
  table_.Set(kColStopOnError, row, "true");
  table_.Set(kColActive, AddRow("10", "Flow Runner"), "True");
  table_.Set(kColActive, AddRow("20", "Flow Runner"), "false");
  table_.Set(kColActive, AddRow("5", "Flow Runner"), std::nullopt);
  table_.Set(kColStopOnError, AddRow("40", "Flow Runner"), "yes");
  AddRow("12", "Run Quillmart script", std::nullopt);
  row = AddRow("13", "User Batchfile");

  std::unique_ptr<clsJobLines> lines = Prepare();
  EXPECT_EQ(Walk(*lines), (std::vector<int32_t>{30, 40, 12, 13}));
  EXPECT_TRUE(warnings_.empty());
  const clsJobLine& first = *lines->Line(30);
  EXPECT_EQ(first.JobDescription(), "  kept as typed ");
  EXPECT_EQ(first.ProgramOptions().rfind("  spaced   -StatusFile \"", 0), 0u);
  EXPECT_EQ(first.Precedence(), "10,20");
  EXPECT_EQ(first.SkipOnError() + first.SkipOnSuccess() + first.RepeatOnError() + "|" +
                first.RepeatOnSuccess(),
            "405060|70");
  EXPECT_TRUE(first.StopOnError());
  EXPECT_FALSE(lines->Line(40)->StopOnError());
  // Empty own options: the options begin with the first switch's blank.
  EXPECT_EQ(lines->Line(12)->ProgramOptions().rfind(" -Summary \"" + kRun + "12RunQM_Sum.txt\"", 0),
            0u);
  // A batch-file row without file cells takes empty texts.
  EXPECT_EQ(lines->Line(13)->ProgramExecuter(), "");
  EXPECT_EQ(lines->Line(13)->ProgramOptions(), " \"\" \"\" " + kStamp);
  // Both folders are read once per run, however many lines there are: two values each.
  EXPECT_EQ(registry_.query_count(), 4);

  // Products not installed: the programs are looked for under the lone separator.
  registry_ = test::MapRegistry();
  table_.AllocateAfresh();
  AddRow("1", "Health Inspector");
  EXPECT_EQ(Prepare()->Line(1)->ProgramExecuter(), kPathSeparator + std::string("Inspector.exe"));
}

TEST_F(PrepareJobLinesTest, RowsWithoutAUsableOrFreeNumberStayOutWithAWarning) {
  for (const char* number : {"", "abc", "0", "-5", "1000000", "12abc", "1.5", "+3"}) {
    table_.AllocateAfresh();
    AddRow(number, "Flow Runner");
    AddRow(" 999999 ", "Flow Runner");  // blanks around digits are fine
    std::unique_ptr<clsJobLines> lines = Prepare();
    EXPECT_EQ(Walk(*lines), std::vector<int32_t>{999999}) << number;
    EXPECT_EQ(warnings_,
              std::vector<std::string>{
                  "the active job line in row 1 has the number \"" + std::string(number) +
                  "\", which is not a whole number from 1 to 999999; it is left out "
                  "of the run"});
  }
  // Numbers beyond 16 bits run whole, with their file names.
  EXPECT_EQ(Prepare()->Line(999999)->LogFileName(), kRun + "999999FlowRun_Log.txt");

  // The second active row of a number stays out and is named; an inactive one is no
  // duplicate.
  table_.AllocateAfresh();
  table_.Set(kColDescription, AddRow("20", "Flow Runner"), "first");
  AddRow("10", "Flow Runner");
  AddRow("20", "Scan Anomalies");
  table_.Set(kColActive, AddRow("10", "Flow Runner"), "false");
  AddRow("020", "Flow Runner");
  AddRow("30", "Flow Runner");
  std::unique_ptr<clsJobLines> lines = Prepare();
  EXPECT_EQ(Walk(*lines), (std::vector<int32_t>{20, 10, 30}));
  EXPECT_EQ(lines->Line(20)->JobDescription(), "first");
  ASSERT_EQ(warnings_.size(), 2u);
  EXPECT_EQ(warnings_[0],
            "job line number 20 is used by more than one active job line; the one in row 3 is "
            "left out of the run");
  EXPECT_NE(warnings_[1].find("row 5"), std::string::npos);
  // 20 is named once for its two extra rows.
  AddRow("30", "Flow Runner");
  AddRow("10", "Flow Runner");
  EXPECT_EQ(DuplicateActiveJobLineNumbers(table_, table_.Get_BatchLine_Count()),
            (std::vector<int32_t>{20, 30, 10}));
  EXPECT_TRUE(DuplicateActiveJobLineNumbers(table_, 2).empty());
}

}  // namespace
}  // namespace jr
