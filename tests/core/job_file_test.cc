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

using test::TempDir;

const char* const kHeader =
    R"(<VANTORSOREL_Job_specification Description="d" LogFile="a.htm" UserFile="u.htm" )"
    R"(TempLogDir="/tmp/logs")";

// A job file of the given header attributes (after the required four) and line elements.
std::string JobText(const std::string& more_header, const std::string& lines) {
  return std::string(kHeader) + more_header + "><BatchLines>" + lines +
         "</BatchLines></VANTORSOREL_Job_specification>";
}

std::string Line(const std::string& attributes) { return "<BatchLine " + attributes + "/>"; }

ReadResult Read(const std::string& text, JobDocument& job) {
  return ReadJobFileText(text, "job.xml", job);
}

JobDocument Loaded(const std::string& text) {
  JobDocument job;
  const ReadResult result = Read(text, job);
  EXPECT_EQ(result.status, ReadStatus::kLoaded) << result.message << " " << result.detail;
  return job;
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

// A job of two lines, one of each kind, with distinct text in every cell.
JobDocument SampleJob() {
  JobDocument job;
  job.Description = "Nightly \"extract\" <all> & more";
  job.LogFile = "/reports/admin.htm";
  job.UserFile = "/reports/user.htm";
  job.TempLogDir = "/var/log/jobs";
  job.LogToEventLog = true;
  job.MaxParallel = "4";
  job.table.SetJobLineCount(2);
  const char* first[] = {"10", "flow", "Flow Runner", "-x 1", "",   "true", "false", "",
                         "",   "",     "20",          "",     "30", ""};
  const char* second[] = {
      "20",   "own",         "User Batchfile", "-password s3cret", "10", "false",
      "true", "/bin/run.sh", "/tmp/run.log",   "/tmp/run.st",      "",   "10,20",
      "",     "30"};
  for (int column = 0; column < JobLineTable::kColumnCount; ++column) {
    job.table.Set(column, 0, first[column]);
    job.table.Set(column, 1, second[column]);
  }
  return job;
}

void ExpectSameJob(const JobDocument& expected, const JobDocument& actual) {
  EXPECT_EQ(actual.Description, expected.Description);
  EXPECT_EQ(actual.LogFile, expected.LogFile);
  EXPECT_EQ(actual.UserFile, expected.UserFile);
  EXPECT_EQ(actual.TempLogDir, expected.TempLogDir);
  EXPECT_EQ(actual.LogToEventLog, expected.LogToEventLog);
  EXPECT_EQ(actual.MaxParallel, expected.MaxParallel);
  ASSERT_EQ(actual.table.Get_BatchLine_Count(), expected.table.Get_BatchLine_Count());
  for (int row = 0; row < expected.table.Get_BatchLine_Count(); ++row) {
    for (int column = 0; column < JobLineTable::kColumnCount; ++column) {
      EXPECT_EQ(actual.table.At(column, row), expected.table.At(column, row))
          << "row " << row << " column " << column;
    }
  }
}

// --- Defaults of absent and odd values -------------------------------------------------

TEST(JobFileDefaults, HeaderDefaultsAndTheExactFalseRule) {
  JobDocument job = Loaded(JobText("", ""));
  EXPECT_EQ(job.MaxParallel, "99");
  EXPECT_TRUE(job.LogToEventLog);
  EXPECT_EQ(job.table.Get_BatchLine_Count(), 0);

  EXPECT_FALSE(Loaded(JobText(R"( LogToEventLog="false")", "")).LogToEventLog);
  EXPECT_TRUE(Loaded(JobText(R"( LogToEventLog="False")", "")).LogToEventLog);
  EXPECT_TRUE(Loaded(JobText(R"( LogToEventLog=" false")", "")).LogToEventLog);
  EXPECT_TRUE(Loaded(JobText(R"( LogToEventLog="")", "")).LogToEventLog);
  // Only an absent maximum falls back; a present one is taken as it stands.
  EXPECT_EQ(Loaded(JobText(R"( MaxParallel="")", "")).MaxParallel, "");
  EXPECT_EQ(Loaded(JobText(R"( MaxParallel="abc")", "")).MaxParallel, "abc");
  EXPECT_EQ(Loaded(JobText(R"( Description="")", "")).Description, "d");
}

TEST(JobFileDefaults, AbsentLineAttributesAreNoValueExceptActiveAndTheLists) {
  JobDocument job = Loaded(JobText("", Line(R"(batch_line_type="Flow Runner")")));
  ASSERT_EQ(job.table.Get_BatchLine_Count(), 1);
  for (int column : {kColNumber, kColDescription, kColOptions, kColWait, kColStopOnError,
                     kColBatchFile, kColBatchLogFile, kColBatchStatusFile}) {
    EXPECT_FALSE(job.table.At(column, 0).has_value()) << column;
  }
  EXPECT_EQ(job.table.At(kColActive, 0), Cell("true"));
  for (int column = kColSkipOnError; column <= kColRepeatOnSuccess; ++column) {
    EXPECT_EQ(job.table.At(column, 0), Cell("")) << column;
  }
}

TEST(JobFileDefaults, EmptyTextStaysDistinctFromNoValue) {
  JobDocument job = Loaded(
      JobText("", Line(R"(batch_line="" batch_line_type="Flow Runner" options="" active="")")));
  EXPECT_EQ(job.table.At(kColNumber, 0), Cell(""));
  EXPECT_EQ(job.table.At(kColOptions, 0), Cell(""));
  EXPECT_FALSE(job.table.At(kColWait, 0).has_value());
  // An empty active value is not "true", so the line is not active.
  EXPECT_EQ(job.table.At(kColActive, 0), Cell(""));
}

TEST(JobFileDefaults, MissingSkipOnErrorEmptiesAllFourLists) {
  JobDocument job = Loaded(JobText(
      "", Line(R"(batch_line_type="Flow Runner" repeat_on_error="5" skip_on_success="7")") +
              Line(R"(batch_line_type="Flow Runner" skip_on_error="" repeat_on_error="5")")));
  for (int column = kColSkipOnError; column <= kColRepeatOnSuccess; ++column) {
    EXPECT_EQ(job.table.At(column, 0), Cell("")) << column;
  }
  // With skip_on_error present, even empty, the others are read as they stand.
  EXPECT_EQ(job.table.At(kColSkipOnError, 1), Cell(""));
  EXPECT_FALSE(job.table.At(kColSkipOnSuccess, 1).has_value());
  EXPECT_EQ(job.table.At(kColRepeatOnError, 1), Cell("5"));
}

TEST(JobFileDefaults, TypeNamesOutsideTheCatalogueReadAsUnknown) {
  JobDocument job = Loaded(JobText("", Line(R"x(batch_line_type="Run Vantor Job (UNIX)")x") +
                                           Line(R"x(batch_line_type="run vantor job (unix)")x") +
                                           Line(R"(batch_line_type="Flow Runner ")") +
                                           Line(R"(batch_line_type="")")));
  EXPECT_EQ(job.table.Text(kColType, 0), "Run Vantor Job (UNIX)");
  EXPECT_EQ(job.table.Text(kColType, 1), "???");
  EXPECT_EQ(job.table.Text(kColType, 2), "???");
  EXPECT_EQ(job.table.Text(kColType, 3), "???");
}

// --- Files that are refused ------------------------------------------------------------

TEST(JobFileRefusals, UnloadableFilesAreReportedAsMissing) {
  TempDir dir;
  JobDocument job;
  ReadResult result = ReadJobFile(dir.File("absent.xml"), job);
  EXPECT_EQ(result.status, ReadStatus::kCannotLoad);
  EXPECT_EQ(result.message, "Job file does not exist");
  EXPECT_NE(result.detail.find("absent.xml"), std::string::npos);

  EXPECT_EQ(ReadJobFile(dir.path(), job).status, ReadStatus::kCannotLoad);
  for (const char* text :
       {"", "   ", "<VANTORSOREL_Job_specification", "<VANTORSOREL_Job_specification></Other>",
        "not xml at all", "<a/><VANTORSOREL_Job_specification/>"}) {
    EXPECT_EQ(Read(text, job).status, ReadStatus::kCannotLoad) << text;
  }
  // A second root after a valid job is no well-formed document either.
  EXPECT_EQ(Read(JobText("", "") + "<x/>", job).status, ReadStatus::kCannotLoad);
}

TEST(JobFileRefusals, AnythingBeforeTheRootMakesItNoJobFile) {
  const std::string job_text = JobText("", "");
  for (const char* prefix :
       {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>", "<!-- saved by hand -->",
        "<?stylesheet href=\"x\"?>", "<!DOCTYPE VANTORSOREL_Job_specification>"}) {
    JobDocument job;
    const ReadResult result = Read(std::string(prefix) + job_text, job);
    EXPECT_EQ(result.status, ReadStatus::kNotJobFile) << prefix;
    EXPECT_EQ(result.message, "This is no Orvex Job Extraction specification file");
  }
  JobDocument job;
  EXPECT_EQ(Read("<Job Description=\"\"><BatchLines/></Job>", job).status, ReadStatus::kNotJobFile);
  EXPECT_EQ(Read("<vantorsorel_job_specification/>", job).status, ReadStatus::kNotJobFile);
  // Comments after the root are harmless.
  EXPECT_EQ(Read(job_text + "<!-- end -->", job).status, ReadStatus::kLoaded);
}

TEST(JobFileRefusals, MissingRequiredPartsNameFileAndFault) {
  JobDocument job;
  ReadResult result = ReadJobFileText(
      "<VANTORSOREL_Job_specification Description=\"\" UserFile=\"u\"><BatchLines/>"
      "</VANTORSOREL_Job_specification>",
      "/jobs/night.xml", job);
  EXPECT_EQ(result.status, ReadStatus::kInvalid);
  EXPECT_EQ(result.message,
            "The job file \"/jobs/night.xml\" is not a valid job file: its root element lacks "
            "\"LogFile\", \"TempLogDir\".");

  result =
      Read(JobText("", Line(R"(batch_line_type="Flow Runner")") + Line(R"(batch_line="2")")), job);
  EXPECT_EQ(result.status, ReadStatus::kInvalid);
  EXPECT_NE(result.message.find("job line 2 of the file lacks \"batch_line_type\""),
            std::string::npos)
      << result.message;

  const std::string root = std::string(kHeader) + ">";
  const std::string end = "</VANTORSOREL_Job_specification>";
  for (const std::string& body :
       {std::string(), std::string("<!-- lines --><BatchLines/>"), std::string("text"),
        "<BatchLines>" + Line(R"(batch_line_type="Flow Runner")") + "<!-- c --></BatchLines>",
        std::string("<BatchLines>stray text</BatchLines>"),
        std::string("<BatchLines><![CDATA[x]]></BatchLines>"),
        std::string("<BatchLines><?pi x?></BatchLines>")}) {
    result = Read(root + body + end, job);
    EXPECT_EQ(result.status, ReadStatus::kInvalid) << body;
    EXPECT_NE(result.message.find("job.xml"), std::string::npos);
  }
}

TEST(JobFileRefusals, ARefusedFileLeavesTheJobUntouched) {
  JobDocument job = SampleJob();
  const JobDocument before = SampleJob();
  for (const std::string& text :
       {std::string("<broken"), std::string("<!-- c -->") + JobText("", ""),
        JobText("", Line(R"(batch_line="1" batch_line_type="Flow Runner")") +
                        Line(R"(batch_line="2")"))}) {
    EXPECT_NE(Read(text, job).status, ReadStatus::kLoaded);
    ExpectSameJob(before, job);
    EXPECT_EQ(job.table.RowCapacity(), 2);
  }
}

// --- Tolerated variations and hostile input ---------------------------------------------

TEST(JobFileVariations, PrefixedRootAndUncheckedChildNamesAreAccepted) {
  JobDocument job = Loaded(
      R"(<js:VANTORSOREL_Job_specification xmlns:js="urn:jobs" Description="d" LogFile="l" )"
      R"(UserFile="u" TempLogDir="t"><Lines><Row batch_line="5" batch_line_type="Flow Runner">)"
      R"(<ignored/></Row></Lines><Extra/></js:VANTORSOREL_Job_specification>)");
  ASSERT_EQ(job.table.Get_BatchLine_Count(), 1);
  EXPECT_EQ(job.table.Text(kColNumber, 0), "5");
  // Only the prefix goes: a name that merely ends in the root's name is something else.
  EXPECT_EQ(Read("<a:b:VANTORSOREL_Job_specification/>", job).status, ReadStatus::kNotJobFile);
  EXPECT_EQ(Read("<XVANTORSOREL_Job_specification/>", job).status, ReadStatus::kNotJobFile);
}

TEST(JobFileVariations, EncodingsAndEntitiesAreHandledSafely) {
  // A byte order mark is no node; the entity of an unprocessed document type stays text.
  JobDocument job = Loaded("\xEF\xBB\xBF" + JobText(R"( MaxParallel="&amp;&#65;&unknown;")", ""));
  EXPECT_EQ(job.MaxParallel, "&A&unknown;");
  job = Loaded(JobText(R"( MaxParallel="caf&#233;")", ""));
  EXPECT_EQ(job.MaxParallel, "caf\xC3\xA9");

  const std::string laughs =
      "<!DOCTYPE VANTORSOREL_Job_specification [<!ENTITY a \"aaaaaaaaaa\">"
      "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY x SYSTEM \"file:///etc/passwd\">]>";
  EXPECT_EQ(Read(laughs + JobText(R"( MaxParallel="&b;&x;")", ""), job).status,
            ReadStatus::kNotJobFile);
}

TEST(JobFileVariations, DeepNestingAndOversizedFilesDoNotCrash) {
  constexpr int kDepth = 200000;
  std::string deep;
  for (int i = 0; i < kDepth; ++i) deep += "<n>";
  for (int i = 0; i < kDepth; ++i) deep += "</n>";
  JobDocument job =
      Loaded(JobText("", "<BatchLine batch_line_type=\"Flow Runner\">" + deep + "</BatchLine>"));
  EXPECT_EQ(job.table.Get_BatchLine_Count(), 1);
  EXPECT_EQ(Read(JobText("", "<BatchLine batch_line_type=\"x\">" + deep), job).status,
            ReadStatus::kCannotLoad);

  // Nested sections of a document type are as deep as the file is long.
  std::string sections = "<!DOCTYPE VANTORSOREL_Job_specification [";
  for (int i = 0; i < kDepth; ++i) sections += "<![ ";
  for (int i = 0; i < kDepth; ++i) sections += "]]>";
  EXPECT_NE(Read(sections + "]>" + JobText("", ""), job).status, ReadStatus::kLoaded);

  TempDir dir;
  const std::string big = dir.File("big.xml");
  {
    std::ofstream out(big);
    out << JobText("", "");
  }
  std::filesystem::resize_file(big, kMaxJobFileBytes + 1);
  const ReadResult result = ReadJobFile(big, job);
  EXPECT_EQ(result.status, ReadStatus::kCannotLoad);
  EXPECT_NE(result.detail.find("larger than"), std::string::npos);
}

// --- What a load does to the table -------------------------------------------------------

TEST(JobFileTable, LoadKeepsFileOrderGrowsByRowsAndLeavesRowsBehind) {
  JobDocument job;
  job.table.SetJobLineCount(5);
  for (int row = 0; row < 5; ++row) {
    for (int column = 0; column < JobLineTable::kColumnCount; ++column) {
      job.table.Set(column, row, "old");
    }
  }
  ASSERT_EQ(Read(JobText("", Line(R"(batch_line="30" batch_line_type="Flow Runner")") +
                                 Line(R"(batch_line="10" batch_line_type="Flow Runner")")),
                 job)
                .status,
            ReadStatus::kLoaded);
  EXPECT_EQ(job.table.Get_BatchLine_Count(), 2);
  EXPECT_EQ(job.table.RowCapacity(), 5);
  EXPECT_EQ(job.table.Text(kColNumber, 0), "30");
  EXPECT_EQ(job.table.Text(kColNumber, 1), "10");
  // Every cell of a loaded row is written, so nothing of the earlier job survives there.
  for (int column = 0; column < JobLineTable::kColumnCount; ++column) {
    EXPECT_NE(job.table.At(column, 1), Cell("old")) << column;
  }
  EXPECT_EQ(job.table.Text(kColNumber, 2), "old");

  JobDocument fresh;
  std::string lines;
  for (int i = 1; i <= 7; ++i) {
    lines += Line("batch_line=\"" + std::to_string(i) + "\" batch_line_type=\"Flow Runner\"");
  }
  ASSERT_EQ(Read(JobText("", lines), fresh).status, ReadStatus::kLoaded);
  EXPECT_EQ(fresh.table.RowCapacity(), 7);
  EXPECT_EQ(fresh.table.Text(kColNumber, 6), "7");
  ASSERT_EQ(Read(JobText("", ""), fresh).status, ReadStatus::kLoaded);
  EXPECT_EQ(fresh.table.Get_BatchLine_Count(), 0);
  EXPECT_EQ(fresh.table.RowCapacity(), 7);
}

// --- Writing -----------------------------------------------------------------------------

TEST(JobFileWriter, WritesTheRootFirstWithAttributesInOrder) {
  const std::string text = JobFileText(SampleJob(), "2003 Mar 07 14:05:09");
  EXPECT_EQ(text.rfind("<VANTORSOREL_Job_specification Description=", 0), 0u) << text;
  EXPECT_NE(text.find(R"(Description="Nightly &quot;extract&quot; &lt;all> &amp; more" )"
                      R"(LogFile="/reports/admin.htm" UserFile="/reports/user.htm" )"
                      R"(TempLogDir="/var/log/jobs" LogToEventLog="true" )"
                      R"(Exportdate="2003 Mar 07 14:05:09" MaxParallel="4">)"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(R"(<BatchLine batch_line="10" batch_line_description="flow" )"
                      R"(batch_line_type="Flow Runner" options="-x 1" wait="" )"
                      R"(stop_on_error="true" active="false" skip_on_error="20" )"
                      R"(skip_on_success="" repeat_on_error="30" repeat_on_success="" />)"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(R"(active="true" own_batch_file="/bin/run.sh" int_log_file="/tmp/run.log" )"
                      R"(int_err_file="/tmp/run.st" skip_on_error="")"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(R"(options="-password s3cret")"), std::string::npos);
}

TEST(JobFileWriter, EmptyJobRoundTripsWithItsHeader) {
  JobDocument job = SampleJob();
  job.table.AllocateAfresh();
  job.LogToEventLog = false;
  const std::string text = JobFileText(job, "now");
  EXPECT_NE(text.find(R"(LogToEventLog="false")"), std::string::npos);
  EXPECT_NE(text.find("<BatchLines />"), std::string::npos) << text;
  ExpectSameJob(job, Loaded(text));
}

TEST(JobFileWriter, RoundTripKeepsEveryCellIncludingNoValueAndAwkwardText) {
  JobDocument job = SampleJob();
  job.table.SetJobLineCount(3);
  const std::string awkward = " lead\ttab\nline\r\ncr \"q\" 'a' <&> \x01 \xC3\xA9 trail ";
  for (int column = 0; column < JobLineTable::kColumnCount; ++column) {
    job.table.Set(column, 2, awkward + std::to_string(column));
  }
  job.table.Set(kColType, 2, "Scan Anomalies");
  job.table.Set(kColNumber, 0, std::nullopt);
  job.table.Set(kColOptions, 1, std::nullopt);
  job.Description = awkward;
  JobDocument read = Loaded(JobFileText(job, "now"));
  // What a written file cannot keep: no value is written as empty text, and a line
  // without its own batch file has none of its three cells.
  job.table.Set(kColNumber, 0, "");
  job.table.Set(kColOptions, 1, "");
  for (int column : {kColBatchFile, kColBatchLogFile, kColBatchStatusFile}) {
    job.table.Set(column, 0, std::nullopt);
  }
  ExpectSameJob(job, read);
}

TEST(JobFileWriter, BatchFileAttributesOnlyForLinesNamingOne) {
  JobDocument job = SampleJob();
  job.table.Set(kColType, 0, "Custom thing");
  job.table.Set(kColBatchFile, 0, "");
  job.table.Set(kColBatchLogFile, 0, "/kept/only/in/memory.log");
  job.table.Set(kColBatchFile, 1, std::nullopt);
  const std::string text = JobFileText(job, "now");
  EXPECT_EQ(text.find("own_batch_file"), std::string::npos) << text;
  EXPECT_EQ(text.find("int_log_file"), std::string::npos);
  EXPECT_NE(text.find(R"(batch_line_type="")"), std::string::npos);
  JobDocument read = Loaded(text);
  EXPECT_EQ(read.table.Text(kColType, 0), "???");
  for (int row : {0, 1}) {
    for (int column : {kColBatchFile, kColBatchLogFile, kColBatchStatusFile}) {
      EXPECT_FALSE(read.table.At(column, row).has_value()) << row << " " << column;
    }
  }
}

// --- Writing files -------------------------------------------------------------------------

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(JobFileWriteFile, WritesReplacesAndKeepsPermissions) {
  TempDir dir;
  const std::string path = dir.File("job.xml");
  ASSERT_TRUE(WriteJobFile(path, SampleJob(), "then").ok);
  EXPECT_EQ(Slurp(path), JobFileText(SampleJob(), "then"));
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);

  JobDocument changed = SampleJob();
  changed.Description = "changed";
  const WriteResult result = WriteJobFile(path, changed, "now");
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(Slurp(path), JobFileText(changed, "now"));
  struct stat info;
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{"job.xml"});

  // A link is written through, not replaced by a file.
  const std::string link = dir.File("link.xml");
  std::filesystem::create_symlink(path, link);
  ASSERT_TRUE(WriteJobFile(link, SampleJob(), "via link").ok);
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(Slurp(path), JobFileText(SampleJob(), "via link"));
}

TEST(JobFileWriteFile, FailuresNameTheFileAndTheCause) {
  TempDir dir;
  const std::string missing = dir.File("no/such/folder/job.xml");
  WriteResult result = WriteJobFile(missing, SampleJob(), "now");
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.error.find(missing), std::string::npos) << result.error;
  EXPECT_NE(result.error.find("does not exist"), std::string::npos) << result.error;

  result = WriteJobFile(dir.path(), SampleJob(), "now");
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.error.find(dir.path()), std::string::npos) << result.error;
  EXPECT_FALSE(WriteJobFile("", SampleJob(), "now").ok);
  EXPECT_TRUE(FilesIn(dir.path()).empty());
}

TEST(JobFileWriteFile, AFailedWriteLeavesTheOldFileIntact) {
  TempDir dir;
  const std::string path = dir.File("job.xml");
  Spit(path, "old contents");
  JobDocument big = SampleJob();
  big.Description = std::string(64 * 1024, 'x');
  // A file size limit makes the write itself fail part-way, as a full disk would.
  struct rlimit old_limit;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  struct rlimit limit = old_limit;
  limit.rlim_cur = 4096;
  void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  const WriteResult result = WriteJobFile(path, big, "now");
  setrlimit(RLIMIT_FSIZE, &old_limit);
  signal(SIGXFSZ, old_handler);

  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.error.find("disk is full"), std::string::npos) << result.error;
  EXPECT_EQ(Slurp(path), "old contents");
  EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{"job.xml"});
}

TEST(JobFileWriteFile, WriteProtectionIsRespected) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  TempDir dir;
  const std::string path = dir.File("job.xml");
  Spit(path, "old contents");
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  WriteResult result = WriteJobFile(path, SampleJob(), "now");
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.error.find("no permission"), std::string::npos) << result.error;
  EXPECT_EQ(Slurp(path), "old contents");
}

}  // namespace
}  // namespace jr
