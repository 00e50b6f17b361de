#include "jobfile/job_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/test_paths.h"

namespace jr {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

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
  EXPECT_EQ(result.status, ReadStatus::kLoaded) << result.message << result.detail;
  return job;
}

std::string Slurp(const std::string& path) {
  std::stringstream content;
  content << std::ifstream(path, std::ios::binary).rdbuf();
  return content.str();
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

TEST(JobFileRead, DefaultsApplyOnlyToAbsentValues) {
  JobDocument job = Loaded(JobText("", Line(R"(batch_line_type="Flow Runner")") +
                                           Line(R"(batch_line="" batch_line_type="Flow Runner" )"
                                                R"(active="" skip_on_error="" wait="5")")));
  EXPECT_EQ(job.MaxParallel, "99");
  EXPECT_TRUE(job.LogToEventLog);
  const JobLineTable::Row absent{
      std::nullopt, std::nullopt, "Flow Runner", std::nullopt, std::nullopt, std::nullopt, "true",
      std::nullopt, std::nullopt, std::nullopt,  "",           "",           "",           ""};
  EXPECT_EQ(job.table.RowAt(0), absent);
  // Present but empty is kept: an empty active cell reads as inactive later on.
  const JobLineTable::Row empty{
      "",           std::nullopt, "Flow Runner", std::nullopt, "5",
      std::nullopt, "",           std::nullopt,  std::nullopt, std::nullopt,
      "",           std::nullopt, std::nullopt,  std::nullopt};
  EXPECT_EQ(job.table.RowAt(1), empty);

  EXPECT_FALSE(Loaded(JobText(R"( LogToEventLog="false")", "")).LogToEventLog);
  for (const char* value : {"False", " false", "", "0"}) {
    EXPECT_TRUE(
        Loaded(JobText(R"( LogToEventLog=")" + std::string(value) + "\"", "")).LogToEventLog)
        << value;
  }
  EXPECT_EQ(Loaded(JobText(R"( MaxParallel="")", "")).MaxParallel, "");
}

TEST(JobFileRead, ListsAndTypeNames) {
  JobDocument job = Loaded(
      JobText("", Line(R"(batch_line_type="Flow Runner" repeat_on_error="5" skip_on_success="7")") +
                      Line(R"x(batch_line_type="Run Vantor Job (UNIX)" skip_on_error="1")x") +
                      Line(R"x(batch_line_type="run vantor job (unix)")x") +
                      Line(R"(batch_line_type="Flow Runner ")") + Line(R"(batch_line_type="")")));
  // Without skip_on_error the four lists start empty, whatever else the line says.
  for (int column = kColSkipOnError; column <= kColRepeatOnSuccess; ++column) {
    EXPECT_EQ(job.table.At(column, 0), Cell("")) << column;
  }
  EXPECT_EQ(job.table.At(kColSkipOnError, 1), Cell("1"));
  EXPECT_FALSE(job.table.At(kColRepeatOnError, 1).has_value());
  EXPECT_EQ(job.table.Text(kColType, 1), "Run Vantor Job (UNIX)");
  for (int row : {2, 3, 4}) EXPECT_EQ(job.table.Text(kColType, row), "???") << row;
}

TEST(JobFileRead, RefusalsCarryTheirMessagesAndLeaveTheJobAlone) {
  TempDir dir;
  JobDocument job = SampleJob();
  ReadResult result = ReadJobFile(dir.File("absent.xml"), job);
  EXPECT_EQ(result.status, ReadStatus::kCannotLoad);
  EXPECT_EQ(result.message, "Job file does not exist");
  EXPECT_NE(result.detail.find("absent.xml"), std::string::npos);
  EXPECT_EQ(ReadJobFile(dir.path(), job).status, ReadStatus::kCannotLoad);
  for (const std::string& text :
       {std::string(), std::string("  "), std::string("<VANTORSOREL_Job_specification"),
        std::string("<VANTORSOREL_Job_specification></X>"), JobText("", "") + "<x/>"}) {
    EXPECT_EQ(ReadJobFileText(text, "job.xml", job).status, ReadStatus::kCannotLoad) << text;
  }

  for (const char* before : {"<?xml version=\"1.0\"?>", "<!-- by hand -->", "<?pi x?>",
                             "<!DOCTYPE VANTORSOREL_Job_specification>"}) {
    result = ReadJobFileText(before + JobText("", ""), "job.xml", job);
    EXPECT_EQ(result.status, ReadStatus::kNotJobFile) << before;
    EXPECT_EQ(result.message, "This is no Orvex Job Extraction specification file");
  }
  for (const char* other :
       {"<Job/>", "<vantorsorel_job_specification/>", "<a:b:VANTORSOREL_Job_specification/>"}) {
    EXPECT_EQ(Status(other), ReadStatus::kNotJobFile) << other;
  }

  result =
      ReadJobFileText(R"(<VANTORSOREL_Job_specification Description="" UserFile="u"><BatchLines/>)"
                      "</VANTORSOREL_Job_specification>",
                      "/jobs/night.xml", job);
  EXPECT_EQ(result.status, ReadStatus::kInvalid);
  EXPECT_EQ(result.message,
            "The job file \"/jobs/night.xml\" is not a valid job file: its root element lacks "
            "\"LogFile\", \"TempLogDir\".");
  result = ReadJobFileText(
      JobText("", Line(R"(batch_line_type="Flow Runner")") + Line(R"(batch_line="2")")), "job.xml",
      job);
  EXPECT_EQ(result.status, ReadStatus::kInvalid);
  EXPECT_NE(result.message.find("job line 2 of the file lacks \"batch_line_type\""),
            std::string::npos);
  const std::string head = JobText("", "").substr(0, JobText("", "").find("<BatchLines>"));
  for (const std::string& body :
       {std::string(), std::string("<!-- c --><BatchLines/>"), std::string("text"),
        std::string("<BatchLines><!-- c --></BatchLines>"),
        std::string("<BatchLines><![CDATA[x]]></BatchLines>")}) {
    EXPECT_EQ(
        ReadJobFileText(head + body + "</VANTORSOREL_Job_specification>", "job.xml", job).status,
        ReadStatus::kInvalid)
        << body;
  }
  ExpectSameJob(SampleJob(), job);
  EXPECT_EQ(job.table.RowCapacity(), 2);
}

TEST(JobFileRead, ToleratedVariations) {
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
}

TEST(JobFileRead, HostileInputIsRefusedOrLoadedWithoutHarm) {
  constexpr int kDepth = 200000;
  std::string open, close, sections;
  for (int i = 0; i < kDepth; ++i) open += "<n>", close += "</n>", sections += "<![ ";
  EXPECT_EQ(
      Status(JobText("", "<BatchLine batch_line_type=\"x\">" + open + close + "</BatchLine>")),
      ReadStatus::kLoaded);
  EXPECT_EQ(Status(JobText("", "<BatchLine batch_line_type=\"x\">" + open)),
            ReadStatus::kCannotLoad);
  EXPECT_NE(Status("<!DOCTYPE a [" + sections + "]>" + JobText("", "")), ReadStatus::kLoaded);
  EXPECT_EQ(Status("<!DOCTYPE a [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>" +
                   JobText(R"( MaxParallel="&x;")", "")),
            ReadStatus::kNotJobFile);

  TempDir dir;
  const std::string big = dir.File("big.xml");
  std::ofstream(big) << JobText("", "");
  fs::resize_file(big, kMaxJobFileBytes + 1);
  JobDocument job;
  const ReadResult result = ReadJobFile(big, job);
  EXPECT_EQ(result.status, ReadStatus::kCannotLoad);
  EXPECT_NE(result.detail.find("larger than"), std::string::npos);
}

TEST(JobFileRead, LoadFillsRowsInFileOrderAndLeavesTheRestOfTheTable) {
  JobDocument job;
  job.table.SetJobLineCount(5);
  for (int row = 0; row < 5; ++row) {
    for (int column = 0; column < 14; ++column) job.table.Set(column, row, "old");
  }
  ReadJobFileText(JobText("", Line(R"(batch_line="30" batch_line_type="Flow Runner")") +
                                  Line(R"(batch_line="10" batch_line_type="x")")),
                  "job.xml", job);
  EXPECT_EQ(job.table.Get_BatchLine_Count(), 2);
  EXPECT_EQ(job.table.RowCapacity(), 5);
  EXPECT_EQ(job.table.Text(kColNumber, 0), "30");
  for (int column = 0; column < 14; ++column) {
    EXPECT_NE(job.table.At(column, 1), Cell("old")) << column;
  }
  EXPECT_EQ(job.table.Text(kColNumber, 2), "old");

  std::string lines;
  for (int i = 1; i <= 7; ++i) lines += Line(R"(batch_line_type="x")");
  JobDocument fresh = Loaded(JobText("", lines));
  EXPECT_EQ(fresh.table.RowCapacity(), 7);
  ReadJobFileText(JobText("", ""), "job.xml", fresh);
  EXPECT_EQ(fresh.table.Get_BatchLine_Count(), 0);
  EXPECT_EQ(fresh.table.RowCapacity(), 7);
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

TEST(JobFileWrite, ReplacesTheFileKeepingPermissionsAndLinks) {
  TempDir dir;
  const std::string path = dir.File("job.xml");
  ASSERT_TRUE(WriteJobFile(path, SampleJob(), "then").ok);
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  const std::string link = dir.File("link.xml");
  fs::create_symlink(path, link);
  const WriteResult result = WriteJobFile(link, JobDocument(), "now");
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(Slurp(path), JobFileText(JobDocument(), "now"));
  EXPECT_EQ(fs::status(path).permissions(), fs::perms(0640));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

TEST(JobFileWrite, FailuresNameTheCauseAndKeepTheOldFile) {
  TempDir dir;
  const std::string missing = dir.File("no/folder/job.xml");
  WriteResult result = WriteJobFile(missing, SampleJob(), "now");
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, "Cannot write \"" + missing + "\": the folder \"" +
                              dir.File("no/folder") + "\" does not exist.");
  EXPECT_FALSE(WriteJobFile(dir.path(), SampleJob(), "now").ok);
  EXPECT_FALSE(WriteJobFile("", SampleJob(), "now").ok);

  const std::string path = dir.File("job.xml");
  std::ofstream(path) << "old contents";
  JobDocument big = SampleJob();
  big.Description.assign(64 * 1024, 'x');
  // A file size limit makes the write fail part-way, as a full disk does.
  rlimit old_limit;
  getrlimit(RLIMIT_FSIZE, &old_limit);
  rlimit limit = old_limit;
  limit.rlim_cur = 4096;
  auto old_handler = signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &limit);
  result = WriteJobFile(path, big, "now");
  setrlimit(RLIMIT_FSIZE, &old_limit);
  signal(SIGXFSZ, old_handler);
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.error.find("the disk is full"), std::string::npos) << result.error;

  if (geteuid() != 0) {  // permissions do not bind root
    chmod(path.c_str(), 0444);
    result = WriteJobFile(path, SampleJob(), "now");
    EXPECT_NE(result.error.find("no permission"), std::string::npos) << result.error;
  }
  EXPECT_EQ(Slurp(path), "old contents");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace jr
