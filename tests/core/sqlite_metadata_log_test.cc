#include "store/sqlite_metadata_log.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "engine/job_line_runner.h"
#include "model/run_lines.h"
#include "store/sqlite.h"
#include "support/fakes.h"
#include "support/sqlite_rows.h"
#include "support/test_paths.h"

namespace jr {
namespace {

using test::SelectColumn;

TEST(SqliteMetadataLog, StoresAFinishedLineWithEveryValue) {
  struct InBerlin {
    InBerlin() { setenv("TZ", "Europe/Berlin", 1), tzset(); }
    ~InBerlin() { unsetenv("TZ"), tzset(); }
  } berlin;
  test::TempDir dir;
  const std::string path = dir.File("state/jobrunner/metadata.sqlite");
  std::unique_ptr<ProcessMetadataLogFactory> metadata = MakeSqliteMetadataLogFactory(path);
  RunLines lines;
  RunLine* line = lines.Add(10);
  line->EditDefinition().type = "Run Quillmart script";
  line->SetLogFileName("/logs/SorelJob~1_10RunQM_Log.txt");
  line->SetJobId("20030307_140509");
  // Summer time ends at 03:00 on 29 October 2023: the line runs from 02:30 summer time to
  // 02:30 winter time, the same local time, and each end keeps its own instant.
  const TimePoint start(std::chrono::seconds(1698539400));
  line->SetStartingTime(start);
  line->SetStopTime(start + std::chrono::hours(1));
  line->SetState(LineState::kFailed);
  ASSERT_EQ(LogLineMetadata(*line, *metadata).message, "");

  // The arguments keep their kinds: whole numbers, texts and floating-point values.
  EXPECT_EQ(
      SelectColumn(path,
                   "SELECT entry_status || '|' || entry_log_file || '|' || entry_start || '|' || "
                   "entry_stop || '|' || entry_job_id || '|' || argument_count || '|' || arg01 "
                   "|| typeof(arg01) || arg02 || arg03 || arg04 || arg15 || arg16 || arg17 || "
                   "arg18 || typeof(arg19) || arg19 || arg20 || arg21 || arg22 || arg26 || arg27 "
                   "|| typeof(arg28) || typeof(arg29) || typeof(arg31) FROM process_metadata"),
      std::vector<std::string>{
          "3|/logs/SorelJob~1_10RunQM_Log.txt|" + UtcTimeText(start) + "|" +
          UtcTimeText(start + std::chrono::hours(1)) +
          "|20030307_140509|28|7integerJob RunnerRun Quillmart scriptMissingMissing99"
          "MissingMissingreal2.02.0-1.0MissingMissing0integernullnull"});
}

TEST(SqliteMetadataLog, RunsWritingAtOnceLoseNoRows) {
  test::TempDir dir;
  const std::string path = dir.File("metadata.sqlite");
  std::vector<pid_t> children;
  for (int writer = 0; writer < 3; ++writer) {
    children.push_back(fork());
    ASSERT_GE(children.back(), 0);
    if (children.back() != 0) continue;
    // Each writer is a run of its own, with its own connection to a database that the
    // first of them creates.
    std::unique_ptr<ProcessMetadataLogFactory> factory = MakeSqliteMetadataLogFactory(path);
    int written = 0;
    for (int i = 0; i < 150; ++i) {
      Result<std::unique_ptr<ProcessMetadataLog>> log = factory->Create();
      if (!log.ok()) break;
      log.value->SetEntryJobId("writer" + std::to_string(writer));
      written += log.value->WriteEntry(MetadataEntryArguments("Flow Runner")).ok() ? 1 : 0;
    }
    _exit(written == 150 ? 0 : 1);
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(SelectColumn(path,
                         "SELECT count(*) || '/' || count(DISTINCT entry_job_id) FROM "
                         "process_metadata"),
            std::vector<std::string>{"450/3"});
}

// A runner's commits only append to the write-ahead log; another thread copies it into the
// database. A writer faster than the copier can follow copies in its commits again, so the
// log stays bounded; and it is gone once the last writer closes.
TEST(SqliteMetadataLog, TheLogIsCopiedBesideTheWritesAndGoneAfterThem) {
  test::TempDir dir;
  const std::string path = dir.File("metadata.sqlite");
  auto write_rows = [](ProcessMetadataLogFactory& factory, int rows) {
    for (int i = 0; i < rows; ++i) {
      Result<std::unique_ptr<ProcessMetadataLog>> log = factory.Create();
      ASSERT_TRUE(log.ok()) << log.message();
      ASSERT_TRUE(log.value->WriteEntry(MetadataEntryArguments("Flow Runner")).ok());
    }
  };
  {
    std::unique_ptr<ProcessMetadataLogFactory> factory = MakeSqliteMetadataLogFactory(path);
    // Two pages a row: a log longer than SQLite lets grow, not long enough for the writer
    // to copy it itself. Only the copier can bring rows into the database file, which
    // holds a page until then: the rows of the log as long as it was when the copier was
    // asked, some 40 pages.
    write_rows(*factory, 700);
    for (int wait = 0; wait < 1000 && std::filesystem::file_size(path) < 100 * 1024; ++wait) {
      usleep(10 * 1000);
    }
    EXPECT_GE(std::filesystem::file_size(path), 100u * 1024);

    // Written as fast as they come, ten times the rows SQLite lets the log hold; never
    // copied, the log would hold them all: over 40 MB. The commit that finds it at
    // kFallBehindPages copies it, waiting for a copier's round under way however long the
    // round takes, so the log never holds more than the few pages of one commit beyond it.
    // A page in the log takes its 4096 bytes and a 24-byte header, the file a 32-byte one.
    write_rows(*factory, 5000);
    const auto log_size = std::filesystem::file_size(path + "-wal");
    EXPECT_LE(log_size, (BackgroundCheckpoint::kFallBehindPages + 16u) * (4096 + 24) + 32)
        << log_size;
  }
  EXPECT_FALSE(std::filesystem::exists(path + "-wal"));
  EXPECT_EQ(SelectColumn(path, "SELECT count(*) FROM process_metadata"),
            std::vector<std::string>{"5700"});
}

// A file that is not a database fails the job line's caller, naming the file.
TEST(SqliteMetadataLog, AnUnusableDatabaseIsAFailureNamingTheFile) {
  test::TempDir dir;
  const std::string garbage = dir.File("garbage.sqlite");
  test::WriteWholeFile(garbage, std::string(4096, 'g'));
  std::unique_ptr<ProcessMetadataLogFactory> factory = MakeSqliteMetadataLogFactory(garbage);
  EXPECT_EQ(factory->Create().message(), "cannot open the process metadata database \"" + garbage +
                                             "\": file is not a database");
}

}  // namespace
}  // namespace jr
