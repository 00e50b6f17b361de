#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "model/job_lines.h"
#include "platform/sqlite_metadata_log.h"
#include "support/fakes.h"
#include "support/test_paths.h"

namespace jr {
namespace {

// The rows of the database, each as column name -> value text ("<null>" for NULL), in id
// order, together with each argument column's storage type.
struct Row {
  std::map<std::string, std::string> text;
  std::map<std::string, int> type;
};

std::vector<Row> ReadRows(const std::string& path) {
  sqlite3* db = nullptr;
  std::vector<Row> rows;
  EXPECT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* statement = nullptr;
  EXPECT_EQ(
      sqlite3_prepare_v2(db, "SELECT * FROM process_metadata ORDER BY id", -1, &statement, nullptr),
      SQLITE_OK)
      << sqlite3_errmsg(db);
  while (statement != nullptr && sqlite3_step(statement) == SQLITE_ROW) {
    Row row;
    for (int i = 0; i < sqlite3_column_count(statement); ++i) {
      const std::string name = sqlite3_column_name(statement, i);
      const unsigned char* text = sqlite3_column_text(statement, i);
      row.type[name] = sqlite3_column_type(statement, i);
      row.text[name] = text != nullptr ? reinterpret_cast<const char*>(text) : "<null>";
    }
    rows.push_back(std::move(row));
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return rows;
}

std::string ScalarText(const std::string& path, const char* sql) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* statement = nullptr;
  std::string result = "<error>";
  if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK &&
      sqlite3_step(statement) == SQLITE_ROW) {
    result = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return result;
}

TEST(SqliteMetadataLog, StoresOneRowPerFinishedLineWithEveryValue) {
  test::TempDir dir;
  const std::string path = dir.File("state/jobrunner/metadata.sqlite");
  std::unique_ptr<ProcessMetadataLogFactory> metadata = MakeSqliteMetadataLogFactory(path);
  test::FakeClock clock;
  clsJobLines lines(JobLineServices{&clock, metadata.get()});

  clsJobLine* failed = lines.Add(10);
  failed->setProgramType("Run Quillmart script");
  failed->setLogFileName("/logs/run/SorelJob~1_10RunQM_Log.txt");
  failed->setJobID("20030307_140509");
  failed->SetStartingTime();
  clock.Advance(std::chrono::seconds(75));
  failed->SetStopTime();
  failed->setErrorOccured(true);
  clsJobLine* succeeded = lines.Add(20);
  succeeded->setProgramType("Settings Editor");
  succeeded->setJobID("20030307_140509");
  succeeded->SetStartingTime();
  succeeded->SetStopTime();

  std::string error;
  ASSERT_TRUE(failed->LogProcessMetaData(&error)) << error;
  ASSERT_TRUE(succeeded->LogProcessMetaData(&error)) << error;

  const std::vector<Row> rows = ReadRows(path);
  ASSERT_EQ(rows.size(), 2u);
  const Row& first = rows[0];
  EXPECT_EQ(first.text.at("entry_status"), "3");
  EXPECT_EQ(rows[1].text.at("entry_status"), "0");
  EXPECT_EQ(first.text.at("entry_log_file"), "/logs/run/SorelJob~1_10RunQM_Log.txt");
  EXPECT_EQ(rows[1].text.at("entry_log_file"), "");
  EXPECT_EQ(first.text.at("entry_job_id"), "20030307_140509");
  const TimePoint start = test::LocalTime(2003, 3, 7, 14, 5, 9);
  EXPECT_EQ(first.text.at("entry_start"), UtcTimeText(start));
  EXPECT_EQ(first.text.at("entry_stop"), UtcTimeText(start + std::chrono::seconds(75)));
  EXPECT_EQ(first.text.at("written_at").size(), std::string("2026-01-01T00:00:00.000Z").size());

  EXPECT_EQ(first.text.at("argument_count"), "28");
  EXPECT_EQ(first.text.at("arg01"), "7");
  EXPECT_EQ(first.type.at("arg01"), SQLITE_INTEGER);
  EXPECT_EQ(first.text.at("arg02"), "Job Runner");
  EXPECT_EQ(first.text.at("arg03"), "Run Quillmart script");
  EXPECT_EQ(rows[1].text.at("arg03"), "Settings Editor");
  for (const char* missing : {"arg04", "arg15", "arg17", "arg18", "arg22", "arg26"}) {
    EXPECT_EQ(first.text.at(missing), "Missing") << missing;
  }
  EXPECT_EQ(first.text.at("arg16"), "99");
  EXPECT_EQ(first.type.at("arg19"), SQLITE_FLOAT);
  EXPECT_EQ(first.text.at("arg19"), "2.0");
  EXPECT_EQ(first.text.at("arg21"), "-1.0");
  EXPECT_EQ(first.text.at("arg27"), "0");
  EXPECT_EQ(first.type.at("arg28"), SQLITE_INTEGER);
  EXPECT_EQ(first.type.at("arg29"), SQLITE_NULL);
  EXPECT_EQ(first.type.at("arg31"), SQLITE_NULL);

  EXPECT_EQ(ScalarText(path, "PRAGMA journal_mode"), "wal");
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
      // Each writer is its own run with its own connection, as separate programs are.
      std::unique_ptr<ProcessMetadataLogFactory> factory = MakeSqliteMetadataLogFactory(path);
      int written = 0;
      for (int i = 0; i < kEntriesEach; ++i) {
        std::string error;
        std::unique_ptr<ProcessMetadataLog> log = factory->Create(&error);
        if (!log) break;
        log->setEntryJobId("writer" + std::to_string(writer));
        if (log->WriteEntry(MetadataEntryArguments("Flow Runner"), &error)) ++written;
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
  EXPECT_EQ(ScalarText(path, "SELECT count(*) FROM process_metadata"),
            std::to_string(kWriters * kEntriesEach));
  EXPECT_EQ(ScalarText(path, "SELECT count(DISTINCT entry_job_id) FROM process_metadata"),
            std::to_string(kWriters));
}

TEST(SqliteMetadataLog, ADatabaseThatCannotBeOpenedIsAFailureNamingTheFile) {
  test::TempDir dir;
  std::string error;
  { std::ofstream(dir.File("plain-file")) << "x"; }
  // The folder cannot be made: a file is in the way.
  const std::string under_file = dir.File("plain-file/jobrunner/metadata.sqlite");
  EXPECT_EQ(MakeSqliteMetadataLogFactory(under_file)->Create(&error), nullptr);
  EXPECT_NE(error.find("cannot create the folder \"" + dir.File("plain-file/jobrunner") +
                       "\" of the process metadata database \"" + under_file + "\": "),
            std::string::npos)
      << error;

  // A file that is not a database.
  const std::string garbage = dir.File("garbage.sqlite");
  { std::ofstream(garbage) << std::string(4096, 'g'); }
  error.clear();
  EXPECT_EQ(MakeSqliteMetadataLogFactory(garbage)->Create(&error), nullptr);
  EXPECT_EQ(error, "cannot open the process metadata database \"" + garbage +
                       "\": file is not a database");

  // A folder where the database should be.
  error.clear();
  EXPECT_EQ(MakeSqliteMetadataLogFactory(dir.path())->Create(&error), nullptr);
  EXPECT_NE(error.find("cannot open the process metadata database \"" + dir.path() + "\": "),
            std::string::npos)
      << error;

  // The failure reaches the job line's caller, and the line keeps no instance.
  std::unique_ptr<ProcessMetadataLogFactory> broken = MakeSqliteMetadataLogFactory(garbage);
  test::FakeClock clock;
  clsJobLines lines(JobLineServices{&clock, broken.get()});
  clsJobLine* line = lines.Add(1);
  line->SetStartingTime();
  line->SetStopTime();
  error.clear();
  EXPECT_FALSE(line->LogProcessMetaData(&error));
  EXPECT_NE(error.find("file is not a database"), std::string::npos);
  EXPECT_EQ(line->MetadataLog(), nullptr);

  // Once the file is repaired, the same factory opens it.
  std::remove(garbage.c_str());
  EXPECT_TRUE(line->LogProcessMetaData(&error)) << error;
  EXPECT_EQ(ScalarText(garbage, "SELECT count(*) FROM process_metadata"), "1");
}

TEST(SqliteMetadataLog, AWriteThatCannotBeStoredFails) {
  test::TempDir dir;
  const std::string path = dir.File("metadata.sqlite");
  std::unique_ptr<ProcessMetadataLogFactory> factory = MakeSqliteMetadataLogFactory(path);
  std::string error;
  std::unique_ptr<ProcessMetadataLog> log = factory->Create(&error);
  ASSERT_NE(log, nullptr) << error;
  std::vector<MetadataValue> too_many(32, MetadataValue(int64_t{1}));
  EXPECT_FALSE(log->WriteEntry(too_many, &error));
  EXPECT_EQ(error, "cannot write to the process metadata database \"" + path +
                       "\": 32 arguments, at most 31 fit");

  // A table dropped behind the writer's back stands for a store that refuses the row.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "DROP TABLE process_metadata", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  EXPECT_FALSE(log->WriteEntry(MetadataEntryArguments("Flow Runner"), &error));
  EXPECT_NE(error.find("cannot write to the process metadata database \"" + path + "\": "),
            std::string::npos)
      << error;
}

TEST(SqliteMetadataLog, TheSystemDatabaseFollowsTheEnvironment) {
  auto saved = [](const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
  };
  const std::optional<std::string> db = saved("JOBRUNNER_METADATA_DB");
  const std::optional<std::string> state = saved("XDG_STATE_HOME");
  const std::optional<std::string> home = saved("HOME");

  setenv("JOBRUNNER_METADATA_DB", "/x/own.sqlite", 1);
  setenv("XDG_STATE_HOME", "/state", 1);
  setenv("HOME", "/home/me", 1);
  EXPECT_EQ(SystemMetadataDatabasePath(), "/x/own.sqlite");
  unsetenv("JOBRUNNER_METADATA_DB");
  EXPECT_EQ(SystemMetadataDatabasePath(), "/state/jobrunner/metadata.sqlite");
  setenv("XDG_STATE_HOME", "relative", 1);
  EXPECT_EQ(SystemMetadataDatabasePath(), "/home/me/.local/state/jobrunner/metadata.sqlite");
  unsetenv("XDG_STATE_HOME");
  EXPECT_EQ(SystemMetadataDatabasePath(), "/home/me/.local/state/jobrunner/metadata.sqlite");
  unsetenv("HOME");
  EXPECT_EQ(SystemMetadataDatabasePath(), "");
  std::string error;
  EXPECT_EQ(MakeSystemMetadataLogFactory()->Create(&error), nullptr);
  EXPECT_NE(error.find("no place for the process metadata database"), std::string::npos);

  auto restore = [](const char* name, const std::optional<std::string>& value) {
    if (value) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  };
  restore("JOBRUNNER_METADATA_DB", db);
  restore("XDG_STATE_HOME", state);
  restore("HOME", home);
}

TEST(SqliteMetadataLog, UtcTimeTextIsIsoUtc) {
  EXPECT_EQ(UtcTimeText(std::chrono::system_clock::from_time_t(0)), "1970-01-01T00:00:00Z");
  EXPECT_EQ(UtcTimeText(std::chrono::system_clock::from_time_t(1046873109)),
            "2003-03-05T14:05:09Z");
}

}  // namespace
}  // namespace jr
