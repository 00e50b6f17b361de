#include "engine/command_line_builder.h"

#include <gtest/gtest.h>

#include "support/fakes.h"

namespace jr {
namespace {

class NoLauncher final : public ProcessLauncher {
 public:
  ProcessHandle Start(std::string_view, std::string_view) override { return 0; }
  bool IsRunning(ProcessHandle&) override { return false; }
  void Forget(ProcessHandle) override {}
  void WaitForExit(std::chrono::milliseconds) override {}
  void TerminateAll(std::chrono::milliseconds) override {}
};

class NoEventLog final : public EventLogSink {
 public:
  int Write(std::string_view, uint16_t, uint16_t, uint32_t, std::string_view) override { return 0; }
};

class NoNotifier final : public Notifier {
 public:
  void ShowMessage(std::string_view, std::string_view, MessageIcon) override {}
};

constexpr const char* kFolder = "/logs/20030307_140509/";
constexpr const char* kRunName = "SorelJob~4711";
constexpr const char* kStamp = "20030307_140509";

class PrepareJobLinesTest : public ::testing::Test {
 protected:
  PrepareJobLinesTest() {
    registry_.InstallKeld("7.1", "/opt/keld/utils");
    registry_.InstallMirn("2.0", "/opt/mirn/utils/");
  }

  // Appends an active row; returns its index.
  int AddRow(const std::string& number, const std::string& type, const std::string& options = "") {
    const int row = table_.Get_BatchLine_Count();
    table_.SetJobLineCount(row + 1);
    table_.Set(kColNumber, row, number);
    table_.Set(kColDescription, row, "line " + number);
    table_.Set(kColType, row, type);
    table_.Set(kColOptions, row, options);
    table_.Set(kColStopOnError, row, "false");
    table_.Set(kColActive, row, "true");
    return row;
  }

  std::unique_ptr<clsJobLines> Prepare() {
    warnings_.clear();
    return PrepareJobLines(table_, table_.Get_BatchLine_Count(), kFolder, kRunName, kStamp, env_,
                           &warnings_);
  }

  test::FakeClock clock_;
  NoLauncher launcher_;
  test::MapRegistry registry_;
  NoEventLog event_log_;
  test::RecordingMetadataLogFactory metadata_;
  NoNotifier notifier_;
  EngineEnv env_{clock_, launcher_, RealFileSystem(), registry_, event_log_, metadata_, notifier_};
  JobLineTable table_;
  std::vector<std::string> warnings_;
};

TEST_F(PrepareJobLinesTest, EveryTypeGetsItsProgramFilesAndOptions) {
  struct Expected {
    std::string type;
    std::string executer;
    std::string log;  // stems behind folder + run name + "_7"; "" for none
    std::string status;
    std::string summary;
    std::string options;  // with F standing for folder + run name + "_7"
  };
  const std::string f = std::string(kFolder) + kRunName + "_7";
  auto a = [&](const std::string& log, const std::string& status) {
    return "-v 2 -StatusFile \"" + f + status + "\" -LogFile \"" + f + log + "\" -job_id \"" +
           kStamp + "\"";
  };
  const std::vector<Expected> cases = {
      {"Run Vantor Job (UNIX)", "/opt/keld/utils/RunVantorJob.exe", "VantorExp_Log.txt",
       "VantorExp_Stat.txt", "", a("VantorExp_Log.txt", "VantorExp_Stat.txt")},
      {"Run Vantor Job (NT)", "/opt/keld/utils/RunVantorJob.exe", "VantorExp_Log.txt",
       "VantorExp_Stat.txt", "", a("VantorExp_Log.txt", "VantorExp_Stat.txt")},
      {"SupplyDesk 2.2 User Extraction", "/opt/keld/utils/SDUserDownload.exe", "SupplyDesk_Log.txt",
       "SupplyDesk_Stat.txt", "", a("SupplyDesk_Log.txt", "SupplyDesk_Stat.txt")},
      {"Run Quillmart script", "/opt/keld/utils/RunQM.exe", "RunQM_Log.txt", "RunQM_Stat.txt",
       "RunQM_Sum.txt",
       "-v 2 -Summary \"" + f + "RunQM_Sum.txt\" -StatusFile \"" + f +
           "RunQM_Stat.txt\" -LogFile \"" + f + "RunQM_Log.txt\""},
      {"Flow Runner", "/opt/keld/utils/FlowRun.exe", "FlowRun_Log.txt", "FlowRun_Stat.txt", "",
       a("FlowRun_Log.txt", "FlowRun_Stat.txt")},
      {"Scan Anomalies", "/opt/keld/utils/ScanAnomalies.exe", "ScanAnom_Log.txt",
       "ScanAnom_Stat.txt", "", a("ScanAnom_Log.txt", "ScanAnom_Stat.txt")},
      {"Member Purger", "/opt/keld/utils/MemberPurger.exe", "Purger_Log.txt", "Purger_Stat.txt", "",
       a("Purger_Log.txt", "Purger_Stat.txt")},
      {"Settings Editor", "/opt/keld/utils/SettingsEditor.exe", "", "SettingsEditor_Stat.txt", "",
       "-v 2 -StatusFile \"" + f + "SettingsEditor_Stat.txt\" -job_id \"" + kStamp + "\""},
      {"Health Inspector", "/opt/mirn/utils/Inspector.exe", "HealthInspector_Log.txt",
       "HealthInspector_Stat.txt", "", a("HealthInspector_Log.txt", "HealthInspector_Stat.txt")},
      {"Build Aggregates", "/opt/keld/utils/BuildAggr.exe", "BuildAggr_Log.txt",
       "BuildAggr_Stat.txt", "", a("BuildAggr_Log.txt", "BuildAggr_Stat.txt")},
  };
  for (const Expected& expected : cases) {
    SCOPED_TRACE(expected.type);
    table_.AllocateAfresh();
    AddRow("7", expected.type, "-v 2");
    std::unique_ptr<clsJobLines> lines = Prepare();
    ASSERT_EQ(lines->Count(), 1);
    const clsJobLine& line = *lines->Item(1);
    EXPECT_EQ(line.ProgramExecuter(), expected.executer);
    EXPECT_EQ(line.LogFileName(), expected.log.empty() ? "" : f + expected.log);
    EXPECT_EQ(line.StatusFileName(), f + expected.status);
    EXPECT_EQ(line.SummayFileName(), expected.summary.empty() ? "" : f + expected.summary);
    EXPECT_EQ(line.ProgramOptions(), expected.options);
    EXPECT_EQ(line.CleanProgramOptions(), "-v 2");
    EXPECT_EQ(line.UserProgramName(), "");
  }

  // The user's batch file brings its own files and takes them positionally.
  table_.AllocateAfresh();
  int row = AddRow("7", "User Batchfile", "-v 2");
  table_.Set(kColBatchFile, row, "/home/me/nightly.sh");
  table_.Set(kColBatchLogFile, row, "/tmp/nightly log.txt");
  table_.Set(kColBatchStatusFile, row, "/tmp/nightly.stat");
  std::unique_ptr<clsJobLines> lines = Prepare();
  const clsJobLine& user = *lines->Item(1);
  EXPECT_EQ(user.UserProgramName(), "/home/me/nightly.sh");
  EXPECT_EQ(user.ProgramExecuter(), "/home/me/nightly.sh");
  EXPECT_EQ(user.LogFileName(), "/tmp/nightly log.txt");
  EXPECT_EQ(user.StatusFileName(), "/tmp/nightly.stat");
  EXPECT_EQ(user.SummayFileName(), "");
  EXPECT_EQ(user.ProgramOptions(),
            std::string("-v 2 \"/tmp/nightly.stat\" \"/tmp/nightly log.txt\" ") + kStamp);

  // A type outside the catalogue gets nothing to start.
  table_.AllocateAfresh();
  AddRow("7", "???", "-v 2");
  AddRow("8", "flow runner", "-v 2");
  lines = Prepare();
  ASSERT_EQ(lines->Count(), 2);
  for (const clsJobLine& unknown : *lines) {
    EXPECT_EQ(unknown.ProgramExecuter(), "");
    EXPECT_EQ(unknown.ProgramOptions(), "");
    EXPECT_EQ(unknown.StatusFileName(), "");
    EXPECT_EQ(unknown.JobID(), kStamp);
  }
}

TEST_F(PrepareJobLinesTest, SwitchesFollowEmptyOwnOptionsWithTheirBlank) {
  int row = AddRow("12", "Run Quillmart script");
  AddRow("13", "User Batchfile");
  table_.Set(kColBatchFile, row + 1, std::nullopt);
  std::unique_ptr<clsJobLines> lines = Prepare();
  EXPECT_EQ(lines->Line(12)->ProgramOptions().rfind(
                std::string(" -Summary \"") + kFolder + kRunName + "_12RunQM_Sum.txt\"", 0),
            0u);
  // Cells without a value read as empty texts.
  EXPECT_EQ(lines->Line(13)->ProgramExecuter(), "");
  EXPECT_EQ(lines->Line(13)->ProgramOptions(), std::string(" \"\" \"\" ") + kStamp);
}

TEST_F(PrepareJobLinesTest, CopiesTheRowsActiveRowsOnlyWithTheirTrimmingRules) {
  int row = AddRow("30", "Flow Runner", "  spaced  ");
  table_.Set(kColDescription, row, "  kept as typed ");
  table_.Set(kColWait, row, "  10,20 ");
  table_.Set(kColSkipOnError, row, " 40");
  table_.Set(kColSkipOnSuccess, row, "50 ");
  table_.Set(kColRepeatOnError, row, " 60 ");
  table_.Set(kColRepeatOnSuccess, row, " 70 ");
  table_.Set(kColStopOnError, row, "true");
  row = AddRow("10", "Flow Runner");
  table_.Set(kColActive, row, "True");
  row = AddRow("20", "Flow Runner");
  table_.Set(kColActive, row, "false");
  row = AddRow("40", "Flow Runner");
  table_.Set(kColStopOnError, row, "yes");
  row = AddRow("5", "Flow Runner");
  table_.Set(kColActive, row, std::nullopt);
  AddRow("45", "Scan Anomalies");

  std::unique_ptr<clsJobLines> lines = Prepare();
  std::vector<int32_t> numbers;
  for (const clsJobLine& line : *lines) {
    numbers.push_back(line.JobLineNr());
    EXPECT_EQ(line.JobID(), kStamp);
    EXPECT_FALSE(line.AlreadyRun() || line.IsRunning() || line.IsSkipped() || line.ErrorOccured() ||
                 line.Repeated());
    EXPECT_EQ(line.OriginalJobLineNr(), 0);
  }
  EXPECT_EQ(numbers, (std::vector<int32_t>{30, 40, 45}));
  EXPECT_EQ(lines->HighestJobLineNr(), 45);
  const clsJobLine& first = *lines->Line(30);
  EXPECT_EQ(first.JobDescription(), "  kept as typed ");
  EXPECT_EQ(first.CleanProgramOptions(), "  spaced  ");
  EXPECT_EQ(first.ProgramOptions().rfind("  spaced   -StatusFile \"", 0), 0u);
  EXPECT_EQ(first.Precedence(), "10,20");
  EXPECT_EQ(first.SkipOnError(), "40");
  EXPECT_EQ(first.SkipOnSuccess(), "50");
  EXPECT_EQ(first.RepeatOnError(), "60");
  EXPECT_EQ(first.RepeatOnSuccess(), "70");
  EXPECT_TRUE(first.StopOnError());
  EXPECT_FALSE(lines->Line(40)->StopOnError());
  EXPECT_TRUE(warnings_.empty());

  // Both folders are looked up once per run, however many lines there are: two values each.
  EXPECT_EQ(registry_.query_count(), 4);
}

TEST_F(PrepareJobLinesTest, ProductsNotInstalledLeaveALoneSeparator) {
  registry_ = test::MapRegistry();
  AddRow("1", "Health Inspector");
  AddRow("2", "Flow Runner");
  std::unique_ptr<clsJobLines> lines = Prepare();
  EXPECT_EQ(lines->Line(1)->ProgramExecuter(), "/Inspector.exe");
  EXPECT_EQ(lines->Line(2)->ProgramExecuter(), "/FlowRun.exe");
}

TEST_F(PrepareJobLinesTest, RowsWithoutAUsableNumberStayOutWithAWarning) {
  for (const char* number : {"", "abc", "0", "-5", "1000000", "12abc", "1.5", "+3"}) {
    SCOPED_TRACE(number);
    table_.AllocateAfresh();
    AddRow(number, "Flow Runner");
    AddRow("999999", "Flow Runner");
    std::unique_ptr<clsJobLines> lines = Prepare();
    ASSERT_EQ(lines->Count(), 1);
    EXPECT_EQ(lines->Item(1)->JobLineNr(), 999999);
    ASSERT_EQ(warnings_.size(), 1u);
    EXPECT_EQ(warnings_[0], std::string("the active job line in row 1 has the number \"") + number +
                                "\", which is not a whole number from 1 to 999999; it is left "
                                "out of the run");
  }
  // Numbers above 16 bits run whole, with their file names; blanks around digits are fine.
  table_.AllocateAfresh();
  AddRow(" 40000 ", "Flow Runner");
  AddRow("065536", "Flow Runner");
  std::unique_ptr<clsJobLines> lines = Prepare();
  EXPECT_TRUE(warnings_.empty());
  ASSERT_NE(lines->Line(40000), nullptr);
  EXPECT_EQ(lines->Line(40000)->LogFileName(),
            std::string(kFolder) + kRunName + "_40000FlowRun_Log.txt");
  EXPECT_NE(lines->Line(65536), nullptr);
  EXPECT_EQ(lines->Line(0), nullptr);
}

TEST_F(PrepareJobLinesTest, TheSecondActiveRowOfANumberStaysOutAndIsNamed) {
  int row = AddRow("20", "Flow Runner");
  table_.Set(kColDescription, row, "first");
  AddRow("10", "Flow Runner");
  row = AddRow("20", "Scan Anomalies");
  table_.Set(kColDescription, row, "second");
  row = AddRow("10", "Flow Runner");
  table_.Set(kColActive, row, "false");
  AddRow("020", "Flow Runner");
  AddRow("30", "Flow Runner");

  std::unique_ptr<clsJobLines> lines = Prepare();
  ASSERT_EQ(lines->Count(), 3);
  EXPECT_EQ(lines->Line(20)->JobDescription(), "first");
  EXPECT_EQ(lines->Line(20)->ProgramType(), "Flow Runner");
  ASSERT_EQ(warnings_.size(), 2u);
  EXPECT_EQ(warnings_[0],
            "job line number 20 is used by more than one active job line; the one in row 3 is "
            "left out of the run");
  EXPECT_NE(warnings_[1].find("row 5"), std::string::npos);

  // The inactive second 10 is no duplicate; 20 is reported once for its two extra rows.
  EXPECT_EQ(DuplicateActiveJobLineNumbers(table_, table_.Get_BatchLine_Count()),
            (std::vector<int32_t>{20}));
  AddRow("30", "Flow Runner");
  AddRow("10", "Flow Runner");
  EXPECT_EQ(DuplicateActiveJobLineNumbers(table_, table_.Get_BatchLine_Count()),
            (std::vector<int32_t>{20, 30, 10}));
  EXPECT_EQ(DuplicateActiveJobLineNumbers(table_, 3), (std::vector<int32_t>{20}));
  EXPECT_TRUE(DuplicateActiveJobLineNumbers(table_, 2).empty());
}

TEST(CellText, IsTheTextOrEmpty) {
  EXPECT_EQ(CellText(std::nullopt), "");
  EXPECT_EQ(CellText(std::string(" a ")), " a ");
}

}  // namespace
}  // namespace jr
