#include "store/run_history.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <map>
#include <system_error>

#include "store/metadata_schema.h"

namespace jr {
namespace {

constexpr int kBusyTimeoutMs = 15000;

// Version 1: the run history and the run id of process_metadata rows.
constexpr const char* kUpgradeTo1 =
    "CREATE TABLE IF NOT EXISTS runs ("
    "run_id TEXT PRIMARY KEY, job_file TEXT NOT NULL, job_sha256 TEXT NOT NULL, "
    "description TEXT NOT NULL, host TEXT NOT NULL, launcher TEXT NOT NULL, "
    "start_ms INTEGER NOT NULL, end_ms INTEGER, status INTEGER, run_folder TEXT NOT NULL, "
    "admin_report TEXT NOT NULL, user_report TEXT NOT NULL, succeeded INTEGER NOT NULL DEFAULT 0, "
    "failed INTEGER NOT NULL DEFAULT 0, skipped INTEGER NOT NULL DEFAULT 0);"
    "CREATE INDEX IF NOT EXISTS runs_by_job ON runs (job_file, start_ms);"
    "CREATE INDEX IF NOT EXISTS runs_by_start ON runs (start_ms);"
    "CREATE TABLE IF NOT EXISTS run_lines ("
    "run_id TEXT NOT NULL, line INTEGER NOT NULL, position INTEGER NOT NULL, seq INTEGER, "
    "description TEXT NOT NULL, start_ms INTEGER, end_ms INTEGER, outcome TEXT NOT NULL, "
    "exit_code INTEGER, repeat_of INTEGER, PRIMARY KEY (run_id, line)) WITHOUT ROWID;"
    "ALTER TABLE process_metadata ADD COLUMN run_id TEXT;"
    "CREATE INDEX IF NOT EXISTS process_metadata_by_run ON process_metadata (run_id);";

// Version 2: a rerun names the run whose failed lines it runs again.
constexpr const char* kUpgradeTo2 = "ALTER TABLE runs ADD COLUMN rerun_of TEXT;";

// The step from version i to i + 1 at index i. A new version adds its step here and raises
// kRunHistorySchemaVersion.
constexpr const char* kUpgrades[] = {kUpgradeTo1, kUpgradeTo2};
static_assert(std::size(kUpgrades) == kRunHistorySchemaVersion);

int64_t Milliseconds(TimePoint time) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
}

TimePoint FromMilliseconds(int64_t ms) {
  return TimePoint(std::chrono::duration_cast<TimePoint::duration>(std::chrono::milliseconds(ms)));
}

// A prepared statement that is finalized when it goes.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) {
    rc_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr);
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool ok() const { return rc_ == SQLITE_OK; }
  Statement& Text(int index, const std::string& text) {
    sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& Null(int index) {
    sqlite3_bind_null(stmt_, index);
    return *this;
  }
  Statement& Int(int index, int64_t value) {
    sqlite3_bind_int64(stmt_, index, value);
    return *this;
  }
  template <typename T>
  Statement& OptionalInt(int index, const std::optional<T>& value) {
    if (value) {
      sqlite3_bind_int64(stmt_, index, static_cast<int64_t>(*value));
    } else {
      sqlite3_bind_null(stmt_, index);
    }
    return *this;
  }
  // SQLITE_ROW, SQLITE_DONE or an error code.
  int Step() { return sqlite3_step(stmt_); }
  void Reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }
  std::string ColumnText(int column) const {
    const unsigned char* text = sqlite3_column_text(stmt_, column);
    return text != nullptr ? reinterpret_cast<const char*>(text) : "";
  }
  int64_t ColumnInt(int column) const { return sqlite3_column_int64(stmt_, column); }
  std::optional<int64_t> ColumnOptional(int column) const {
    if (sqlite3_column_type(stmt_, column) == SQLITE_NULL) return std::nullopt;
    return sqlite3_column_int64(stmt_, column);
  }

 private:
  sqlite3_stmt* stmt_ = nullptr;
  int rc_ = SQLITE_OK;
};

std::filesystem::path NativePath(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

bool HasTable(sqlite3* db, const char* name) {
  Statement query(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?");
  query.Text(1, name);
  return query.ok() && query.Step() == SQLITE_ROW;
}

// The columns ReadRun reads; `rerun_of` is read as NULL from a database written before
// reruns, which a reader does not upgrade.
std::string RunColumns(bool has_rerun_of) {
  return std::string(
             "run_id, job_file, job_sha256, description, host, launcher, run_folder, "
             "admin_report, user_report, start_ms, end_ms, status, succeeded, failed, skipped, ") +
         (has_rerun_of ? "rerun_of" : "NULL");
}

RunSummary ReadRun(const Statement& row) {
  RunSummary run;
  run.run_id = row.ColumnText(0);
  run.job_file = row.ColumnText(1);
  run.job_sha256 = row.ColumnText(2);
  run.description = row.ColumnText(3);
  run.host = row.ColumnText(4);
  run.launcher = row.ColumnText(5);
  run.run_folder = row.ColumnText(6);
  run.admin_report = row.ColumnText(7);
  run.user_report = row.ColumnText(8);
  run.start = FromMilliseconds(row.ColumnInt(9));
  if (std::optional<int64_t> end = row.ColumnOptional(10)) run.end = FromMilliseconds(*end);
  if (std::optional<int64_t> status = row.ColumnOptional(11)) {
    run.status = static_cast<int>(*status);
  }
  run.succeeded = static_cast<int>(row.ColumnInt(12));
  run.failed = static_cast<int>(row.ColumnInt(13));
  run.skipped = static_cast<int>(row.ColumnInt(14));
  run.rerun_of = row.ColumnText(15);
  return run;
}

}  // namespace

std::string IsoUtcText(TimePoint time) {
  using namespace std::chrono;
  const auto day = floor<days>(time);
  const year_month_day date(day);
  const hh_mm_ss clock(floor<seconds>(time - day));
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()));
  return text;
}

Status EnsureMetadataSchema(sqlite3* db, const std::string& path) {
  auto failed = [&](const char* what) {
    const std::string cause = sqlite3_errmsg(db);
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return Status::Failed(std::string(what) + " the process metadata database \"" + path +
                          "\": " + cause);
  };
  // Immediate: the writer lock is taken before the version is read, so that two runners
  // never both upgrade.
  if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
    return failed("cannot open");
  }
  if (sqlite3_exec(db, CreateProcessMetadataTableSql().c_str(), nullptr, nullptr, nullptr) !=
      SQLITE_OK) {
    return failed("cannot open");
  }
  Statement version(db, "PRAGMA user_version");
  if (!version.ok() || version.Step() != SQLITE_ROW) return failed("cannot read");
  const int64_t found = version.ColumnInt(0);
  version.Reset();
  for (int64_t step = std::max<int64_t>(found, 0); step < kRunHistorySchemaVersion; ++step) {
    if (sqlite3_exec(db, kUpgrades[step], nullptr, nullptr, nullptr) != SQLITE_OK) {
      return failed("cannot upgrade");
    }
  }
  if (found < kRunHistorySchemaVersion) {
    const std::string set = "PRAGMA user_version = " + std::to_string(kRunHistorySchemaVersion);
    if (sqlite3_exec(db, set.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
      return failed("cannot upgrade");
    }
  }
  if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
    return failed("cannot upgrade");
  }
  return Status::Ok();
}

struct RunHistory::Connection {
  ~Connection() { sqlite3_close(db); }
  sqlite3* db = nullptr;
  bool has_runs = false;
  bool has_rerun_of = false;
};

RunHistory::RunHistory(std::string path, std::unique_ptr<Connection> connection)
    : path_(std::move(path)), db_(std::move(connection)) {}

RunHistory::~RunHistory() = default;

namespace {

Status Failure(const char* what, const std::string& path, sqlite3* db) {
  return Status::Failed(std::string(what) + " the process metadata database \"" + path +
                        "\": " + (db != nullptr ? sqlite3_errmsg(db) : "out of memory"));
}

}  // namespace

Result<std::unique_ptr<RunHistory>> RunHistory::OpenForWriting(const std::string& path) {
  const std::filesystem::path folder = NativePath(path).parent_path();
  std::error_code ec;
  if (!folder.empty() && !std::filesystem::is_directory(folder, ec)) {
    std::filesystem::create_directories(folder, ec);
    if (ec) {
      return Status::Failed("cannot create the folder of the process metadata database \"" + path +
                            "\": " + ec.message());
    }
  }
  auto connection = std::make_unique<Connection>();
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
  if (sqlite3_open_v2(path.c_str(), &connection->db, flags, nullptr) != SQLITE_OK) {
    return Failure("cannot open", path, connection->db);
  }
  sqlite3_busy_timeout(connection->db, kBusyTimeoutMs);
  sqlite3_exec(connection->db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
  sqlite3_exec(connection->db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
  if (Status schema = EnsureMetadataSchema(connection->db, path); !schema.ok()) return schema;
  connection->has_runs = connection->has_rerun_of = true;
  return std::unique_ptr<RunHistory>(new RunHistory(path, std::move(connection)));
}

Result<std::unique_ptr<RunHistory>> RunHistory::OpenForReading(const std::string& path) {
  std::error_code ec;
  if (path.empty() || !std::filesystem::exists(NativePath(path), ec)) {
    return std::unique_ptr<RunHistory>();
  }
  auto connection = std::make_unique<Connection>();
  if (sqlite3_open_v2(path.c_str(), &connection->db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    return Failure("cannot open", path, connection->db);
  }
  sqlite3_busy_timeout(connection->db, kBusyTimeoutMs);
  // The first read finds out whether the file is a database at all.
  Statement probe(connection->db, "SELECT count(*) FROM sqlite_master");
  if (!probe.ok() || probe.Step() != SQLITE_ROW)
    return Failure("cannot read", path, connection->db);
  connection->has_runs = HasTable(connection->db, "runs");
  connection->has_rerun_of =
      connection->has_runs && Statement(connection->db, "SELECT rerun_of FROM runs").ok();
  return std::unique_ptr<RunHistory>(new RunHistory(path, std::move(connection)));
}

Result<std::string> RunHistory::BeginRun(const RunStart& run) {
  Statement insert(db_->db,
                   "INSERT INTO runs (run_id, job_file, job_sha256, description, host, launcher, "
                   "run_folder, admin_report, user_report, start_ms, rerun_of) "
                   "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  if (!insert.ok()) return Failure("cannot write to", path_, db_->db);
  // Two runs that share the second and the run name still get ids of their own.
  for (int suffix = 1; suffix < 1000; ++suffix) {
    const std::string id = suffix == 1 ? run.run_id : run.run_id + "-" + std::to_string(suffix);
    insert.Text(1, id)
        .Text(2, run.job_file)
        .Text(3, run.job_sha256)
        .Text(4, run.description)
        .Text(5, run.host)
        .Text(6, run.launcher)
        .Text(7, run.run_folder)
        .Text(8, run.admin_report)
        .Text(9, run.user_report)
        .Int(10, Milliseconds(run.start));
    if (run.rerun_of.empty()) {
      insert.Null(11);
    } else {
      insert.Text(11, run.rerun_of);
    }
    const int rc = insert.Step();
    insert.Reset();
    if (rc == SQLITE_DONE) return id;
    if (sqlite3_extended_errcode(db_->db) != SQLITE_CONSTRAINT_PRIMARYKEY) break;
  }
  return Failure("cannot write to", path_, db_->db);
}

Status RunHistory::WriteLines(const std::string& run_id, const std::vector<RunLineRecord>& lines) {
  if (sqlite3_exec(db_->db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
    return Failure("cannot write to", path_, db_->db);
  }
  Statement insert(db_->db,
                   "INSERT OR REPLACE INTO run_lines (run_id, line, position, seq, description, "
                   "start_ms, end_ms, outcome, exit_code, repeat_of) "
                   "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  bool written = insert.ok();
  for (size_t i = 0; written && i < lines.size(); ++i) {
    const RunLineRecord& line = lines[i];
    std::optional<int64_t> start, end;
    if (line.start) start = Milliseconds(*line.start);
    if (line.end) end = Milliseconds(*line.end);
    insert.Text(1, run_id)
        .Int(2, line.line)
        .Int(3, line.position)
        .OptionalInt(4, line.seq)
        .Text(5, line.description)
        .OptionalInt(6, start)
        .OptionalInt(7, end)
        .Text(8, line.outcome)
        .OptionalInt(9, line.exit_code)
        .OptionalInt(10, line.repeat_of);
    written = insert.Step() == SQLITE_DONE;
    insert.Reset();
  }
  if (!written) {
    Status failure = Failure("cannot write to", path_, db_->db);
    sqlite3_exec(db_->db, "ROLLBACK", nullptr, nullptr, nullptr);
    return failure;
  }
  if (sqlite3_exec(db_->db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
    Status failure = Failure("cannot write to", path_, db_->db);
    sqlite3_exec(db_->db, "ROLLBACK", nullptr, nullptr, nullptr);
    return failure;
  }
  return Status::Ok();
}

Status RunHistory::EndRun(const std::string& run_id, const RunEnd& end) {
  Statement update(db_->db,
                   "UPDATE runs SET end_ms = ?, status = ?, succeeded = ?, failed = ?, "
                   "skipped = ? WHERE run_id = ?");
  if (!update.ok()) return Failure("cannot write to", path_, db_->db);
  update.Int(1, Milliseconds(end.end))
      .Int(2, end.status)
      .Int(3, end.succeeded)
      .Int(4, end.failed)
      .Int(5, end.skipped)
      .Text(6, run_id);
  if (update.Step() != SQLITE_DONE) return Failure("cannot write to", path_, db_->db);
  return Status::Ok();
}

namespace {

// Adds the failed line numbers of each run, in one query over the runs' line rows.
Status AddFailedLines(sqlite3* db, const std::string& path, std::vector<RunSummary>& runs) {
  if (runs.empty()) return Status::Ok();
  std::string sql = "SELECT run_id, line FROM run_lines WHERE outcome = 'failed' AND run_id IN (";
  for (size_t i = 0; i < runs.size(); ++i) sql += i ? ", ?" : "?";
  sql += ") ORDER BY run_id, line";
  Statement query(db, sql.c_str());
  if (!query.ok()) return Failure("cannot read", path, db);
  std::map<std::string, RunSummary*> by_id;
  for (size_t i = 0; i < runs.size(); ++i) {
    query.Text(static_cast<int>(i + 1), runs[i].run_id);
    by_id[runs[i].run_id] = &runs[i];
  }
  int rc;
  while ((rc = query.Step()) == SQLITE_ROW) {
    by_id[query.ColumnText(0)]->failed_lines.push_back(static_cast<int32_t>(query.ColumnInt(1)));
  }
  if (rc != SQLITE_DONE) return Failure("cannot read", path, db);
  return Status::Ok();
}

}  // namespace

Result<std::vector<RunSummary>> RunHistory::RecentRuns(const std::string& job_file, int limit) {
  std::vector<RunSummary> runs;
  if (!db_->has_runs) return runs;
  const std::string sql = "SELECT " + RunColumns(db_->has_rerun_of) +
                          " FROM runs WHERE job_file = ? ORDER BY start_ms DESC, rowid DESC "
                          "LIMIT ?";
  Statement query(db_->db, sql.c_str());
  if (!query.ok()) return Failure("cannot read", path_, db_->db);
  query.Text(1, job_file).Int(2, limit);
  int rc;
  while ((rc = query.Step()) == SQLITE_ROW) runs.push_back(ReadRun(query));
  if (rc != SQLITE_DONE) return Failure("cannot read", path_, db_->db);
  if (Status added = AddFailedLines(db_->db, path_, runs); !added.ok()) return added;
  return runs;
}

Result<std::optional<RunSummary>> RunHistory::FindRun(const std::string& job_file,
                                                      const std::string& run_id) {
  if (!db_->has_runs) return std::optional<RunSummary>();
  const std::string sql =
      "SELECT " + RunColumns(db_->has_rerun_of) + " FROM runs WHERE job_file = ? AND run_id = ?";
  Statement query(db_->db, sql.c_str());
  if (!query.ok()) return Failure("cannot read", path_, db_->db);
  query.Text(1, job_file).Text(2, run_id);
  const int rc = query.Step();
  if (rc == SQLITE_DONE) return std::optional<RunSummary>();
  if (rc != SQLITE_ROW) return Failure("cannot read", path_, db_->db);
  std::vector<RunSummary> found{ReadRun(query)};
  if (Status added = AddFailedLines(db_->db, path_, found); !added.ok()) return added;
  return std::optional<RunSummary>(std::move(found.front()));
}

Result<std::vector<std::vector<RunLineRecord>>> RunHistory::Lines(
    const std::vector<std::string>& run_ids) {
  std::vector<std::vector<RunLineRecord>> result(run_ids.size());
  if (!db_->has_runs) return result;
  Statement query(db_->db,
                  "SELECT line, position, seq, description, start_ms, end_ms, outcome, "
                  "exit_code, repeat_of FROM run_lines WHERE run_id = ? "
                  "ORDER BY seq IS NULL, seq, position");
  if (!query.ok()) return Failure("cannot read", path_, db_->db);
  for (size_t i = 0; i < run_ids.size(); ++i) {
    query.Text(1, run_ids[i]);
    int rc;
    while ((rc = query.Step()) == SQLITE_ROW) {
      RunLineRecord line;
      line.line = static_cast<int32_t>(query.ColumnInt(0));
      line.position = static_cast<int32_t>(query.ColumnInt(1));
      if (auto seq = query.ColumnOptional(2)) line.seq = static_cast<int32_t>(*seq);
      line.description = query.ColumnText(3);
      if (auto start = query.ColumnOptional(4)) line.start = FromMilliseconds(*start);
      if (auto end = query.ColumnOptional(5)) line.end = FromMilliseconds(*end);
      line.outcome = query.ColumnText(6);
      line.exit_code = query.ColumnOptional(7);
      if (auto of = query.ColumnOptional(8)) line.repeat_of = static_cast<int32_t>(*of);
      result[i].push_back(std::move(line));
    }
    query.Reset();
    if (rc != SQLITE_DONE) return Failure("cannot read", path_, db_->db);
  }
  return result;
}

Result<int> RunHistory::PruneBefore(TimePoint cutoff) {
  if (!db_->has_runs) return 0;
  sqlite3* db = db_->db;
  if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
    return Failure("cannot write to", path_, db);
  }
  const char* const deletes[] = {
      "DELETE FROM process_metadata WHERE run_id IN (SELECT run_id FROM runs WHERE start_ms < ?)",
      "DELETE FROM run_lines WHERE run_id IN (SELECT run_id FROM runs WHERE start_ms < ?)",
      "DELETE FROM runs WHERE start_ms < ?"};
  int removed = 0;
  for (const char* sql : deletes) {
    Statement remove(db, sql);
    if (!remove.ok() || remove.Int(1, Milliseconds(cutoff)).Step() != SQLITE_DONE) {
      Status failure = Failure("cannot write to", path_, db);
      sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
      return failure;
    }
    removed = sqlite3_changes(db);
  }
  if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
    Status failure = Failure("cannot write to", path_, db);
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return failure;
  }
  return removed;
}

}  // namespace jr
