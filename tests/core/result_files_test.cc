#include "engine/result_files.h"

#include <gtest/gtest.h>

#include <fstream>

#include "model/catalogue.h"
#include "support/test_paths.h"

namespace jr {
namespace {

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

TEST(ReadStatusLine, ReadsTheFirstLineAsBytes) {
  test::TempDir dir;
  const std::string path = dir.File("status.txt");
  const FileSystem& fs = RealFileSystem();

  WriteBytes(path, "ok\r\nmore\n");
  EXPECT_EQ(ReadStatusLine(fs, path), "ok");
  WriteBytes(path, "20,30");
  EXPECT_EQ(ReadStatusLine(fs, path), "20,30") << "no line break at all";
  WriteBytes(path, " OK \n");
  EXPECT_EQ(ReadStatusLine(fs, path), " OK ") << "blanks are the caller's business";
  WriteBytes(path, "fail\rure\n");
  EXPECT_EQ(ReadStatusLine(fs, path), "fail\rure") << "only a CR before the LF is dropped";
  WriteBytes(path, "\xc3\xa9t\xe9\n");
  EXPECT_EQ(ReadStatusLine(fs, path), "\xc3\xa9t\xe9");
  WriteBytes(path, "");
  EXPECT_EQ(ReadStatusLine(fs, path), "");
  WriteBytes(path, "\nok\n");
  EXPECT_EQ(ReadStatusLine(fs, path), "") << "an empty first line is no verdict";
}

TEST(ReadStatusLine, AnythingUnreadableIsEmpty) {
  test::TempDir dir;
  const FileSystem& fs = RealFileSystem();
  EXPECT_EQ(ReadStatusLine(fs, dir.File("missing.txt")), "");
  EXPECT_EQ(ReadStatusLine(fs, dir.path()), "") << "a folder";
  EXPECT_EQ(ReadStatusLine(fs, ""), "");
}

clsJobLine& Source(clsJobLines& lines, int32_t number, std::string_view type) {
  clsJobLine& line = *lines.Add(number);
  line.setProgramType(std::string(type));
  line.setJobDescription("extract");
  line.setProgramExecuter("/k/Prog.exe");
  line.setCleanProgramOptions("-a 1");
  line.setPrecedence("5");
  line.setStopOnError(true);
  line.setSkipOnError("60");
  line.setSkipOnSuccess("61");
  line.setRepeatOnError("62");
  line.setRepeatOnSuccess("63");
  line.setJobID("20030307_140509");
  line.setLogFileName("/run/S~1_" + std::to_string(number) + "Log.txt");
  line.setStatusFileName("/run/S~1_" + std::to_string(number) + "Stat.txt");
  line.setSummayFileName("/run/S~1_" + std::to_string(number) + "Sum.txt");
  // Run state that a copy must not inherit.
  line.setAlreadyRun(true);
  line.setErrorOccured(true);
  line.setRepeated(true);
  line.setProcessId(4711);
  line.SetStartingTime();
  return line;
}

TEST(CreateRepeatCopy, CopiesTheDefinitionWithFreshStateAndFilesOfItsOwn) {
  clsJobLines lines;
  clsJobLine& source = Source(lines, 10, "Flow Runner");
  lines.Add(30);
  std::string failure;
  clsJobLine* copy = CreateRepeatCopy(lines, source, &failure);
  ASSERT_NE(copy, nullptr) << failure;

  EXPECT_EQ(copy->JobLineNr(), 40);
  EXPECT_EQ(copy->OriginalJobLineNr(), 10);
  EXPECT_EQ(copy->JobDescription(), "extract");
  EXPECT_EQ(copy->ProgramExecuter(), "/k/Prog.exe");
  EXPECT_EQ(copy->Precedence(), "5");
  EXPECT_TRUE(copy->StopOnError());
  EXPECT_EQ(
      copy->SkipOnError() + copy->SkipOnSuccess() + copy->RepeatOnError() + copy->RepeatOnSuccess(),
      "60616263");
  EXPECT_EQ(copy->JobID(), "") << "the job id is not copied";
  EXPECT_FALSE(copy->AlreadyRun() || copy->ErrorOccured() || copy->Repeated() ||
               copy->IsRunning() || copy->IsSkipped());
  EXPECT_EQ(copy->ProcessId(), 0);
  EXPECT_EQ(copy->StartingTime(), "");
  EXPECT_EQ(copy->LogFileName(), "/run/S~1_10Log_Rpt1.txt");
  EXPECT_EQ(copy->StatusFileName(), "/run/S~1_10Stat_Rpt1.txt");
  EXPECT_EQ(copy->SummayFileName(), "");
  EXPECT_EQ(copy->ProgramOptions(),
            "-a 1 -StatusFile \"/run/S~1_10Stat_Rpt1.txt\" -LogFile \"/run/S~1_10Log_Rpt1.txt\"");

  // The second copy counts the first; a copy of the copy adds a second "_Rpt".
  clsJobLine* second = CreateRepeatCopy(lines, source, &failure);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->JobLineNr(), 50);
  EXPECT_EQ(second->LogFileName(), "/run/S~1_10Log_Rpt2.txt");
  clsJobLine* of_copy = CreateRepeatCopy(lines, *copy, &failure);
  ASSERT_NE(of_copy, nullptr);
  EXPECT_EQ(of_copy->OriginalJobLineNr(), 40);
  EXPECT_EQ(of_copy->StatusFileName(), "/run/S~1_10Stat_Rpt1_Rpt1.txt");
}

TEST(CreateRepeatCopy, OptionsFollowTheType) {
  clsJobLines lines;
  std::string failure;

  clsJobLine* quill = CreateRepeatCopy(lines, Source(lines, 10, kRunQuillmartScript), &failure);
  ASSERT_NE(quill, nullptr);
  EXPECT_EQ(quill->SummayFileName(), "/run/S~1_10Sum_Rpt1.txt");
  EXPECT_EQ(quill->ProgramOptions(),
            "-a 1 -Summary \"/run/S~1_10Sum_Rpt1.txt\" -StatusFile \"/run/S~1_10Stat_Rpt1.txt\" "
            "-LogFile \"/run/S~1_10Log_Rpt1.txt\"");

  clsJobLine& user_source = Source(lines, 30, kUserBatchfile);
  user_source.setUserProgramName("/home/u/batch.sh");
  clsJobLine* user = CreateRepeatCopy(lines, user_source, &failure);
  ASSERT_NE(user, nullptr);
  EXPECT_EQ(user->UserProgramName(), "/home/u/batch.sh");
  EXPECT_EQ(user->SummayFileName(), "");
  EXPECT_EQ(user->ProgramOptions(), "-a 1 /run/S~1_30Stat_Rpt1.txt /run/S~1_30Log_Rpt1.txt")
      << "unquoted, without job id";
}

TEST(CreateRepeatCopy, ShortAndEmptyFileNames) {
  EXPECT_EQ(RepeatCopyFileName("", 1), "");
  EXPECT_EQ(RepeatCopyFileName("a.b", 2), "a.b_Rpt2.txt");
  EXPECT_EQ(RepeatCopyFileName(".txt", 1), "_Rpt1.txt");

  // A settings editor writes no log file; its copy is not told to write one named "".
  clsJobLines lines;
  clsJobLine& editor = Source(lines, 10, kSettingsEditor);
  editor.setLogFileName("");
  std::string failure;
  clsJobLine* copy = CreateRepeatCopy(lines, editor, &failure);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->LogFileName(), "");
  EXPECT_EQ(copy->ProgramOptions(), "-a 1 -StatusFile \"/run/S~1_10Stat_Rpt1.txt\"");
}

TEST(CreateRepeatCopy, NumbersAboveTheEditorsRangeFail) {
  clsJobLines lines;
  clsJobLine& source = Source(lines, 999989, "Flow Runner");
  std::string failure;
  clsJobLine* copy = CreateRepeatCopy(lines, source, &failure);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->JobLineNr(), 999999);
  EXPECT_EQ(CreateRepeatCopy(lines, source, &failure), nullptr);
  EXPECT_NE(failure.find("1000009"), std::string::npos) << failure;
  EXPECT_EQ(lines.Count(), 2);
}

}  // namespace
}  // namespace jr
