#include "platform/sqlite_metadata_log.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "model/job_lines.h"
#include "support/fakes.h"
#include "support/test_paths.h"

namespace jr {
namespace {

// The first column of every row `sql` gives, read through a connection of its own.
std::vector<std::string> Select(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_stmt* statement = nullptr;
  std::vector<std::string> rows;
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
    rows.push_back(std::string("<error> ") + sqlite3_errmsg(db));
  }
  while (statement != nullptr && sqlite3_step(statement) == SQLITE_ROW) {
    const unsigned char* text = sqlite3_column_text(statement, 0);
    rows.emplace_back(text != nullptr ? reinterpret_cast<const char*>(text) : "<null>");
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return rows;
}

TEST(SqliteMetadataLog, StoresOneRowPerFinishedLineWithEveryValue) {
  test::TempDir dir;
  const std::string path = dir.File("state/jobrunner/metadata.sqlite");
  std::unique_ptr<ProcessMetadataLogFactory> metadata = MakeSqliteMetadataLogFactory(path);
  test::FakeClock clock;
  clsJobLines lines(JobLineServices{&clock, metadata.get()});
  for (int32_t number : {10, 20}) {
    clsJobLine* line = lines.Add(number);
    line->setProgramType(number == 10 ? "Run Quillmart script" : "Settings Editor");
    line->setLogFileName(number == 10 ? "/logs/SorelJob~1_10RunQM_Log.txt" : "");
    line->setJobID("20030307_140509");
    line->SetStartingTime();
    clock.Advance(std::chrono::seconds(75));
    line->SetStopTime();
    line->setErrorOccured(number == 10);
    const Status logged = line->LogProcessMetaData();
    ASSERT_TRUE(logged.ok()) << logged.message;
  }

  const TimePoint start = test::LocalTime(2003, 3, 7, 14, 5, 9);
  EXPECT_EQ(Select(path,
                   "SELECT entry_status || '|' || entry_log_file || '|' || entry_start || "
                   "'|' || entry_stop || '|' || entry_job_id || '|' || argument_count || "
                   "'|' || arg03 FROM process_metadata ORDER BY id"),
            (std::vector<std::string>{"3|/logs/SorelJob~1_10RunQM_Log.txt|" + UtcTimeText(start) +
                                          "|" + UtcTimeText(start + std::chrono::seconds(75)) +
                                          "|20030307_140509|28|Run Quillmart script",
                                      "0||" + UtcTimeText(start + std::chrono::seconds(75)) + "|" +
                                          UtcTimeText(start + std::chrono::seconds(150)) +
                                          "|20030307_140509|28|Settings Editor"}));
  // The arguments keep their kinds: whole numbers, texts and floating-point values.
  EXPECT_EQ(Select(path,
                   "SELECT arg01 || typeof(arg01) || arg02 || arg04 || arg15 || arg16 || "
                   "arg17 || arg18 || typeof(arg19) || arg19 || arg20 || arg21 || arg22 "
                   "|| arg26 || arg27 || typeof(arg28) || typeof(arg29) || typeof(arg31) "
                   "FROM process_metadata WHERE id = 1"),
            std::vector<std::string>{"7integerJob RunnerMissingMissing99MissingMissingreal2.02.0"
                                     "-1.0MissingMissing0integernullnull"});
  EXPECT_EQ(Select(path, "PRAGMA journal_mode"), std::vector<std::string>{"wal"});
}

TEST(SqliteMetadataLog, RunsWritingAtOnceLoseNoRows) {
  test::TempDir dir;
  const std::string path = dir.File("metadata.sqlite");
  constexpr int kWriters = 3;
  constexpr int kEntriesEach = 150;
  std::vector<pid_t> children;
  for (int writer = 0; writer < kWriters; ++writer) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // Each writer is a run of its own, with its own connection to a database that the
      // first of them creates.
      std::unique_ptr<ProcessMetadataLogFactory> factory = MakeSqliteMetadataLogFactory(path);
      int written = 0;
      for (int i = 0; i < kEntriesEach; ++i) {
        Result<std::unique_ptr<ProcessMetadataLog>> log = factory->Create();
        if (!log.ok()) break;
        log.value->setEntryJobId("writer" + std::to_string(writer));
        written += log.value->WriteEntry(MetadataEntryArguments("Flow Runner")).ok() ? 1 : 0;
      }
      _exit(written == kEntriesEach ? 0 : 1);
    }
    children.push_back(child);
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(Select(path,
                   "SELECT count(*) || '/' || count(DISTINCT entry_job_id) FROM "
                   "process_metadata"),
            std::vector<std::string>{std::to_string(kWriters * kEntriesEach) + "/3"});
}

TEST(SqliteMetadataLog, AnUnusableDatabaseIsAFailureNamingTheFile) {
  test::TempDir dir;
  std::ofstream(dir.File("plain-file")) << "x";
  const std::string under_file = dir.File("plain-file/jobrunner/metadata.sqlite");
  std::string error = MakeSqliteMetadataLogFactory(under_file)->Create().message();
  EXPECT_EQ(error.rfind("cannot create the folder \"" + dir.File("plain-file/jobrunner") +
                            "\" of the process metadata database \"" + under_file + "\": ",
                        0),
            0u)
      << error;
  error = MakeSqliteMetadataLogFactory(dir.path())->Create().message();
  EXPECT_EQ(error.rfind("cannot open the process metadata database \"" + dir.path() + "\": ", 0),
            0u)
      << error;

  // A file that is not a database fails the job line's caller; once it is gone, the same
  // factory creates the database.
  const std::string garbage = dir.File("garbage.sqlite");
  std::ofstream(garbage) << std::string(4096, 'g');
  std::unique_ptr<ProcessMetadataLogFactory> factory = MakeSqliteMetadataLogFactory(garbage);
  test::FakeClock clock;
  clsJobLines lines(JobLineServices{&clock, factory.get()});
  clsJobLine* line = lines.Add(1);
  line->SetStartingTime();
  line->SetStopTime();
  EXPECT_EQ(line->LogProcessMetaData().message, "cannot open the process metadata database \"" +
                                                    garbage + "\": file is not a database");
  std::remove(garbage.c_str());
  EXPECT_TRUE(line->LogProcessMetaData().ok());

  Result<std::unique_ptr<ProcessMetadataLog>> log = factory->Create();
  ASSERT_TRUE(log.ok());
  EXPECT_EQ(log.value->WriteEntry(std::vector<MetadataValue>(32, int64_t{1})).message,
            "cannot write to the process metadata database \"" + garbage +
                "\": 32 arguments, at most 31 fit");
}

TEST(SqliteMetadataLog, TheSystemDatabaseFollowsTheEnvironment) {
  const std::string home = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "/root";
  setenv("JOBRUNNER_METADATA_DB", "/x/own.sqlite", 1);
  setenv("XDG_STATE_HOME", "/state", 1);
  setenv("HOME", "/home/me", 1);
  EXPECT_EQ(SystemMetadataDatabasePath(), "/x/own.sqlite");
  unsetenv("JOBRUNNER_METADATA_DB");
  EXPECT_EQ(SystemMetadataDatabasePath(), "/state/jobrunner/metadata.sqlite");
  setenv("XDG_STATE_HOME", "relative", 1);
  EXPECT_EQ(SystemMetadataDatabasePath(), "/home/me/.local/state/jobrunner/metadata.sqlite");
  unsetenv("XDG_STATE_HOME");
  unsetenv("HOME");
  const std::string error = MakeSystemMetadataLogFactory()->Create().message();
  EXPECT_EQ(error.rfind("no place for the process metadata database", 0), 0u);
  setenv("HOME", home.c_str(), 1);
}

}  // namespace
}  // namespace jr
