// `jobrunner --check` as administrators run it: the built program, real files, the exit
// status and both output streams.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>

#include "support/test_paths.h"

namespace jr {
namespace {

struct Outcome {
  int status = -1;
  std::string out, err;
};

class CheckTest : public ::testing::Test {
 protected:
  // Runs the program with `args`; standard output goes to `out_to` when given.
  Outcome Run(const std::vector<std::string>& args, std::string out_to = {}) {
    std::string command = Quoted(test::BinDir() + "/jobrunner");
    for (const std::string& arg : args) command += " " + Quoted(arg);
    const bool capture = out_to.empty();
    if (capture) out_to = dir_.File("out");
    const int raw =
        std::system((command + " >" + Quoted(out_to) + " 2>" + Quoted(dir_.File("err"))).c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, capture ? Slurp(out_to) : "",
            Slurp(dir_.File("err"))};
  }
  std::string File(const std::string& name, const std::string& content) {
    std::ofstream(dir_.File(name), std::ios::binary) << content;
    return dir_.File(name);
  }
  static std::string Quoted(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
  }
  static std::string Slurp(const std::string& path) {
    std::stringstream content;
    content << std::ifstream(path, std::ios::binary).rdbuf();
    return content.str();
  }
  test::TempDir dir_;
};

TEST_F(CheckTest, PrintsTheLoadedJobAsJsonWithSafeEscapes) {
  const std::string path = File(
      "my job.xml",
      "<VANTORSOREL_Job_specification Description=\"q&quot; b\\ n&#10;t&#9;c&#1; \xC3\xA9 "
      "bad\xFF\xC3 end\" LogFile=\"a\" UserFile=\"u\" TempLogDir=\"\" LogToEventLog=\"false\">\n"
      "  <BatchLines>\n"
      "    <BatchLine batch_line=\"20\" batch_line_type=\"Flow Runner\" options=\"\" "
      "repeat_on_error=\"1\"/>\n"
      "    <BatchLine batch_line=\"10\" batch_line_type=\"nope\" active=\"false\" "
      "own_batch_file=\"/r.sh\" skip_on_error=\"20\"/>\n"
      "  </BatchLines>\n</VANTORSOREL_Job_specification>\n");
  // The words after --check make up one file name, as in an unattended run.
  const Outcome outcome = Run({"--check", dir_.File("my"), "job.xml"});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(outcome.out,
            "{\"Description\": \"q\\\" b\\\\ n\\nt\\tc\\u0001 \xC3\xA9 bad\xEF\xBF\xBD\xEF\xBF\xBD"
            " end\", \"LogFile\": \"a\", \"UserFile\": \"u\", \"TempLogDir\": \"\", "
            "\"LogToEventLog\": 0, \"MaxParallel\": \"99\", \"lines\": [\n"
            "  [\"20\", null, \"Flow Runner\", \"\", null, null, \"true\", null, null, null, "
            "\"\", \"\", \"\", \"\"],\n"
            "  [\"10\", null, \"???\", null, null, null, \"false\", \"/r.sh\", null, null, "
            "\"20\", null, null, null]\n]}\n");
  EXPECT_EQ(Run({"--check", path}, "/dev/full").status, 74);
}

TEST_F(CheckTest, RefusedFilesAndMisuseAreNotSuccess) {
  const std::pair<std::string, std::string> cases[] = {
      {"<VANTORSOREL_Job_specification", "Open: Job file does not exist"},
      {"<?xml version=\"1.0\"?><VANTORSOREL_Job_specification/>",
       "Open: This is no Orvex Job Extraction specification file"},
      {"<VANTORSOREL_Job_specification Description=\"\"/>",
       "Open: The job file \"" + dir_.File("job.xml") +
           "\" is not a valid job file: its root element lacks \"LogFile\", \"UserFile\", "
           "\"TempLogDir\"."}};
  for (const auto& [content, first_line] : cases) {
    const Outcome outcome = Run({"--check", File("job.xml", content)});
    EXPECT_EQ(outcome.status, 3) << content;
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err.substr(0, outcome.err.find('\n')), first_line);
  }
  Outcome outcome = Run({"--check", dir_.File("absent.xml")});
  EXPECT_EQ(outcome.status, 3);
  EXPECT_EQ(outcome.err, "Open: Job file does not exist\njobrunner: \"" + dir_.File("absent.xml") +
                             "\": No such file or directory\n");
  outcome = Run({"--check"});
  EXPECT_EQ(outcome.status, 64);
  EXPECT_NE(outcome.err.find("--check JOBFILE"), std::string::npos);
}

}  // namespace
}  // namespace jr
