// The report generator, run as the engine runs it, on definition files made by the
// engine's own report code.

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdint>
#include <filesystem>

#include "report/report_definitions.h"
#include "support/report_fakes.h"
#include "support/test_paths.h"

extern char** environ;

namespace jr {
namespace {

using report_test::At;
using report_test::ReadFile;
using report_test::ReportWorld;
using report_test::WriteFile;

// The exit status of `pagegen args...`, or -1 when it could not be run.
int RunPagegen(const std::vector<std::string>& args) {
  const std::string program = test::BinDir() + "/pagegen";
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid;
  if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

std::string Template(const std::string& name) { return test::BinDir() + "/templates/" + name; }

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

bool IsValidUtf8(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    const uint8_t b = static_cast<uint8_t>(text[i]);
    size_t length = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((static_cast<uint8_t>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

class PagegenTest : public ::testing::Test {
 protected:
  // Writes both definition files of the lines so far, as the engine does at run end.
  void WriteDefinitions(const std::string& description = "Nightly extract") {
    world_.clock.Set(At(14, 20, 0));
    EngineEnv env = world_.Env();
    WriteReportDefinitions(admin_definition_, user_definition_, description, world_.lines,
                           "2003 Mar 07 14:05:09", false, false, env);
  }

  std::string RenderAdmin() {
    EXPECT_EQ(RunPagegen({admin_definition_, Template("AdminRepJobTemplate.htm"), admin_report_}),
              0);
    return ReadFile(admin_report_);
  }

  test::TempDir dir_;
  ReportWorld world_;
  const std::string admin_definition_ = dir_.File("SorelJob~7_RepDef.txt");
  const std::string user_definition_ = dir_.File("SorelJob~7_UserDef.txt");
  const std::string admin_report_ = dir_.File("admin.htm");
  const std::string user_report_ = dir_.File("user.htm");
};

TEST_F(PagegenTest, TagsBecomeHeaderTableSectionsBadgesLinkAndTimeline) {
  WriteFile(dir_.File("10.log"), "rows read: 120\r\nrows written: 120\r\n");
  WriteFile(dir_.File("30 sum.txt"), "3 scripts run\n");
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
  WriteDefinitions();

  const std::string page = RenderAdmin();
  EXPECT_NE(page.find("<h1>Nightly extract</h1>"), std::string::npos);
  EXPECT_NE(page.find("<tr><th>Start Time Job</th><td>2003 Mar 07 14:05:09</td></tr>"),
            std::string::npos);
  EXPECT_NE(page.find("<tr><th>End Time Job</th><td>2003 Mar 07 14:20:00</td></tr>"),
            std::string::npos);
  EXPECT_NE(page.find("<tr><th>Duration</th><td>14 min 51 s</td></tr>"), std::string::npos);

  // The headline counts the line runs; it cannot know whether the failure was repeated.
  EXPECT_NE(page.find("<span class=\"badge ok\">3 OK</span> <span class=\"badge failed\">1 "
                      "FAILED</span> of 4 job line runs"),
            std::string::npos);

  // One section per line, in order, with its verdict and its own duration.
  EXPECT_EQ(Count(page, "<section class=\"jobline"), 4u);
  EXPECT_EQ(Count(page, "<h2><span class=\"badge ok\">OK</span>"), 3u);
  EXPECT_EQ(Count(page, "<h2><span class=\"badge failed\">FAILED</span>"), 1u);
  EXPECT_LT(page.find("Extract customers"), page.find("Quarterly figures"));
  EXPECT_NE(page.find("<span class=\"type\">Run Vantor Job (UNIX)</span>"), std::string::npos);
  EXPECT_NE(page.find("<tr><th>Duration</th><td>10 min 30 s</td></tr>"), std::string::npos);
  EXPECT_EQ(Count(page, "<span class=\"repeat\">Repeat</span>"), 1u);
  EXPECT_NE(page.find("<pre>rows read: 120\nrows written: 120</pre>"), std::string::npos);
  EXPECT_NE(page.find("<pre>3 scripts run</pre>"), std::string::npos);
  EXPECT_EQ(page.find("include long"), std::string::npos) << "short logs print whole";

  // The link goes to the log file, its name escaped in the URL and in the text.
  const std::string url = "file://" + dir_.path() + "/30%20log%20%26%20more.txt";
  EXPECT_NE(page.find("<a href=\"" + url + "\">Detailed Logfile info can be found here</a>"),
            std::string::npos);
  EXPECT_NE(page.find("30 log &amp; more.txt</span>"), std::string::npos);

  // The timeline: a bar per line, the failed one slowest, two lines side by side.
  EXPECT_EQ(Count(page, "<svg"), 1u);
  EXPECT_NE(page.find("Slowest job line: <strong>Load stock</strong> (10 min 30 s)"),
            std::string::npos);
  EXPECT_NE(page.find("At most 2 job lines ran at the same time."), std::string::npos);
  EXPECT_EQ(page.find("<script"), std::string::npos);
  EXPECT_EQ(page.find("{{"), std::string::npos) << "every placeholder filled";

  // A missing included file is a note on the page, not a failure.
  EXPECT_NE(page.find("never written.log</div>\n<p class=\"note\">This file does not exist"),
            std::string::npos);

  // The end users' page leads with the job's status.
  ASSERT_EQ(RunPagegen({user_definition_, Template("UserRepJobTemplate.htm"), user_report_}), 0);
  const std::string user_page = ReadFile(user_report_);
  EXPECT_NE(
      user_page.find("<span class=\"badge failed\">FAILED</span> Job finished with error(s)."),
      std::string::npos);
  EXPECT_EQ(user_page.find("<section"), std::string::npos);
}

TEST_F(PagegenTest, HostileLogContentIsShownAsText) {
  using namespace std::string_literals;
  const std::string hostile =
      "</pre><script>alert('x')</script>\n"
      "<img src=x onerror=alert(1)> & {{TIMELINE}} {{LINES}}\n"
      "bad bytes: \xff\xfe \xc3\x28 \xed\xa0\x80 \xc0\xaf end\n"
      "nul:\x01\x7f\0done\n"s;
  WriteFile(dir_.File("evil.log"), hostile);
  world_.Ran(10, "<b>bold</b> \"quoted\"", "Flow Runner", At(14, 5, 10), At(14, 6, 0))
      ->setLogFileName(dir_.File("evil.log"));
  WriteDefinitions("Job <i>x</i> & 'y'");

  const std::string page = RenderAdmin();
  EXPECT_EQ(page.find("<script"), std::string::npos);
  EXPECT_EQ(page.find("<img"), std::string::npos);
  EXPECT_EQ(page.find("<b>"), std::string::npos);
  EXPECT_EQ(page.find("<i>"), std::string::npos);
  EXPECT_NE(page.find("&lt;/pre&gt;&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;"),
            std::string::npos);
  EXPECT_NE(page.find("<h1>Job &lt;i&gt;x&lt;/i&gt; &amp; &#39;y&#39;</h1>"), std::string::npos);
  // Placeholders in a log stay text; the page has one timeline and one set of lines.
  EXPECT_NE(page.find("{{TIMELINE}} {{LINES}}"), std::string::npos);
  EXPECT_EQ(Count(page, "<svg"), 1u);
  EXPECT_EQ(Count(page, "<section"), 1u);
  // Invalid bytes and control characters become replacement characters.
  EXPECT_TRUE(IsValidUtf8(page));
  EXPECT_NE(page.find("bad bytes: \xEF\xBF\xBD\xEF\xBF\xBD \xEF\xBF\xBD("), std::string::npos);
  EXPECT_NE(page.find("nul:\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"
                      "done"),
            std::string::npos);
}

TEST_F(PagegenTest, LargeLogShowsItsLastMegabyteWithANote) {
  std::string log = "FIRST LINE MARKER\n";
  const std::string filler(99, 'a');
  while (log.size() < 3 * 1024 * 1024) log += filler + "\n";
  log += "LAST LINE MARKER\n";
  WriteFile(dir_.File("big.log"), log);
  world_.Ran(10, "Big", "Flow Runner", At(14, 5, 10), At(14, 6, 0))
      ->setLogFileName(dir_.File("big.log"));
  WriteDefinitions();

  const std::string page = RenderAdmin();
  EXPECT_EQ(page.find("FIRST LINE MARKER"), std::string::npos);
  EXPECT_NE(page.find("LAST LINE MARKER</pre>"), std::string::npos);
  EXPECT_NE(page.find("The file holds 3.0 MB; only its last 1.0 MB are shown."), std::string::npos);
  // Cut at a line start, so the shown part begins with a whole filler line.
  EXPECT_NE(page.find("<pre>" + filler + "\n"), std::string::npos);
  EXPECT_LT(page.size(), 1024u * 1024u + 64u * 1024u);
  // Printed, it keeps only its end rather than filling hundreds of pages.
  EXPECT_NE(page.find("<div class=\"include long\">"), std::string::npos);
  EXPECT_NE(page.find("Only the end of this file is printed."), std::string::npos);
}

TEST_F(PagegenTest, FailuresExitNonZeroAndLeaveTheOldReport) {
  world_.Ran(10, "Extract", "Flow Runner", At(14, 5, 10), At(14, 6, 0));
  WriteDefinitions();
  WriteFile(admin_report_, "OLD REPORT");
  const std::string admin_template = Template("AdminRepJobTemplate.htm");

  EXPECT_EQ(RunPagegen({admin_definition_, dir_.File("no template.htm"), admin_report_}), 4);
  EXPECT_EQ(RunPagegen({dir_.File("no definition.txt"), admin_template, admin_report_}), 3);
  EXPECT_EQ(RunPagegen({admin_definition_, dir_.path(), admin_report_}), 4) << "a folder";
  EXPECT_EQ(RunPagegen({admin_definition_, admin_template}), 2);
  EXPECT_EQ(RunPagegen({admin_definition_, admin_template, dir_.File("gone/admin.htm")}), 5);
  EXPECT_EQ(ReadFile(admin_report_), "OLD REPORT");

  // Nothing half-written is left behind, and a good run replaces the report.
  EXPECT_EQ(RunPagegen({admin_definition_, admin_template, admin_report_}), 0);
  EXPECT_NE(ReadFile(admin_report_).find("<h1>Nightly extract</h1>"), std::string::npos);
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 3u) << "two definitions and the report";
}

TEST_F(PagegenTest, ReportIsReadableByOthersLikeAnyNewFile) {
  WriteDefinitions();
  const mode_t mask = umask(022);
  EXPECT_EQ(RunPagegen({admin_definition_, Template("AdminRepJobTemplate.htm"), admin_report_}), 0);
  umask(mask);
  struct stat info {};
  ASSERT_EQ(stat(admin_report_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644u);
}

}  // namespace
}  // namespace jr
