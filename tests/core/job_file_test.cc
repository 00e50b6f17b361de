// Reading and writing job files, encodings included. The Windows build runs these too, on
// the same XML library built for that system.

#include "jobfile/job_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "support/test_paths.h"

namespace jr {
namespace {

using S = ReadStatus;

// A job file with the four required header attributes, `more` header attributes and the
// given <BatchLine> elements (or other content of BatchLines).
std::string JobText(const std::string& more, const std::string& lines) {
  return R"(<VANTORSOREL_Job_specification Description="d" LogFile="a" UserFile="u" )"
         R"(TempLogDir="t")" +
         more + "><BatchLines>" + lines + "</BatchLines></VANTORSOREL_Job_specification>";
}
std::string Line(const std::string& attributes) { return "<BatchLine " + attributes + "/>"; }

ReadStatus Status(const std::string& text) {
  JobDocument job;
  return ReadJobFileText(text, "job.xml", job).status;
}

JobDocument Loaded(const std::string& text) {
  JobDocument job;
  const ReadResult result = ReadJobFileText(text, "job.xml", job);
  EXPECT_EQ(result.status, S::kLoaded) << result.message << result.detail;
  return job;
}

// UTF-8 text re-encoded as UTF-16 or UTF-32 code units of the given byte order.
std::string Encode(const std::string& utf8, int width, bool big_endian) {
  std::string out;
  auto unit = [&](uint32_t value) {
    for (int k = 0; k < width; ++k)
      out += static_cast<char>(value >> 8 * (big_endian ? width - 1 - k : k));
  };
  for (size_t i = 0; i < utf8.size();) {
    const auto byte = static_cast<unsigned char>(utf8[i]);
    const int length = byte < 0x80 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
    char32_t code = length == 1 ? byte : byte & (0x7F >> length);
    for (int k = 1; k < length; ++k) code = (code << 6) | (utf8[i + k] & 0x3F);
    i += static_cast<size_t>(length);
    if (width == 2 && code >= 0x10000) {
      unit(0xD800 + ((code - 0x10000) >> 10));
      code = 0xDC00 + ((code - 0x10000) & 0x3FF);
    }
    unit(code);
  }
  return out;
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
  for (int row = 0; row < 2; ++row) {
    for (int column = 0; column < 14; ++column) job.table.Set(column, row, rows[row][column]);
  }
  return job;
}

void ExpectSameJob(const JobDocument& expected, const JobDocument& actual) {
  EXPECT_EQ(JobFileText(actual, ""), JobFileText(expected, ""));
  ASSERT_EQ(actual.table.Get_BatchLine_Count(), expected.table.Get_BatchLine_Count());
  for (int row = 0; row < expected.table.Get_BatchLine_Count(); ++row) {
    EXPECT_EQ(actual.table.RowAt(row), expected.table.RowAt(row)) << "row " << row;
  }
}

TEST(JobFileRead, DefaultsListsAndTypeNames) {
  JobDocument job = Loaded(JobText(
      "", Line(R"(batch_line_type="Flow Runner")") +
              Line(R"(batch_line="" batch_line_type="Flow Runner" )"
                   R"(active="" skip_on_error="" wait="5")") +
              Line(R"(batch_line_type="Flow Runner" repeat_on_error="5" skip_on_success="7")") +
              Line(R"x(batch_line_type="Run Vantor Job (UNIX)" skip_on_error="1")x") +
              Line(R"x(batch_line_type="run vantor job (unix)")x") +
              Line(R"(batch_line_type="Flow Runner ")") + Line(R"(batch_line_type="")")));
  EXPECT_EQ(job.MaxParallel, "99");
  EXPECT_TRUE(job.LogToEventLog);
  const Cell no;
  EXPECT_EQ(job.table.RowAt(0), (JobLineTable::Row{no, no, "Flow Runner", no, no, no, "true", no,
                                                   no, no, "", "", "", ""}));
  // Present but empty is kept: an empty active cell reads as inactive later on.
  EXPECT_EQ(job.table.RowAt(1), (JobLineTable::Row{"", no, "Flow Runner", no, "5", no, "", no, no,
                                                   no, "", no, no, no}));
  // Without skip_on_error the four lists start empty, whatever else the line says.
  for (int column = kColSkipOnError; column <= kColRepeatOnSuccess; ++column) {
    EXPECT_EQ(job.table.At(column, 2), Cell("")) << column;
  }
  EXPECT_EQ(job.table.At(kColSkipOnError, 3), Cell("1"));
  EXPECT_FALSE(job.table.At(kColRepeatOnError, 3).has_value());
  EXPECT_EQ(job.table.Text(kColType, 3), "Run Vantor Job (UNIX)");
  for (int row : {4, 5, 6}) EXPECT_EQ(job.table.Text(kColType, row), "???") << row;

  EXPECT_FALSE(Loaded(JobText(R"( LogToEventLog="false")", "")).LogToEventLog);
  for (const char* value : {"False", " false", "", "0"}) {
    EXPECT_TRUE(
        Loaded(JobText(R"( LogToEventLog=")" + std::string(value) + "\"", "")).LogToEventLog)
        << value;
  }
  EXPECT_EQ(Loaded(JobText(R"( MaxParallel="")", "")).MaxParallel, "");
}

TEST(JobFileRead, RefusalsCarryTheirMessagesAndLeaveTheJobAlone) {
  test::TempDir dir;
  JobDocument job = SampleJob();
  // The texts of the refusals are checked where the program prints them (--check).
  EXPECT_EQ(ReadJobFile(dir.File("absent.xml"), job).status, S::kCannotLoad);
  EXPECT_EQ(ReadJobFile(dir.path(), job).status, S::kCannotLoad);
  ReadResult result;
  result = ReadJobFileText(
      JobText("", Line(R"(batch_line_type="Flow Runner")") + Line(R"(batch_line="2")")), "job.xml",
      job);
  EXPECT_EQ(result.status, S::kInvalid);
  EXPECT_NE(result.message.find("job line 2 of the file lacks \"batch_line_type\""),
            std::string::npos);

  const std::string root = "<VANTORSOREL_Job_specification", end = "</" + root.substr(1) + ">";
  const std::string head = JobText("", "").substr(0, JobText("", "").find("<BatchLines>"));
  const std::map<ReadStatus, std::vector<std::string>> cases = {
      {S::kCannotLoad,
       {"", "  ", root, root + "></X>", JobText("", "") + "<x/>", root + " Description=d/>",
        root + " a=\"1\"b=\"2\"/>", root + "><!-- open", root + "></x >", "<?xml version=\"1.0\"",
        root + "><![CDATA[x" + end, "<!DOCTYPE a [<!ELEMENT a ANY>", "< " + root.substr(1) + "/>"}},
      // Anything before the root element, or another root, is no job file. Without a mark,
      // a declaration in UTF-16 gives the encoding away by its first bytes; so for Latin-1.
      {S::kNotJobFile,
       {"<!-- by hand -->" + JobText("", ""), "<?pi x?>" + JobText("", ""),
        "<!DOCTYPE VANTORSOREL_Job_specification>" + JobText("", ""), "<Job/>",
        "<vantorsorel_job_specification/>", "<a:b:VANTORSOREL_Job_specification/>",
        "<!DOCTYPE a [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>" +
            JobText(R"( MaxParallel="&x;")", ""),
        Encode("<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + JobText("", ""), 2, false),
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + JobText(" X=\"\xE9\"", "")}},
      {S::kInvalid,
       {head + end, head + "<!-- c --><BatchLines/>" + end, head + "text" + end,
        head + "<BatchLines><!-- c --></BatchLines>" + end,
        head + "<BatchLines><![CDATA[x]]></BatchLines>" + end}}};
  for (const auto& [status, texts] : cases) {
    for (const std::string& text : texts) {
      EXPECT_EQ(ReadJobFileText(text, "job.xml", job).status, status) << text;
    }
  }
  ExpectSameJob(SampleJob(), job);
  EXPECT_EQ(job.table.RowCapacity(), 2);
}

TEST(JobFileRead, ToleratedVariationsAndEncodings) {
  JobDocument job =
      Loaded(R"(<js:VANTORSOREL_Job_specification xmlns:js="urn:j" Description="d" LogFile="l" )"
             R"(UserFile="u" TempLogDir="t" MaxParallel="&amp;&#65;&unknown;"><Lines><Row )"
             R"(batch_line="5" batch_line_type="Flow Runner"><x/></Row></Lines><Extra/>)"
             "</js:VANTORSOREL_Job_specification><!-- after -->");
  ASSERT_EQ(job.table.Get_BatchLine_Count(), 1);
  EXPECT_EQ(job.table.Text(kColNumber, 0), "5");
  // Entities beyond the predefined ones are never expanded.
  EXPECT_EQ(job.MaxParallel, "&A&unknown;");
  EXPECT_EQ(Loaded("\xEF\xBB\xBF" + JobText(R"( MaxParallel="caf&#233;")", "")).MaxParallel,
            "caf\xC3\xA9");
  // White space in values reads as the library reads it.
  job = Loaded(
      "<VANTORSOREL_Job_specification Description=\"a\tb\r\nc\nd\" LogFile='single "
      "&lt;quoted&gt;' UserFile=\"u\" TempLogDir=\"t\">\r\n  <BatchLines>\r\n  </BatchLines>\r\n"
      "</VANTORSOREL_Job_specification>\r\n");
  EXPECT_EQ(job.Description, "a b c d");
  EXPECT_EQ(job.LogFile, "single <quoted>");
  EXPECT_EQ(job.table.Get_BatchLine_Count(), 0);

  const std::string accents = "Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80";
  const std::string text = "<VANTORSOREL_Job_specification Description=\"" + accents +
                           "\" LogFile=\"a\" UserFile=\"u\" TempLogDir=\"t\"><BatchLines>" +
                           Line(R"(batch_line_type="x")") +
                           "</BatchLines></VANTORSOREL_Job_specification>";
  const std::string marked = "\xEF\xBB\xBF" + text;
  for (const std::string& variant : {text, marked, Encode(marked, 2, false),
                                     Encode(marked, 2, true), Encode(marked, 4, false)}) {
    job = Loaded(variant);
    EXPECT_EQ(job.Description, accents);
    EXPECT_EQ(job.table.Get_BatchLine_Count(), 1);
  }
}

TEST(JobFileRead, HostileInputIsRefusedOrLoadedWithoutHarm) {
  constexpr int kDepth = 200000;
  std::string open, close, sections;
  for (int i = 0; i < kDepth; ++i) open += "<n>", close += "</n>", sections += "<![ ";
  EXPECT_EQ(
      Status(JobText("", "<BatchLine batch_line_type=\"x\">" + open + close + "</BatchLine>")),
      S::kLoaded);
  EXPECT_EQ(Status(JobText("", "<BatchLine batch_line_type=\"x\">" + open)), S::kCannotLoad);
  EXPECT_NE(Status("<!DOCTYPE a [" + sections + "]>" + JobText("", "")), S::kLoaded);

  test::TempDir dir;
  const std::string big = dir.File("big.xml");
  std::ofstream(big) << JobText("", "");
  std::filesystem::resize_file(big, kMaxJobFileBytes + 1);
  JobDocument job;
  const ReadResult result = ReadJobFile(big, job);
  EXPECT_EQ(result.status, S::kCannotLoad);
  EXPECT_NE(result.detail.find("larger than"), std::string::npos);
}

TEST(JobFileRead, LoadFillsRowsInFileOrderAndLeavesTheRestOfTheTable) {
  JobDocument job;
  job.table.SetJobLineCount(5);
  for (int cell = 0; cell < 5 * 14; ++cell) job.table.Set(cell % 14, cell / 14, "old");
  ReadJobFileText(JobText("", Line(R"(batch_line="30" batch_line_type="Flow Runner")") +
                                  Line(R"(batch_line="10" batch_line_type="x")")),
                  "job.xml", job);
  EXPECT_EQ(job.table.Get_BatchLine_Count(), 2);
  EXPECT_EQ(job.table.RowCapacity(), 5);
  EXPECT_EQ(job.table.Text(kColNumber, 0), "30");
  for (int column = 0; column < 14; ++column) EXPECT_NE(job.table.At(column, 1), Cell("old"));
  EXPECT_EQ(job.table.Text(kColNumber, 2), "old");
}

TEST(JobFileWrite, RootFirstAttributesInOrderBatchFileOnlyWhereNamed) {
  JobDocument job = SampleJob();
  job.table.Set(kColType, 0, "Custom");
  job.table.Set(kColBatchLogFile, 0, "/only/in/memory.log");
  const std::string text = JobFileText(job, "2003 Mar 07 14:05:09");
  EXPECT_EQ(text.rfind(R"(<VANTORSOREL_Job_specification Description="Nightly &quot;extract)"
                       R"(&quot; &lt;all> &amp; more" LogFile="/r/admin.htm" UserFile=)"
                       R"("/r/user.htm" TempLogDir="/logs" LogToEventLog="true" Exportdate=)"
                       R"("2003 Mar 07 14:05:09" MaxParallel="4">)",
                       0),
            0u)
      << text;
  EXPECT_NE(text.find(R"(<BatchLine batch_line="10" batch_line_description="flow" )"
                      R"(batch_line_type="" options="-x 1" wait="" stop_on_error="true" )"
                      R"(active="false" skip_on_error="20" skip_on_success="" )"
                      R"(repeat_on_error="30" repeat_on_success="" />)"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(R"(active="true" own_batch_file="/bin/run.sh" int_log_file=)"
                      R"("/tmp/run.log" int_err_file="/tmp/run.st" skip_on_error="")"),
            std::string::npos);

  job.table.AllocateAfresh();
  job.LogToEventLog = false;
  const std::string empty = JobFileText(job, "now");
  EXPECT_NE(empty.find(R"(LogToEventLog="false" Exportdate="now")"), std::string::npos);
  EXPECT_NE(empty.find("<BatchLines />"), std::string::npos) << empty;
  ExpectSameJob(job, Loaded(empty));
}

TEST(JobFileWrite, RoundTripKeepsEveryCellButWhatTheFormatCannotHold) {
  JobDocument job = SampleJob();
  job.table.SetJobLineCount(3);
  const std::string awkward = " a\tb\nc\r\nd \"q\" 'a' <&> \x01 \xC3\xA9 ";
  for (int column = 0; column < 14; ++column) {
    job.table.Set(column, 2, awkward + std::to_string(column));
  }
  job.table.Set(kColType, 2, "Scan Anomalies");
  job.table.Set(kColNumber, 0, std::nullopt);
  job.Description = awkward;
  const JobDocument read = Loaded(JobFileText(job, "now"));
  // No value is written as empty text; a line without its own batch file loses all three.
  job.table.Set(kColNumber, 0, "");
  for (int column : {kColBatchFile, kColBatchLogFile, kColBatchStatusFile}) {
    job.table.Set(column, 0, std::nullopt);
  }
  ExpectSameJob(job, read);
  EXPECT_EQ(read.Description, awkward);
}

}  // namespace
}  // namespace jr
