#include "store/sqlite_metadata_log.h"

#include <chrono>
#include <cstdio>
#include <mutex>
#include <type_traits>

#include "platform/metadata_location.h"
#include "store/metadata_schema.h"
#include "store/sqlite.h"

namespace jr {
namespace {

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
  static Result<std::shared_ptr<Database>> Open(const std::string& path) {
    if (path.empty()) {
      return Status::Failed("no place for the process metadata database: " +
                            std::string(kNoMetadataPlace));
    }
    std::shared_ptr<Database> database(new Database(path));
    Result<std::shared_ptr<MetadataWriter>> writer = MetadataWriter::Open(path);
    if (!writer.ok()) return writer.status;
    database->writer_ = std::move(writer.value);
    Result<SqliteStatement> insert =
        database->writer_->db().Prepare(InsertSql(), "cannot write to");
    if (!insert.ok()) return database->writer_->db().Failure("cannot open");
    database->insert_ = std::move(insert.value);
    return database;
  }

  Status Insert(const ProcessMetadataLog& entry, const std::vector<MetadataValue>& arguments) {
    if (arguments.size() > static_cast<size_t>(kMetadataArgumentColumns)) {
      return Status::Failed("cannot write to the process metadata database \"" + path_ +
                            "\": " + std::to_string(arguments.size()) + " arguments, at most " +
                            std::to_string(kMetadataArgumentColumns) + " fit");
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (run_id_.empty()) {
      insert_.Null(1);
    } else {
      insert_.Text(1, run_id_);
    }
    insert_.Text(2, UtcText(std::chrono::system_clock::now(), true))
        .Int(3, entry.EntryStatus())
        .Text(4, entry.EntryLogFile())
        .Text(5, UtcText(entry.EntryStart(), false))
        .Text(6, UtcText(entry.EntryStop(), false))
        .Text(7, entry.EntryJobId())
        .Int(8, static_cast<int64_t>(arguments.size()));
    int index = 9;
    for (const MetadataValue& argument : arguments) {
      std::visit(
          [&](const auto& value) {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, int64_t>) {
              insert_.Int(index, value);
            } else if constexpr (std::is_same_v<T, double>) {
              insert_.Real(index, value);
            } else {
              insert_.Text(index, value);
            }
          },
          argument);
      ++index;
    }
    // With the run history's rows of the same scheduler pass, while it holds them.
    return writer_->Write(false, [this] {
      Status written = insert_.Run();
      insert_.Reset();
      return written;
    });
  }

  void SetRunId(std::string_view run_id) {
    std::lock_guard<std::mutex> lock(mutex_);
    run_id_ = run_id;
  }

 private:
  explicit Database(std::string path) : path_(std::move(path)) {}

  std::string path_;
  std::string run_id_;
  // Declared after the writer, so that it is finalized before the connection closes.
  std::shared_ptr<MetadataWriter> writer_;
  SqliteStatement insert_;
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

// One connection per factory, opened on the first Create and shared by its instances (and
// with the run history of the same file, see MetadataWriter): a run logs every job line,
// and opening the file for each would cost more than the write.
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
