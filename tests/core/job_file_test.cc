// Reading and writing job files. The Windows build runs these too, on the same XML library
// built for that system.

#include "jobfile/job_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "support/test_paths.h"

namespace jr {
namespace {

using S = ReadStatus;
const std::string kRoot = "<VANTORSOREL_Job_specification", kEnd = "</" + kRoot.substr(1) + ">";

// A job file with the four required header attributes, `more` header attributes and the
// given content of BatchLines.
std::string JobText(const std::string& more, const std::string& lines = "") {
  return kRoot + R"( Description="d" LogFile="a" UserFile="u" TempLogDir="t")" + more +
         "><BatchLines>" + lines + "</BatchLines>" + kEnd;
}
std::string Line(const std::string& attributes) { return "<BatchLine " + attributes + "/>"; }

ReadResult Read(const std::string& text, JobDocument& job) {
  return ReadJobFileText(text, "job.xml", job);
}
JobDocument Loaded(const std::string& text) {
  JobDocument job;
  const ReadResult result = Read(text, job);
  EXPECT_EQ(result.status, S::kLoaded) << result.message << result.detail;
  return job;
}

// Two lines, one of each kind, with distinct text in every cell.
JobDocument SampleJob() {
  JobDocument job;
  job.Description = "Nightly \"extract\" <all> & more";
  job.LogFile = "/r/admin.htm";
  job.UserFile = "/r/user.htm";
  job.TempLogDir = "/logs";
  job.LogToEventLog = true;
  job.MaxParallel = "4";
  job.table.SetJobLineCount(2);
  const char* rows[2][14] = {
      {"10", "flow", "Flow Runner", "-x 1", "", "true", "false", "", "", "", "20", "", "30", ""},
      {"20", "own", "User Batchfile", "-password s3cret", "10", "false", "true", "/bin/run.sh",
       "/tmp/run.log", "/tmp/run.st", "", "10,20", "", "30"}};
  for (int cell = 0; cell < 28; ++cell)
    job.table.Set(cell % 14, cell / 14, rows[cell / 14][cell % 14]);
  return job;
}

void ExpectSameJob(const JobDocument& expected, const JobDocument& actual) {
  EXPECT_EQ(JobFileText(actual, ""), JobFileText(expected, ""));
  ASSERT_EQ(actual.table.LineCount(), expected.table.LineCount());
  for (int row = 0; row < expected.table.LineCount(); ++row) {
    EXPECT_EQ(actual.table.RowAt(row), expected.table.RowAt(row)) << "row " << row;
  }
}

TEST(JobFileRead, DefaultsListsAndTypeNames) {
  const std::string text = JobText(
      "", Line(R"(batch_line_type="Flow Runner")") +
              Line(R"(batch_line="" batch_line_type="Flow Runner" active="" wait="5" )"
                   R"(skip_on_error="" repeat_on_error="5")") +
              Line(R"(batch_line_type="Flow Runner" repeat_on_error="5" skip_on_success="7")") +
              Line(R"x(batch_line_type="run vantor job (unix)" repeat_on_success=" ")x") +
              Line(R"(batch_line_type="")"));
  JobDocument job = Loaded(text);
  EXPECT_EQ(job.MaxParallel, "99");
  EXPECT_TRUE(job.LogToEventLog);
  const Cell no;
  EXPECT_EQ(job.table.RowAt(0), (JobLineTable::Row{no, no, "Flow Runner", no, no, no, "true", no,
                                                   no, no, "", "", "", ""}));
  // Present but empty is kept: an empty active cell reads as inactive later on.
  EXPECT_EQ(job.table.RowAt(1), (JobLineTable::Row{"", no, "Flow Runner", no, "5", no, "", no, no,
                                                   no, "", no, "5", no}));
  // Without skip_on_error the four lists start empty, whatever else the line says.
  EXPECT_EQ(job.table.RowAt(2), job.table.RowAt(0));
  // ...and those that held more than blanks are named.
  const ReadResult read = Read(text, job);
  EXPECT_EQ(ReadingWarnings(read),
            std::vector<std::string>{
                "job line 3 of the file: skip_on_success and repeat_on_error were not read: " +
                std::string(kListsNeedSkipOnError)});
  for (int row : {3, 4}) EXPECT_EQ(job.table.Text(kColType, row), "???") << row;
  // So is every attribute a job file does not have, but those of other vocabularies.
  const ReadResult unknown = Read(
      JobText(R"( xmlns:x="u" x:y="1" Overlapp="wait")",
              Line(R"(batch_line=" 20" batch_line_type="" wiat="10" Wait="10" time_limit="1")")),
      job);
  EXPECT_EQ(unknown.unknown_attributes,
            (std::vector<std::string>{
                "the job's attribute \"Overlapp\" is unknown and was not read",
                "job line 20: the attribute \"wiat\" is unknown and was not read",
                "job line 20: the attribute \"Wait\" is unknown and was not read"}));

  EXPECT_FALSE(Loaded(JobText(R"( LogToEventLog="false")")).LogToEventLog);
  EXPECT_TRUE(Loaded(JobText(R"( LogToEventLog="False")")).LogToEventLog);
  EXPECT_EQ(Loaded(JobText(R"( MaxParallel="")")).MaxParallel, "");
  // Entities beyond the predefined ones are never expanded.
  EXPECT_EQ(Loaded(JobText(R"( MaxParallel="&amp;&#65;&unknown;")")).MaxParallel, "&A&unknown;");
}

TEST(JobFileRead, RefusalsLeaveTheJobAlone) {
  test::TempDir dir;
  JobDocument job = SampleJob();
  // The texts of the refusals are checked where the program prints them (--check).
  const std::string big = dir.File("big.xml");
  test::WriteWholeFile(big, JobText(""));
  std::filesystem::resize_file(big, kMaxJobFileBytes + 1);
  EXPECT_EQ(ReadJobFile(big, job).status, S::kNotJobFile);

  constexpr int kDepth = 200000;
  std::string open, close, sections;
  for (int i = 0; i < kDepth; ++i) open += "<n>", close += "</n>", sections += "<![ ";
  const std::string deep = "<BatchLine batch_line_type=\"x\">" + open;
  EXPECT_EQ(Read(JobText("", deep + close + "</BatchLine>"), job).status, S::kLoaded);
  job = SampleJob();
  const std::string head = JobText("").substr(0, JobText("").find("<BatchLines>"));
  const std::map<ReadStatus, std::vector<std::string>> cases = {
      // What is not XML, anything before the root element, or another root, is no job
      // file; entities are never fetched.
      {S::kNotJobFile,
       {"", kRoot + "></X>", JobText("") + "<x/>", JobText("", deep),
        "<!DOCTYPE a [" + sections + "]>" + JobText(""), "<!-- by hand -->" + JobText(""),
        "<!DOCTYPE VANTORSOREL_Job_specification>" + JobText(""), "<Job/>",
        "<!DOCTYPE a [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>" +
            JobText(R"( MaxParallel="&x;")")}},
      {S::kInvalid,
       {kRoot + " Description=\"\"/>", JobText("", Line(R"(batch_line="2")")), head + kEnd,
        head + "text" + kEnd, head + "<BatchLines><!-- c --></BatchLines>" + kEnd}}};
  for (const auto& [status, texts] : cases) {
    for (const std::string& text : texts) EXPECT_EQ(Read(text, job).status, status) << text;
  }
  ExpectSameJob(SampleJob(), job);
  // A fault of the XML is named by its line and column, counted in characters.
  const std::pair<std::string, std::string> places[] = {
      {"<a>\n \xC3\xA9<b></c></a>", "job.xml:2:8: start-end tags mismatch"},
      {"\xEF\xBB\xBF<a/>\n<b/>", "job.xml:2:1: more than one root element"}};
  for (const auto& [text, detail] : places) EXPECT_EQ(Read(text, job).detail, detail);
  // Only a file that is not there does not exist.
  EXPECT_EQ(ReadJobFile(dir.File("none.xml"), job).message, kJobFileDoesNotExist);
  EXPECT_EQ(ReadJobFile(dir.path(), job).detail,
            "\"" + dir.path() + "\": it is a folder, not a file");
}

// UTF-8 with its mark, and UTF-16 (little-endian, as on the machines we build for).
TEST(JobFileRead, Encodings) {
  const std::string letters = "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
  EXPECT_EQ(Loaded("\xEF\xBB\xBF" + JobText(" MaxParallel=\"" + letters + "\"")).MaxParallel,
            letters);
  std::u16string wide = u"\uFEFF";
  for (char c : JobText(" MaxParallel=\"@\"")) {
    wide += c == '@' ? u"\u00E9\u20AC\U0001F600" : std::u16string(1, c);
  }
  const std::string bytes(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
  EXPECT_EQ(Loaded(bytes).MaxParallel, letters);
}

// The header read gives the whole read's outcome and settings, but loads a file whose
// lines do not read.
TEST(JobFileRead, HeaderAloneAsTheWholeReadGivesIt) {
  test::TempDir dir;
  const std::string file = dir.File("job.xml");
  const std::string settings = R"( Description='a > b "c"' MaxParallel="&amp;4" Schedule="daily")";
  for (const std::string& text : std::vector<std::string>{
           JobText(settings, Line(R"(batch_line_type="x")")), "\xEF\xBB\xBF \n" + JobText(settings),
           "<!-- c -->" + JobText(""), kRoot + R"( Description="d"/>)", JobText("").substr(0, 80),
           kRoot + " LogFile='>' UserFile='u' TempLogDir='t'>" + kEnd, "<?xml version='1.0'?><a/>",
           JobText(settings, "<BatchLine/>")}) {
    test::WriteWholeFile(file, text);
    JobDocument whole, header;
    const ReadStatus expected = ReadJobFile(file, whole).status;
    const bool bad_line = text.find("<BatchLine/>") != std::string::npos;
    EXPECT_EQ(ReadJobFileHeader(file, header).status, bad_line ? S::kLoaded : expected) << text;
    if (bad_line) ReadJobFileText(JobText(settings), file, whole);
    whole.table.Clear();
    EXPECT_EQ(JobFileText(header, ""), JobFileText(whole, "")) << text;
  }
}

TEST(JobFileWrite, ByteForByteWithTheBatchFileOnlyWhereNamed) {
  JobDocument job = SampleJob();
  job.table.Set(kColType, 0, "Custom");
  job.table.Set(kColLogFile, 0, "/only/in/memory.log");
  job.Overlap = "refuse";
  EXPECT_EQ(
      JobFileText(job, "2003 Mar 07 14:05:09"),
      R"(<VANTORSOREL_Job_specification Description="Nightly &quot;extract&quot; &lt;all> &amp; )"
      R"(more" LogFile="/r/admin.htm" UserFile="/r/user.htm" TempLogDir="/logs" LogToEventLog=)"
      R"("true" Exportdate="2003 Mar 07 14:05:09" MaxParallel="4">
  <BatchLines>
    <BatchLine batch_line="10" batch_line_description="flow" batch_line_type="" options="-x 1" )"
      R"(wait="" stop_on_error="true" active="false" skip_on_error="20" skip_on_success="" )"
      R"(repeat_on_error="30" repeat_on_success="" />
    <BatchLine batch_line="20" batch_line_description="own" batch_line_type="User Batchfile" )"
      R"(options="-password s3cret" wait="10" stop_on_error="false" active="true" own_batch_file=)"
      R"("/bin/run.sh" int_log_file="/tmp/run.log" int_err_file="/tmp/run.st" skip_on_error="" )"
      R"(skip_on_success="10,20" repeat_on_error="" repeat_on_success="30" />
  </BatchLines>
</VANTORSOREL_Job_specification>
)");
  // Limits and a policy other than the default are written only where set (above: nowhere)
  // and read back.
  JobDocument limits = SampleJob();
  limits.JobTimeLimit = "3600";
  limits.Overlap = "wait";
  limits.NotifyMail = "ops@example.org, dba@example.org";
  limits.NotifyWebhook = "https://hooks.example.org/run?t=1&u=2";
  limits.NotifyOn = "always";
  limits.table.Set(kColTimeLimit, 1, "60");
  limits.table.Set(kColRepeatDelay, 1, "30");
  limits.table.Set(kColRepeatLimit, 0, "5");
  const std::string limited = JobFileText(limits, "now");
  EXPECT_NE(limited.find(R"(MaxParallel="4" JobTimeLimit="3600" Overlap="wait" )"
                         R"(NotifyMail="ops@example.org, dba@example.org" )"
                         R"(NotifyWebhook="https://hooks.example.org/run?t=1&amp;u=2" )"
                         R"(NotifyOn="always">)"),
            std::string::npos);
  EXPECT_NE(limited.find(R"(" repeat_limit="5" />)"), std::string::npos) << limited;
  EXPECT_NE(limited.find(R"(" time_limit="60" repeat_delay="30" />)"), std::string::npos);
  EXPECT_EQ(limited.find("time_limit", limited.find("time_limit") + 1), std::string::npos);
  const JobDocument reread = Loaded(limited);
  EXPECT_EQ(reread.JobTimeLimit + " " + reread.Overlap + " " + reread.NotifyWebhook,
            "3600 wait https://hooks.example.org/run?t=1&u=2");
  EXPECT_EQ(JobFileText(reread, "now"), limited);
  job.table.Clear();
  job.LogToEventLog = false;
  ExpectSameJob(job, Loaded(JobFileText(job, "now")));
}

// Every cell goes through the same escaping: a line's and the header's stand for all.
TEST(JobFileWrite, RoundTripKeepsAwkwardTextAndDropsEmptyBatchFiles) {
  JobDocument job = SampleJob();
  job.Description = " a\tb\nc\r\nd \"q\" 'a' <&> \x01 \xC3\xA9 ";
  job.table.Set(kColOptions, 1, job.Description);
  const JobDocument read = Loaded(JobFileText(job, "now"));
  // A line without its own batch file loses all three.
  for (int column : {kColBatchFile, kColLogFile, kColStatusFile}) {
    job.table.Set(column, 0, std::nullopt);
  }
  ExpectSameJob(job, read);
  EXPECT_EQ(read.Description, job.Description);
}

}  // namespace
}  // namespace jr
