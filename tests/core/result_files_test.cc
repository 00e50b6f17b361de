#include "engine/result_files.h"

#include <gtest/gtest.h>

#include "model/catalogue.h"

namespace jr {
namespace {

RunLine& Source(RunLines& lines, int32_t number, std::string_view type) {
  RunLine& line = *lines.Add(number);
  const std::string stem = "/run/S~1_" + std::to_string(number);
  line.setProgramType(std::string(type));
  line.setCleanProgramOptions("-a 1");
  line.setStopOnError(true);
  line.setSkipOnError(ReadJobLineRefs("60").value);
  line.setRepeatOnSuccess(ReadJobLineRefs("63").value);
  line.setLogFileName(stem + "Log.txt");
  line.setStatusFileName(stem + "Stat.txt");
  line.setSummaryFileName(stem + "Sum.txt");
  line.setState(LineState::kFailed);
  line.setProcessId(4711);
  return line;
}

TEST(ResultFiles, ARepeatCopyHasTheDefinitionAFreshStateAndFilesOfItsOwn) {
  RunLines lines;
  RunLine& source = Source(lines, 10, "Flow Runner");
  lines.Add(30);
  RunLine* copy = CreateRepeatCopy(lines, source).value;
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->JobLineNr(), 40) << "ten after the last";
  EXPECT_EQ(copy->OriginalJobLineNr(), 10);
  EXPECT_EQ(copy->SkipOnError().text + copy->RepeatOnSuccess().text, "6063");
  EXPECT_TRUE(copy->StopOnError() && !copy->ErrorOccurred() && copy->ProcessId() == 0);
  EXPECT_EQ(copy->ProgramOptions(),
            "-a 1 -StatusFile \"/run/S~1_10Stat_Rpt1.txt\" -LogFile \"/run/S~1_10Log_Rpt1.txt\"");

  // The second copy counts the first; a copy of the copy adds a second "_Rpt".
  EXPECT_EQ(CreateRepeatCopy(lines, source).value->LogFileName(), "/run/S~1_10Log_Rpt2.txt");
  EXPECT_EQ(CreateRepeatCopy(lines, *copy).value->StatusFileName(),
            "/run/S~1_10Stat_Rpt1_Rpt1.txt");
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
    RunLines lines;
    RunLine& source = Source(lines, 10, type);
    if (type == kSettingsEditor) source.setLogFileName("");
    EXPECT_EQ(CreateRepeatCopy(lines, source).value->ProgramOptions(), options) << type;
  }
}

}  // namespace
}  // namespace jr
