// `jobrunner --check` as administrators run it: the built program, real files, the exit
// status and both output streams.

#include <gtest/gtest.h>

#include <filesystem>

#include "support/run_program.h"
#include "support/test_paths.h"

namespace jr {
namespace {

class CheckTest : public ::testing::Test {
 protected:
  test::ProgramOutcome Check(std::vector<std::string> args) {
    args.insert(args.begin(), "--check");
    return test::RunProgram(test::BinDir() + "/jobrunner", args, {}, dir_.path());
  }
  std::string File(const std::string& name, const std::string& content) {
    test::WriteWholeFile(dir_.File(name), content);
    return dir_.File(name);
  }
  test::TempDir dir_;
};

TEST_F(CheckTest, PrintsTheJobAsJsonWithSafeEscapesAndNamesWhatARunWouldRefuse) {
  const std::string path = File(
      "my job.xml",
      "<VANTORSOREL_Job_specification Description=\"q&quot; b\\ n&#10;t&#9;c&#1;&#8;&#12;\x7F "
      "\xC3\xA9 bad\xFF\xC3 end\" LogFile=\"a\" UserFile=\"u\" TempLogDir=\"\" "
      "LogToEventLog=\"false\" JobTimeLimit=\" 7200\" Overlap=\"Wait\" NotifyMail=\" ops@x.org "
      ",root@localhost\" NotifyWebhook=\"https://u:pw@h.example/x?token=s3cret\" "
      "NotifyOn=\"Always\">\n"
      "  <BatchLines>\n"
      "    <BatchLine batch_line=\"20\" batch_line_type=\"Flow Runner\" options=\"\" wait=\"1e7\" "
      "repeat_on_error=\"1\" time_limit=\"060\" repeat_delay=\"0\" repeat_limit=\"7\"/>\n"
      "    <BatchLine batch_line=\"10\" batch_line_type=\"nope\" active=\"false\" "
      "own_batch_file=\"/r.sh\" skip_on_error=\"20\" time_limit=\"1 h\"/>\n"
      "  </BatchLines>\n</VANTORSOREL_Job_specification>\n");
  // The words after --check make up one file name, as in an unattended run.
  const test::ProgramOutcome outcome = Check({dir_.File("my"), "job.xml"});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  // Lists dropped for want of skip_on_error are named; limits a run would refuse are left out
  // of the JSON and named, as are list entries that do not read; the words the window shows
  // capitalised are read in any case and shown as the file means them; what a run would miss
  // on this machine follows.
  const std::string unread = "jobrunner: warning: " + path +
                             ": job line 20: repeat_on_error was not read: the lists of a job "
                             "line are read only when it has skip_on_error\n";
  EXPECT_TRUE(
      outcome.err.starts_with(unread + "jobrunner: error: " + path +
                              ": the time limit of job line 10 \"1 h\" is not a whole number from "
                              "1 to 604800; the job cannot run\njobrunner: error: " +
                              path +
                              ": job line 20, \"wait\": the job-line list entry \"1e7\" lies "
                              "outside the job line numbers; the job cannot run\n"));
  EXPECT_EQ(
      outcome.out,
      "{\"Description\": \"q\\\" b\\\\ n\\nt\\tc\\u0001\\u0008\\u000c\\u007f \xC3\xA9 "
      "bad\xEF\xBF\xBD\xEF\xBF\xBD end\", \"LogFile\": \"a\", \"UserFile\": \"u\", "
      "\"TempLogDir\": \"\", \"LogToEventLog\": 0, \"MaxParallel\": \"99\", "
      "\"JobTimeLimit\": 7200, \"Overlap\": \"wait\", \"NotifyMail\": [\"ops@x.org\", "
      "\"root@localhost\"], \"NotifyWebhook\": \"https://h.example/x\", \"NotifyOn\": \"always\", "
      "\"time_limits\": {\"20\": 60}, "
      "\"repeat_delays\": {\"20\": "
      "0}, \"repeat_limits\": {\"20\": 7}, \"lines\": [\n"
      "  [\"20\", null, \"Flow Runner\", \"\", \"1e7\", null, \"true\", null, null, null, "
      "\"\", \"\", \"\", \"\"],\n"
      "  [\"10\", null, \"???\", null, null, null, \"false\", \"/r.sh\", null, null, "
      "\"20\", null, null, null]\n], \"credentials\": [], \"Schedule\": null, \"CatchUp\": true, "
      "\"RandomDelay\": 0, \"Calendar\": null, \"next_runs\": null}\n");

  // A run names the lists first too, before it refuses the job.
  EXPECT_TRUE(test::RunProgram(test::BinDir() + "/jobrunner", {path}, {}, dir_.path())
                  .err.starts_with(unread));

  // A registry file that cannot be used is named as a run names it; the check still passes.
  const test::ProgramOutcome unusable =
      test::RunProgram(test::BinDir() + "/jobrunner", {"--check", path},
                       {{"JOBRUNNER_REGISTRY", "/dev/zero"}}, dir_.path());
  EXPECT_EQ(unusable.status, 0);
  EXPECT_NE(unusable.err.find("jobrunner: warning: " + path +
                              ": the registry file \"/dev/zero\" cannot be read: it is a character "
                              "device, not a file; no registry values are used\n"),
            std::string::npos)
      << unusable.err;
}

TEST_F(CheckTest, RefusedFilesAndMisuseAreNotSuccess) {
  const std::string not_job = "Open: This is no Orvex Job Extraction specification file\n";
  const std::pair<std::string, std::string> cases[] = {
      {"<VANTORSOREL_Job_specification",
       not_job + "jobrunner: " + dir_.File("job.xml") + ":1:30: error parsing start element tag\n"},
      {"<?xml version=\"1.0\"?><VANTORSOREL_Job_specification/>", not_job},
      {"<VANTORSOREL_Job_specification Description=\"\"/>",
       "Open: The job file \"" + dir_.File("job.xml") +
           "\" is not a valid job file: its root element lacks \"LogFile\", \"UserFile\", "
           "\"TempLogDir\".\n"}};
  for (const auto& [content, start] : cases) {
    const test::ProgramOutcome outcome = Check({File("job.xml", content)});
    EXPECT_EQ(outcome.status, 3) << content;
    EXPECT_EQ(outcome.err.substr(0, start.size()), start);
  }
  const test::ProgramOutcome folder = Check({dir_.path()});
  EXPECT_EQ(folder.status, 3);
  EXPECT_EQ(folder.err,
            not_job + "jobrunner: \"" + dir_.path() + "\": it is a folder, not a file\n");
  // A run refuses a notice setting as --check names it, the URL without its secrets.
  const std::string job = File("n.xml",
                               "<VANTORSOREL_Job_specification Description=\"d\" LogFile=\"a\" "
                               "UserFile=\"u\" TempLogDir=\"" +
                                   dir_.File("logs") +
                                   "\" NotifyMail=\"a@b.org\" "
                                   "NotifyWebhook=\"ftp://u:pw@h/x?token=s3cret\"><BatchLines/>"
                                   "</VANTORSOREL_Job_specification>");
  const test::ProgramOutcome run =
      test::RunProgram(test::BinDir() + "/jobrunner", {job}, {}, dir_.path());
  EXPECT_TRUE(run.status == 4 && !std::filesystem::exists(dir_.File("logs")));
  EXPECT_EQ(run.err, "Extraction Job Runner: " + job +
                         ": NotifyWebhook: \"ftp://h/x\" is not an http:// or https:// URL; the "
                         "job was not run.\n");
  EXPECT_NE(Check({job}).out.find("\"NotifyMail\": [\"a@b.org\"], \"NotifyWebhook\": null, "
                                  "\"NotifyOn\": \"failure\""),
            std::string::npos);
  const test::ProgramOutcome outcome = Check({});
  EXPECT_EQ(outcome.status, 64);
  EXPECT_EQ(outcome.err, "jobrunner: --check needs a job file\nsee jobrunner --help\n");
}

}  // namespace
}  // namespace jr
