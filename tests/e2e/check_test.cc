// `jobrunner --check`, run as administrators run it: the built program, real files, the
// exit status and both output streams.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "support/test_paths.h"

namespace jr {
namespace {

using test::TempDir;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

std::string ShellQuoted(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

void Spit(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

class CheckTest : public ::testing::Test {
 protected:
  // Runs the program with `args`; standard output goes to `out_to` when given.
  Outcome Run(const std::vector<std::string>& args, const std::string& out_to = {}) {
    std::string command = ShellQuoted(test::BinDir() + "/jobrunner");
    for (const std::string& arg : args) command += " " + ShellQuoted(arg);
    const std::string out = out_to.empty() ? dir_.File("stdout") : out_to;
    command += " >" + ShellQuoted(out) + " 2>" + ShellQuoted(dir_.File("stderr"));
    const int raw = std::system(command.c_str());
    Outcome outcome;
    outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    if (out_to.empty()) outcome.out = Slurp(out);
    outcome.err = Slurp(dir_.File("stderr"));
    return outcome;
  }

  std::string File(const std::string& name, const std::string& content) {
    const std::string path = dir_.File(name);
    Spit(path, content);
    return path;
  }

  TempDir dir_;
};

TEST_F(CheckTest, PrintsTheLoadedJobAsJson) {
  const std::string path =
      File("night.xml",
           R"(<VANTORSOREL_Job_specification Description="Night" LogFile="a.htm" UserFile="u.htm" )"
           R"(TempLogDir="/logs" LogToEventLog="false" Exportdate="x" MaxParallel="3">)"
           "\n  <BatchLines>\n"
           R"(    <BatchLine batch_line="20" batch_line_type="Flow Runner" options="" )"
           R"(repeat_on_error="1"/>)"
           "\n"
           R"(    <BatchLine batch_line="10" batch_line_type="nope" active="false" )"
           R"(own_batch_file="/r.sh" skip_on_error="20"/>)"
           "\n  </BatchLines>\n</VANTORSOREL_Job_specification>\n");
  const Outcome outcome = Run({"--check", path});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(outcome.out,
            R"({"Description": "Night", "LogFile": "a.htm", "UserFile": "u.htm", )"
            R"("TempLogDir": "/logs", "LogToEventLog": 0, "MaxParallel": "3", "lines": [)"
            "\n"
            R"(  ["20", null, "Flow Runner", "", null, null, "true", null, null, null, )"
            R"("", "", "", ""],)"
            "\n"
            R"(  ["10", null, "???", null, null, null, "false", "/r.sh", null, null, )"
            R"("20", null, null, null])"
            "\n]}\n");
}

TEST_F(CheckTest, EscapesTextThatJsonCannotCarryAsIs) {
  const std::string path =
      File("odd name.xml",
           "<VANTORSOREL_Job_specification Description=\"q&quot; b\\ n&#10;t&#9;c&#1; "
           "\xC3\xA9 bad\xFF\xC3 end\" LogFile=\"\" UserFile=\"\" TempLogDir=\"\">"
           "<BatchLines/></VANTORSOREL_Job_specification>");
  // The words after --check make up one file name, as in an unattended run.
  const Outcome outcome = Run({"--check", dir_.File("odd"), "name.xml"});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.out,
            "{\"Description\": \"q\\\" b\\\\ n\\nt\\tc\\u0001 \xC3\xA9 bad\xEF\xBF\xBD\xEF\xBF\xBD"
            " end\", \"LogFile\": \"\", \"UserFile\": \"\", \"TempLogDir\": \"\", "
            "\"LogToEventLog\": 1, \"MaxParallel\": \"99\", \"lines\": []}\n");
}

TEST_F(CheckTest, RefusedFilesGiveTheOpenMessageAndStatusThree) {
  struct Case {
    std::string content;
    std::string first_line;
  } cases[] = {
      {"<VANTORSOREL_Job_specification", "Open: Job file does not exist"},
      {"<?xml version=\"1.0\"?><VANTORSOREL_Job_specification/>",
       "Open: This is no Orvex Job Extraction specification file"},
      {"<VANTORSOREL_Job_specification Description=\"\"/>",
       "Open: The job file \"" + dir_.File("job.xml") +
           "\" is not a valid job file: its root element lacks \"LogFile\", \"UserFile\", "
           "\"TempLogDir\"."},
  };
  for (const Case& c : cases) {
    const std::string path = File("job.xml", c.content);
    const Outcome outcome = Run({"--check", path});
    EXPECT_EQ(outcome.status, 3) << c.content;
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err.substr(0, outcome.err.find('\n')), c.first_line);
  }
  const Outcome missing = Run({"--check", dir_.File("absent.xml")});
  EXPECT_EQ(missing.status, 3);
  EXPECT_EQ(missing.err.rfind("Open: Job file does not exist\n", 0), 0u) << missing.err;
  EXPECT_NE(missing.err.find("absent.xml"), std::string::npos);
}

TEST_F(CheckTest, MisuseAndLostOutputAreNotSuccess) {
  Outcome outcome = Run({"--check"});
  EXPECT_EQ(outcome.status, 64);
  EXPECT_EQ(outcome.out, "");
  EXPECT_NE(outcome.err.find("--check JOBFILE"), std::string::npos);

  const std::string path = File("ok.xml",
                                "<VANTORSOREL_Job_specification Description=\"\" LogFile=\"\" "
                                "UserFile=\"\" TempLogDir=\"\"><BatchLines/>"
                                "</VANTORSOREL_Job_specification>");
  outcome = Run({"--check", path}, "/dev/full");
  EXPECT_NE(outcome.status, 0);
  EXPECT_NE(outcome.err, "");
}

}  // namespace
}  // namespace jr
