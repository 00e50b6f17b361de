#include "engine/result_files.h"

#include <gtest/gtest.h>

#include <fstream>

#include "model/catalogue.h"
#include "support/test_paths.h"

namespace jr {
namespace {

TEST(ResultFiles, TheStatusLineIsTheFirstLineReadAsBytes) {
  test::TempDir dir;
  const std::string path = dir.File("status.txt");
  const std::pair<const char*, const char*> cases[] = {
      {"ok\r\nmore\n", "ok"},       {"20,30", "20,30"},           {" OK \n", " OK "}, {"", ""},
      {"fail\rure\n", "fail\rure"}, {"\xe9t\xe9\n", "\xe9t\xe9"}, {"\nok\n", ""}};
  for (const auto& [bytes, line] : cases) {
    std::ofstream(path, std::ios::binary) << bytes;
    EXPECT_EQ(ReadStatusLine(RealFileSystem(), path), line) << bytes;
  }
  for (const std::string& nothing : {dir.File("missing"), dir.path(), std::string()}) {
    EXPECT_EQ(ReadStatusLine(RealFileSystem(), nothing), "") << nothing;
  }
}

clsJobLine& Source(clsJobLines& lines, int32_t number, std::string_view type) {
  clsJobLine& line = *lines.Add(number);
  const std::string stem = "/run/S~1_" + std::to_string(number);
  line.setProgramType(std::string(type));
  line.setJobDescription("extract");
  line.setProgramExecuter("/k/Prog.exe");
  line.setUserProgramName("/u/b.sh");
  line.setCleanProgramOptions("-a 1");
  line.setPrecedence("5");
  line.setStopOnError(true);
  line.setSkipOnError("60");
  line.setSkipOnSuccess("61");
  line.setRepeatOnError("62");
  line.setRepeatOnSuccess("63");
  line.setJobID("20030307_140509");
  line.setLogFileName(stem + "Log.txt");
  line.setStatusFileName(stem + "Stat.txt");
  line.setSummayFileName(stem + "Sum.txt");
  line.setAlreadyRun(true);
  line.setErrorOccured(true);
  line.setRepeated(true);
  line.setProcessId(4711);
  line.SetStartingTime();
  return line;
}

TEST(ResultFiles, ARepeatCopyHasTheDefinitionAFreshStateAndFilesOfItsOwn) {
  clsJobLines lines;
  clsJobLine& source = Source(lines, 10, "Flow Runner");
  lines.Add(30);
  clsJobLine* copy = CreateRepeatCopy(lines, source).value;
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->JobLineNr(), 40);
  EXPECT_EQ(copy->OriginalJobLineNr(), 10);
  EXPECT_EQ(copy->JobDescription() + copy->ProgramExecuter() + copy->UserProgramName() +
                copy->Precedence() + copy->SkipOnError() + copy->SkipOnSuccess() +
                copy->RepeatOnError() + copy->RepeatOnSuccess(),
            "extract/k/Prog.exe/u/b.sh560616263");
  EXPECT_TRUE(copy->StopOnError());
  EXPECT_EQ(copy->JobID() + copy->StartingTime() + copy->SummayFileName(), "") << "not copied";
  EXPECT_FALSE(copy->AlreadyRun() || copy->ErrorOccured() || copy->Repeated());
  EXPECT_EQ(copy->ProcessId(), 0);
  EXPECT_EQ(copy->ProgramOptions(),
            "-a 1 -StatusFile \"/run/S~1_10Stat_Rpt1.txt\" -LogFile \"/run/S~1_10Log_Rpt1.txt\"");

  // The second copy counts the first; a copy of the copy adds a second "_Rpt".
  EXPECT_EQ(CreateRepeatCopy(lines, source).value->LogFileName(), "/run/S~1_10Log_Rpt2.txt");
  clsJobLine* of_copy = CreateRepeatCopy(lines, *copy).value;
  EXPECT_EQ(of_copy->OriginalJobLineNr(), 40);
  EXPECT_EQ(of_copy->StatusFileName(), "/run/S~1_10Stat_Rpt1_Rpt1.txt");
  EXPECT_EQ(RepeatCopyFileName("a.b", 2), "a.b_Rpt2.txt") << "too short to cut";
  EXPECT_EQ(RepeatCopyFileName(".txt", 1), "_Rpt1.txt");
}

TEST(ResultFiles, ARepeatCopysOptionsFollowItsType) {
  const std::pair<std::string_view, const char*> cases[] = {
      {kRunQuillmartScript,
       "-a 1 -Summary \"/run/S~1_10Sum_Rpt1.txt\" -StatusFile \"/run/S~1_10Stat_Rpt1.txt\" "
       "-LogFile \"/run/S~1_10Log_Rpt1.txt\""},
      // Unquoted, without job id.
      {kUserBatchfile, "-a 1 /run/S~1_10Stat_Rpt1.txt /run/S~1_10Log_Rpt1.txt"},
      // A settings editor writes no log file; its copy is not told to write one named "".
      {kSettingsEditor, "-a 1 -StatusFile \"/run/S~1_10Stat_Rpt1.txt\""},
  };
  for (const auto& [type, options] : cases) {
    clsJobLines lines;
    clsJobLine& source = Source(lines, 10, type);
    if (type == kSettingsEditor) source.setLogFileName("");
    clsJobLine* copy = CreateRepeatCopy(lines, source).value;
    EXPECT_EQ(copy->ProgramOptions(), options) << type;
    EXPECT_EQ(copy->SummayFileName(), type == kRunQuillmartScript ? "/run/S~1_10Sum_Rpt1.txt" : "");
    EXPECT_EQ(copy->LogFileName(), type == kSettingsEditor ? "" : "/run/S~1_10Log_Rpt1.txt");
  }
}

}  // namespace
}  // namespace jr
