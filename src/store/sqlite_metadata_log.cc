#include "store/sqlite_metadata_log.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <type_traits>

#include "platform/metadata_location.h"
#include "store/metadata_schema.h"

namespace jr {
namespace {

// Long enough for any other run's write to finish; a run that still finds the database
// busy after this reports the write as failed rather than hanging.
constexpr int kBusyTimeoutMs = 15000;

constexpr const char* kCreateTable =
    "CREATE TABLE IF NOT EXISTS process_metadata ("
    "id INTEGER PRIMARY KEY, written_at TEXT NOT NULL, entry_status INTEGER NOT NULL, "
    "entry_log_file TEXT NOT NULL, entry_start TEXT NOT NULL, entry_stop TEXT NOT NULL, "
    "entry_job_id TEXT NOT NULL, argument_count INTEGER NOT NULL";

std::string TwoDigits(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02u", value % 100);
  return text;
}

std::string ArgumentColumn(int index) { return "arg" + TwoDigits(static_cast<unsigned>(index)); }

std::string InsertSql() {
  std::string columns =
      "run_id, written_at, entry_status, entry_log_file, entry_start, entry_stop, entry_job_id, "
      "argument_count";
  std::string values = "?, ?, ?, ?, ?, ?, ?, ?";
  for (int i = 1; i <= kMetadataArgumentColumns; ++i) {
    columns += ", " + ArgumentColumn(i);
    values += ", ?";
  }
  return "INSERT INTO process_metadata (" + columns + ") VALUES (" + values + ")";
}

std::string UtcText(TimePoint time, bool with_milliseconds) {
  using namespace std::chrono;
  const auto day = floor<days>(time);
  const year_month_day date(day);
  const hh_mm_ss clock(floor<milliseconds>(time - day));
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()));
  std::string result = text;
  if (with_milliseconds) {
    std::snprintf(text, sizeof text, ".%03d", static_cast<int>(clock.subseconds().count()));
    result += text;
  }
  return result + "Z";
}

class Database {
 public:
  ~Database() {
    sqlite3_finalize(insert_);
    sqlite3_close(db_);
  }

  static Result<std::shared_ptr<Database>> Open(const std::string& path) {
    if (path.empty()) {
      return Status::Failed("no place for the process metadata database: " +
                            std::string(kNoMetadataPlace));
    }
    // The name is UTF-8 on every system (SQLite takes it so too); char8_t text says so to
    // the file system library, which would otherwise read it in Windows' code page.
    const std::filesystem::path folder =
        std::filesystem::path(std::u8string(path.begin(), path.end())).parent_path();
    std::error_code ec;
    if (!folder.empty() && !std::filesystem::is_directory(folder, ec)) {
      std::filesystem::create_directories(folder, ec);
      if (ec) {
        const std::u8string name = folder.u8string();
        return Status::Failed(
            "cannot create the folder \"" + std::string(name.begin(), name.end()) +
            "\" of the process metadata database \"" + path + "\": " + ec.message());
      }
    }
    std::shared_ptr<Database> database(new Database(path));
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
    int rc = sqlite3_open_v2(path.c_str(), &database->db_, flags, nullptr);
    if (rc != SQLITE_OK) return database->Fail("cannot open");
    sqlite3_busy_timeout(database->db_, kBusyTimeoutMs);
    // Write-ahead mode lets runs write side by side. It stays set in the file; when another
    // run is switching it at this moment the switch fails here and the busy timeout still
    // keeps the writers apart, so the result is not checked.
    sqlite3_exec(database->db_, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    sqlite3_exec(database->db_, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
    if (Status schema = EnsureMetadataSchema(database->db_, path); !schema.ok()) return schema;
    rc = sqlite3_prepare_v2(database->db_, InsertSql().c_str(), -1, &database->insert_, nullptr);
    if (rc != SQLITE_OK) return database->Fail("cannot open");
    return database;
  }

  Status Insert(const ProcessMetadataLog& entry, const std::vector<MetadataValue>& arguments) {
    if (arguments.size() > static_cast<size_t>(kMetadataArgumentColumns)) {
      return Status::Failed("cannot write to the process metadata database \"" + path_ +
                            "\": " + std::to_string(arguments.size()) + " arguments, at most " +
                            std::to_string(kMetadataArgumentColumns) + " fit");
    }
    std::lock_guard<std::mutex> lock(mutex_);
    int index = 1;
    if (run_id_.empty()) {
      sqlite3_bind_null(insert_, index++);
    } else {
      BindText(index++, run_id_);
    }
    BindText(index++, UtcText(std::chrono::system_clock::now(), true));
    sqlite3_bind_int64(insert_, index++, entry.EntryStatus());
    BindText(index++, entry.EntryLogFile());
    BindText(index++, UtcText(entry.EntryStart(), false));
    BindText(index++, UtcText(entry.EntryStop(), false));
    BindText(index++, entry.EntryJobId());
    sqlite3_bind_int64(insert_, index++, static_cast<sqlite3_int64>(arguments.size()));
    for (const MetadataValue& argument : arguments) {
      std::visit(
          [&](const auto& value) {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, int64_t>) {
              sqlite3_bind_int64(insert_, index, value);
            } else if constexpr (std::is_same_v<T, double>) {
              sqlite3_bind_double(insert_, index, value);
            } else {
              BindText(index, value);
            }
          },
          argument);
      ++index;
    }
    const int rc = sqlite3_step(insert_);
    std::string cause = rc == SQLITE_DONE ? std::string() : sqlite3_errmsg(db_);
    sqlite3_reset(insert_);
    sqlite3_clear_bindings(insert_);
    if (rc != SQLITE_DONE) {
      return Status::Failed("cannot write to the process metadata database \"" + path_ +
                            "\": " + cause);
    }
    return Status::Ok();
  }

  void SetRunId(std::string_view run_id) {
    std::lock_guard<std::mutex> lock(mutex_);
    run_id_ = run_id;
  }

 private:
  explicit Database(std::string path) : path_(std::move(path)) {}

  Status Fail(const char* what) {
    return Status::Failed(std::string(what) + " the process metadata database \"" + path_ +
                          "\": " + (db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory"));
  }

  void BindText(int index, const std::string& text) {
    sqlite3_bind_text(insert_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  }

  std::string path_;
  std::string run_id_;
  sqlite3* db_ = nullptr;
  sqlite3_stmt* insert_ = nullptr;
  std::mutex mutex_;
};

class SqliteMetadataLog final : public ProcessMetadataLog {
 public:
  explicit SqliteMetadataLog(std::shared_ptr<Database> database) : database_(std::move(database)) {}

  Status WriteEntry(const std::vector<MetadataValue>& arguments) override {
    return database_->Insert(*this, arguments);
  }

 private:
  std::shared_ptr<Database> database_;
};

// One connection per factory, opened on the first Create and shared by its instances: a
// run logs every job line, and opening the file for each would cost more than the write.
class SqliteMetadataLogFactory final : public ProcessMetadataLogFactory {
 public:
  explicit SqliteMetadataLogFactory(std::string path) : path_(std::move(path)) {}

  Result<std::unique_ptr<ProcessMetadataLog>> Create() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!database_) {
      Result<std::shared_ptr<Database>> opened = Database::Open(path_);
      if (!opened.ok()) return opened.status;
      database_ = std::move(opened.value);
    }
    if (!run_id_.empty()) database_->SetRunId(run_id_);
    return std::unique_ptr<ProcessMetadataLog>(std::make_unique<SqliteMetadataLog>(database_));
  }

  void SetRunId(std::string_view run_id) override {
    std::lock_guard<std::mutex> lock(mutex_);
    run_id_ = run_id;
    if (database_) database_->SetRunId(run_id);
  }

 private:
  std::string path_;
  std::string run_id_;
  std::mutex mutex_;
  std::shared_ptr<Database> database_;
};

}  // namespace

std::string CreateProcessMetadataTableSql() {
  std::string sql = kCreateTable;
  for (int i = 1; i <= kMetadataArgumentColumns; ++i) sql += ", " + ArgumentColumn(i);
  return sql + ")";
}

std::string UtcTimeText(TimePoint time) { return UtcText(time, false); }

std::unique_ptr<ProcessMetadataLogFactory> MakeSqliteMetadataLogFactory(std::string path) {
  return std::make_unique<SqliteMetadataLogFactory>(std::move(path));
}

std::unique_ptr<ProcessMetadataLogFactory> MakeSystemMetadataLogFactory() {
  return MakeSqliteMetadataLogFactory(SystemMetadataDatabasePath());
}

}  // namespace jr
