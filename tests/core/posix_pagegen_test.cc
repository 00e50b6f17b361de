// The report generator, run as the engine runs it, on definition files made by the
// engine's own report code.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "report/report_definitions.h"
#include "support/engine_fakes.h"
#include "support/run_program.h"
#include "support/test_paths.h"

namespace jr {
namespace {

using test::At;
using test::Has;
using test::ReadWholeFile;
using test::WriteWholeFile;

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

class PagegenTest : public ::testing::Test {
 protected:
  int Run(const std::vector<std::string>& args) {
    return test::RunProgram(test::BinDir() + "/pagegen", args, {}, outputs_.path()).status;
  }
  // Writes both definition files of the lines so far, as the engine does at run end, and
  // renders the administrators' one.
  std::string RenderAdmin(const std::string& description = "Nightly extract") {
    world_.test.clock.Set(At(14, 20, 0));
    WriteReportDefinitions(admin_definition_, user_definition_, description, world_.lines,
                           At(14, 5, 9), false, false, world_.test.env);
    EXPECT_EQ(Run({admin_definition_, admin_template_, admin_report_}), 0);
    return ReadWholeFile(admin_report_);
  }
  // A line of the job that ran from 14:05:10 to 14:06:00 with `log` as its log file.
  RunLine* Ran(int32_t nr, const std::string& description, const std::string& log,
               bool failed = false) {
    RunLine* line = world_.Ran(nr, description, "Flow Runner", At(14, 5, 10), At(14, 6, 0), failed);
    line->SetLogFileName(dir_.File(log));
    return line;
  }

  test::TempDir dir_, outputs_;
  test::RunWorld world_;
  const std::string admin_definition_ = dir_.File("SorelJob~7_RepDef.txt");
  const std::string user_definition_ = dir_.File("SorelJob~7_UserDef.txt");
  const std::string admin_template_ = test::BinDir() + "/templates/AdminRepJobTemplate.htm";
  const std::string admin_report_ = dir_.File("admin.htm");
};

TEST_F(PagegenTest, EveryLineRunGetsASectionWithItsVerdictLogAndLink) {
  WriteWholeFile(dir_.File("10.log"), "rows read: 120\r\nrows written: 120\r\n");
  Ran(10, "Extract customers", "10.log");
  Ran(20, "Load stock", "20.log", true);
  RunLine* script = Ran(30, "Quarterly figures", "30 log & more.txt");
  script->EditDefinition().type = "Run Quillmart script";
  Ran(31, "Load stock", "never written.log")->SetOriginalJobLineNr(20);

  const std::string page = RenderAdmin();
  for (const std::string& part : std::vector<std::string>{
           "<h1>Nightly extract</h1>",
           "<span class=\"badge ok\">3 OK</span> <span class=\"badge failed\">1 FAILED</span> of "
           "4 job line runs",
           "<pre>rows read: 120\nrows written: 120</pre>",
           // The link goes to the log file, its name escaped in the URL and in the text.
           "<a href=\"file://" + dir_.path() +
               "/30%20log%20%26%20more.txt\">Detailed Logfile info can be found here</a>",
           // A missing included file is a note on the page, not a failure.
           "never written.log</div>\n<p class=\"note\">This file does not exist",
       }) {
    EXPECT_TRUE(Has(page, part));
  }
  EXPECT_EQ(Count(page, "<section class=\"jobline failed\""), 1u);
  EXPECT_EQ(Count(page, "<span class=\"repeat\">Repeat</span>"), 1u);
}

TEST_F(PagegenTest, HostileLogContentIsShownAsText) {
  WriteWholeFile(dir_.File("evil.log"),
                 "</pre><script>alert('x')</script>\n<img src=x onerror=alert(1)> & "
                 "{{TIMELINE}} {{LINES}}\n");
  Ran(10, "<b>bold</b> \"quoted\"", "evil.log");

  const std::string page = RenderAdmin("Job <i>x</i> & 'y'");
  for (const char* absent : {"<script", "<img", "<b>", "<i>"}) EXPECT_FALSE(Has(page, absent));
  EXPECT_TRUE(Has(page, "&lt;/pre&gt;&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;"));
  EXPECT_TRUE(Has(page, "<h1>Job &lt;i&gt;x&lt;/i&gt; &amp; &#39;y&#39;</h1>"));
  // Placeholders in a log stay text; the page has one timeline and one set of lines.
  EXPECT_TRUE(Has(page, "{{TIMELINE}} {{LINES}}"));
  EXPECT_EQ(Count(page, "<svg"), 1u);
  EXPECT_EQ(Count(page, "<section"), 1u);
}

TEST_F(PagegenTest, FailuresExitNonZeroAndLeaveTheOldReport) {
  Ran(10, "Extract", "10.log");
  const mode_t mask = umask(022);
  RenderAdmin();
  umask(mask);
  // Readable by others like any new file.
  EXPECT_EQ(std::filesystem::status(admin_report_).permissions(), std::filesystem::perms(0644));
  WriteWholeFile(admin_report_, "OLD REPORT");
  EXPECT_EQ(Run({admin_definition_, dir_.File("no template.htm"), admin_report_}), 4);
  EXPECT_EQ(Run({admin_definition_, admin_template_, dir_.File("gone/admin.htm")}), 5);
  EXPECT_EQ(ReadWholeFile(admin_report_), "OLD REPORT");
}

}  // namespace
}  // namespace jr
