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
                           "2003 Mar 07 14:05:09", false, false, world_.test.env);
    EXPECT_EQ(Run({admin_definition_, admin_template_, admin_report_}), 0);
    return ReadWholeFile(admin_report_);
  }

  test::TempDir dir_, outputs_;
  test::RunWorld world_;
  const std::string admin_definition_ = dir_.File("SorelJob~7_RepDef.txt");
  const std::string user_definition_ = dir_.File("SorelJob~7_UserDef.txt");
  const std::string admin_template_ = test::BinDir() + "/templates/AdminRepJobTemplate.htm";
  const std::string admin_report_ = dir_.File("admin.htm");
};

TEST_F(PagegenTest, TagsBecomeHeaderTableSectionsBadgesLinkAndTimeline) {
  WriteWholeFile(dir_.File("10.log"), "rows read: 120\r\nrows written: 120\r\n");
  WriteWholeFile(dir_.File("30 sum.txt"), "3 scripts run\n");
  world_.Ran(10, "Extract customers", "Run Vantor Job (UNIX)", At(14, 5, 10), At(14, 7, 10))
      ->setLogFileName(dir_.File("10.log"));
  world_.Ran(20, "Load stock", "Member Purger", At(14, 5, 10), At(14, 15, 40), true);
  clsJobLine* script =
      world_.Ran(30, "Quarterly figures", "Run Quillmart script", At(14, 7, 10), At(14, 10, 0));
  script->setSummayFileName(dir_.File("30 sum.txt"));
  script->setLogFileName(dir_.File("30 log & more.txt"));
  clsJobLine* copy = world_.Ran(31, "Load stock", "Member Purger", At(14, 15, 40), At(14, 16, 0));
  copy->setOriginalJobLineNr(20);
  copy->setLogFileName(dir_.File("never written.log"));

  const std::string page = RenderAdmin();
  for (const std::string& part : std::vector<std::string>{
           "<h1>Nightly extract</h1>",
           "<tr><th>Start Time Job</th><td>2003 Mar 07 14:05:09</td></tr>",
           "<tr><th>End Time Job</th><td>2003 Mar 07 14:20:00</td></tr>",
           "<tr><th>Duration</th><td>14 min 51 s</td></tr>",
           // The headline counts the line runs; it cannot know whether the failure was repeated.
           "<span class=\"badge ok\">3 OK</span> <span class=\"badge failed\">1 FAILED</span> of "
           "4 job line runs",
           "<span class=\"type\">Run Vantor Job (UNIX)</span>",
           "<tr><th>Duration</th><td>10 min 30 s</td></tr>",
           "<pre>rows read: 120\nrows written: 120</pre>",
           "<pre>3 scripts run</pre>",
           // The link goes to the log file, its name escaped in the URL and in the text.
           "<a href=\"file://" + dir_.path() +
               "/30%20log%20%26%20more.txt\">Detailed Logfile info can be found here</a>",
           "30 log &amp; more.txt</span>",
           "Slowest job line: <strong>Load stock</strong> (10 min 30 s)",
           "At most 2 job lines ran at the same time.",
           // The timeline: a bar per line run with its verdict, ticks in whole minutes.
           "<title>Load stock \xE2\x80\x94 FAILED, 10 min 30 s</title>",
           ">+14 min</text>",
           // A missing included file is a note on the page, not a failure.
           "never written.log</div>\n<p class=\"note\">This file does not exist",
       }) {
    EXPECT_TRUE(Has(page, part));
  }
  // One section per line, in order, with its verdict.
  EXPECT_EQ(Count(page, "<section class=\"jobline"), 4u);
  EXPECT_EQ(Count(page, "<section class=\"jobline failed\""), 1u);
  EXPECT_EQ(Count(page, "<h2><span class=\"badge ok\">OK</span>"), 3u);
  EXPECT_EQ(Count(page, "<span class=\"repeat\">Repeat</span>"), 1u);
  EXPECT_LT(page.find("Extract customers"), page.find("Quarterly figures"));
  EXPECT_EQ(Count(page, "<svg"), 1u);
  for (const char* absent : {"include long", "<script", "{{"}) EXPECT_FALSE(Has(page, absent));

  // The end users' page leads with the job's status.
  ASSERT_EQ(Run({user_definition_, test::BinDir() + "/templates/UserRepJobTemplate.htm",
                 dir_.File("user.htm")}),
            0);
  const std::string user_page = ReadWholeFile(dir_.File("user.htm"));
  EXPECT_TRUE(
      Has(user_page, "<span class=\"badge failed\">FAILED</span> Job finished with error(s)."));
  EXPECT_FALSE(Has(user_page, "<section"));
}

TEST_F(PagegenTest, HostileLogContentIsShownAsText) {
  using namespace std::string_literals;
  WriteWholeFile(dir_.File("evil.log"),
                 "</pre><script>alert('x')</script>\n"
                 "<img src=x onerror=alert(1)> & {{TIMELINE}} {{LINES}}\n"
                 "bad bytes: \xff\xfe \xc3\x28 \xed\xa0\x80 \xc0\xaf end\n"
                 "good: \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\n"
                 "nul:\x01\x7f\0done\n"s);
  world_.Ran(10, "<b>bold</b> \"quoted\"", "Flow Runner", At(14, 5, 10), At(14, 6, 0))
      ->setLogFileName(dir_.File("evil.log"));

  const std::string page = RenderAdmin("Job <i>x</i> & 'y'");
  for (const char* absent : {"<script", "<img", "<b>", "<i>", "\xff", "\xfe", "\xc0", "\xed\xa0",
                             "\xc3\x28", "\x01", "\x7f"}) {
    EXPECT_FALSE(Has(page, absent));
  }
  EXPECT_TRUE(Has(page, "&lt;/pre&gt;&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;"));
  EXPECT_TRUE(Has(page, "<h1>Job &lt;i&gt;x&lt;/i&gt; &amp; &#39;y&#39;</h1>"));
  // Placeholders in a log stay text; the page has one timeline and one set of lines.
  EXPECT_TRUE(Has(page, "{{TIMELINE}} {{LINES}}"));
  EXPECT_EQ(Count(page, "<svg"), 1u);
  EXPECT_EQ(Count(page, "<section"), 1u);
  // Invalid bytes and control characters become replacement characters; valid ones stay.
  EXPECT_TRUE(Has(page, "good: \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\n"));
  EXPECT_TRUE(Has(page, "bad bytes: \xEF\xBF\xBD\xEF\xBF\xBD \xEF\xBF\xBD("));
  EXPECT_TRUE(Has(page,
                  "nul:\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"
                  "done"));
}

TEST_F(PagegenTest, LargeLogShowsItsLastMegabyteWithANote) {
  using namespace std::string_literals;
  std::string log = "FIRST LINE MARKER\n";
  const std::string filler(99, 'a');
  while (log.size() < 3 * 1024 * 1024) log += filler + "\n";
  WriteWholeFile(dir_.File("big.log"), log + "LAST LINE MARKER\n");
  world_.Ran(10, "Big", "Flow Runner", At(14, 5, 10), At(14, 6, 0))
      ->setLogFileName(dir_.File("big.log"));

  const std::string page = RenderAdmin();
  EXPECT_FALSE(Has(page, "FIRST LINE MARKER"));
  EXPECT_LT(page.size(), 1024u * 1024u + 64u * 1024u);
  for (const std::string& part :
       {"LAST LINE MARKER</pre>"s, "The file holds 3.0 MB; only its last 1.0 MB are shown."s,
        // Cut at a line start: the shown part begins with a whole line.
        "<pre>" + filler + "\n",
        // Printed, it keeps only its end rather than hundreds of pages.
        "<div class=\"include long\">"s, "Only the end of this file is printed."s}) {
    EXPECT_TRUE(Has(page, part));
  }
}

TEST_F(PagegenTest, FailuresExitNonZeroAndLeaveTheOldReport) {
  world_.Ran(10, "Extract", "Flow Runner", At(14, 5, 10), At(14, 6, 0));
  const mode_t mask = umask(022);
  RenderAdmin();
  umask(mask);
  // Readable by others like any new file.
  EXPECT_EQ(std::filesystem::status(admin_report_).permissions(), std::filesystem::perms(0644));
  WriteWholeFile(admin_report_, "OLD REPORT");
  EXPECT_EQ(Run({admin_definition_, dir_.File("no template.htm"), admin_report_}), 4);
  EXPECT_EQ(Run({dir_.File("no definition.txt"), admin_template_, admin_report_}), 3);
  EXPECT_EQ(Run({admin_definition_, dir_.path(), admin_report_}), 4) << "a folder";
  EXPECT_EQ(Run({admin_definition_, admin_template_}), 2);
  EXPECT_EQ(Run({admin_definition_, admin_template_, dir_.File("gone/admin.htm")}), 5);
  EXPECT_EQ(ReadWholeFile(admin_report_), "OLD REPORT");

  // Nothing half-written is left behind, and a good run replaces the report.
  EXPECT_TRUE(Has(RenderAdmin(), "<h1>Nightly extract</h1>"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 3)
      << "two definitions and the report";
}

}  // namespace
}  // namespace jr
