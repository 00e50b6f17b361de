#include "engine/result_files.h"

#include <gtest/gtest.h>

#include "model/catalogue.h"
#include "support/engine_fakes.h"

namespace jr {
namespace {

RunLine& Source(RunLines& lines, int32_t number, std::string_view type) {
  RunLine& line = *lines.Add(number);
  const std::string stem = "/run dir/S~1_" + std::to_string(number);
  line.EditDefinition().type = std::string(type);
  line.EditDefinition().options = "-a 1";
  line.EditDefinition().stop_on_error = true;
  line.EditDefinition().skip_on_error = ReadJobLineRefs("60").value;
  line.EditDefinition().repeat_on_success = ReadJobLineRefs("63").value;
  line.SetJobId("20030307_140509");
  line.SetLogFileName(stem + "Log.txt");
  line.SetStatusFileName(stem + "Stat.txt");
  line.SetSummaryFileName(stem + "Sum.txt");
  line.SetState(LineState::kFailed);
  line.SetProcessId(4711);
  return line;
}

// Of every type: the copy has its source's definition, a fresh state and files of its own,
// and its arguments are its source's with its own file names in their places, whatever
// blanks the names hold.
TEST(ResultFiles, ARepeatCopyDiffersFromItsSourceOnlyInItsStateFilesAndNumber) {
  for (const JobLineType& type : Catalogue()) {
    RunLines lines;
    RunLine& source = Source(lines, 10, type.name);
    lines.Add(30);
    // A settings editor writes no log file; neither is told to write one named "".
    if (type.name == kSettingsEditor) source.SetLogFileName("");
    source.SetProgramArguments(JobLineArguments(source));
    const RunLine& copy = *CreateRepeatCopy(lines, source).value;
    EXPECT_EQ(copy.JobLineNr(), 40) << "ten after the last";
    EXPECT_EQ(copy.OriginalJobLineNr(), 10);
    EXPECT_TRUE(copy.definition() == source.definition() && copy.JobId() == source.JobId());
    // The copy shares the definition; a change to the source's is its own.
    source.EditDefinition().options = "-b 2";
    EXPECT_EQ(copy.definition().options, "-a 1");
    EXPECT_TRUE(!copy.ErrorOccurred() && copy.ProcessId() == 0);
    std::vector<std::string> expected = source.ProgramArguments();
    for (std::string& argument : expected) {
      if (argument.starts_with("/run dir/")) argument = RepeatCopyFileName(argument, 1);
    }
    EXPECT_NE(expected, source.ProgramArguments()) << type.name;
    EXPECT_EQ(test::Joined(copy.ProgramArguments()), test::Joined(expected)) << type.name;
    // The second copy counts the first; a copy of the copy adds a second "_Rpt".
    EXPECT_EQ(CreateRepeatCopy(lines, source).value->StatusFileName(),
              "/run dir/S~1_10Stat_Rpt2.txt");
    EXPECT_EQ(CreateRepeatCopy(lines, copy).value->StatusFileName(),
              "/run dir/S~1_10Stat_Rpt1_Rpt1.txt");
  }
  // A user script's own file names need not end in ".txt": the copy stays in its folder.
  EXPECT_EQ(RepeatCopyFileName("/srv/job/st.log", 2), "/srv/job/st_Rpt2.txt");
  EXPECT_EQ(RepeatCopyFileName("/srv/job/st.d/status", 1), "/srv/job/st.d/status_Rpt1.txt");
  EXPECT_EQ(RepeatCopyFileName("/srv/run-1/abc", 1), "/srv/run-1/abc_Rpt1.txt");
  EXPECT_EQ(RepeatCopyFileName("/srv/x./ab", 1), "/srv/x./ab_Rpt1.txt");
  EXPECT_EQ(RepeatCopyFileName("C:\\x.\\ab", 1), "C:\\x.\\ab_Rpt1.txt");
}

}  // namespace
}  // namespace jr
