#include "store/run_history.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iterator>
#include <map>
#include <system_error>
#include <thread>
#include <tuple>

#include "store/metadata_schema.h"
#include "store/sqlite_metadata_log.h"
#include "platform/utf8.h"

namespace jr {
namespace {

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

// Version 3: a line's program's own exit status beside the status-file verdict.
constexpr const char* kUpgradeTo3 = "ALTER TABLE run_lines ADD COLUMN exit_status INTEGER;";

// Version 4: the end a run's runner foresees while the run goes on; the lower-bound flag is
// NULL while the runner keeps none.
constexpr const char* kUpgradeTo4 =
    "ALTER TABLE runs ADD COLUMN expected_end_ms INTEGER;"
    "ALTER TABLE runs ADD COLUMN expected_end_lower_bound INTEGER;";

// The step from version i to i + 1 at index i. A new version adds its step here and raises
// kRunHistorySchemaVersion.
constexpr const char* kUpgrades[] = {kUpgradeTo1, kUpgradeTo2, kUpgradeTo3, kUpgradeTo4};
static_assert(std::size(kUpgrades) == kRunHistorySchemaVersion);

int64_t Milliseconds(TimePoint time) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
}

// The columns ReadRun reads; what a database written before them lacks is read as NULL,
// as a reader does not upgrade it.
std::string RunColumns(bool has_rerun_of, bool has_expected_end) {
  return std::string(
             "run_id, job_file, job_sha256, description, host, launcher, run_folder, "
             "admin_report, user_report, start_ms, end_ms, status, succeeded, failed, skipped, ") +
         (has_rerun_of ? "rerun_of" : "NULL") +
         (has_expected_end ? ", expected_end_ms, expected_end_lower_bound" : ", NULL, NULL");
}

RunSummary ReadRun(const SqliteStatement& row) {
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
  run.start = TimeOfMilliseconds(row.ColumnInt(9));
  if (std::optional<int64_t> end = row.ColumnOptional(10)) run.end = TimeOfMilliseconds(*end);
  if (std::optional<int64_t> status = row.ColumnOptional(11)) {
    run.status = RunStatusOfNumber(*status);
  }
  run.succeeded = static_cast<int>(row.ColumnInt(12));
  run.failed = static_cast<int>(row.ColumnInt(13));
  run.skipped = static_cast<int>(row.ColumnInt(14));
  run.rerun_of = row.ColumnText(15);
  if (std::optional<int64_t> lower_bound = row.ColumnOptional(17)) {
    run.expected_end = ExpectedEnd{std::nullopt, *lower_bound != 0};
    if (std::optional<int64_t> end = row.ColumnOptional(16)) {
      run.expected_end->end = TimeOfMilliseconds(*end);
    }
  }
  return run;
}

// Creates what is missing and upgrades the schema, inside the caller's transaction.
Status UpgradeSchema(SqliteConnection& db) {
  if (Status created = db.Exec(CreateProcessMetadataTableSql(), "cannot open"); !created.ok()) {
    return created;
  }
  Result<SqliteStatement> version = db.Prepare("PRAGMA user_version", "cannot read");
  if (!version.ok()) return version.status;
  Result<bool> row = version.value.Step();
  if (!row.ok()) return row.status;
  const int64_t found = row.value ? version.value.ColumnInt(0) : 0;
  version.value.Reset();
  for (int64_t step = std::max<int64_t>(found, 0); step < kRunHistorySchemaVersion; ++step) {
    if (Status upgraded = db.Exec(kUpgrades[step], "cannot upgrade"); !upgraded.ok()) {
      return upgraded;
    }
  }
  if (found >= kRunHistorySchemaVersion) return Status::Ok();
  return db.Exec("PRAGMA user_version = " + std::to_string(kRunHistorySchemaVersion),
                 "cannot upgrade");
}

}  // namespace

std::string IsoUtcText(TimePoint time) { return UtcTimeText(time); }

int RunStatusNumber(RunStatus status) {
  switch (status) {
    case RunStatus::kNoErrors:
      return 0;
    case RunStatus::kErrors:
      return 1;
    case RunStatus::kRefused:
      return 5;
    case RunStatus::kInterrupted:
      return 6;
    case RunStatus::kDayOff:
      return 7;
    case RunStatus::kFatal:
    case RunStatus::kUnknown:
      break;
  }
  return 2;
}

RunStatus RunStatusOfNumber(int64_t number) {
  for (RunStatus status : {RunStatus::kNoErrors, RunStatus::kErrors, RunStatus::kFatal,
                           RunStatus::kRefused, RunStatus::kInterrupted, RunStatus::kDayOff}) {
    if (number == RunStatusNumber(status)) return status;
  }
  return RunStatus::kUnknown;
}

bool StartedNothing(const std::optional<RunStatus>& status) {
  return status == RunStatus::kRefused || status == RunStatus::kDayOff;
}

const char* RunOutcomeWord(const std::optional<RunStatus>& status) {
  if (!status) return "interrupted";
  switch (*status) {
    case RunStatus::kInterrupted:
      return "interrupted";
    case RunStatus::kNoErrors:
      return "ok";
    case RunStatus::kErrors:
      return "errors";
    case RunStatus::kFatal:
      return "fatal";
    case RunStatus::kRefused:
      return "refused";
    case RunStatus::kDayOff:
      return "day off";
    case RunStatus::kUnknown:
      break;
  }
  return "unknown";
}

const char* LineOutcomeWord(LineOutcome outcome) {
  switch (outcome) {
    case LineOutcome::kOk:
      return "ok";
    case LineOutcome::kFailed:
      return "failed";
    case LineOutcome::kSkipped:
      return "skipped";
    case LineOutcome::kNotRun:
      return "not run";
    case LineOutcome::kOver:
      return "over";
    case LineOutcome::kInterrupted:
      return "interrupted";
    case LineOutcome::kUnknown:
      break;
  }
  return "unknown";
}

LineOutcome LineOutcomeOfWord(std::string_view word) {
  for (LineOutcome outcome :
       {LineOutcome::kOk, LineOutcome::kFailed, LineOutcome::kSkipped, LineOutcome::kNotRun,
        LineOutcome::kOver, LineOutcome::kInterrupted}) {
    if (word == LineOutcomeWord(outcome)) return outcome;
  }
  return LineOutcome::kUnknown;
}

Status EnsureMetadataSchema(SqliteConnection& db) {
  // Immediate: the writer lock is taken before the version is read, so that two runners
  // never both upgrade.
  if (Status begun = db.BeginWrite("cannot open"); !begun.ok()) return begun;
  if (Status upgraded = UpgradeSchema(db); !upgraded.ok()) {
    db.Rollback();
    return upgraded;
  }
  return db.Commit("cannot upgrade");
}

Result<std::shared_ptr<MetadataWriter>> MetadataWriter::Open(const std::string& path) {
  // By the file the name leads to, so that two spellings of one name share the writer too.
  std::error_code ec;
  const std::filesystem::path native = NativePath(path);
  std::filesystem::path key = std::filesystem::weakly_canonical(native, ec);
  if (ec) key = native;
  static std::mutex open_mutex;
  static std::map<std::filesystem::path, std::weak_ptr<MetadataWriter>> open;
  std::lock_guard<std::mutex> lock(open_mutex);
  if (std::shared_ptr<MetadataWriter> writer = open[key].lock()) return writer;
  Result<SqliteConnection> opened = SqliteConnection::OpenForWriting(path);
  if (!opened.ok()) return opened.status;
  if (Status schema = EnsureMetadataSchema(opened.value); !schema.ok()) return schema;
  std::shared_ptr<MetadataWriter> writer(new MetadataWriter(std::move(opened.value)));
  for (auto [statement, sql] :
       {std::pair{&writer->begin_, "BEGIN IMMEDIATE"}, std::pair{&writer->commit_, "COMMIT"}}) {
    Result<SqliteStatement> prepared = writer->db_.Prepare(sql, "cannot write to");
    if (!prepared.ok()) return prepared.status;
    *statement = std::move(prepared.value);
  }
  // The writer syncs the log itself after each commit that must outlast a power loss, so
  // that a commit made only to let other writers in costs no wait for the disk.
  if (Status normal = writer->db_.Exec("PRAGMA synchronous=NORMAL", "cannot open");
      !normal.ok()) {
    return normal;
  }
  // A runner's commits come between its job lines; the log is copied elsewhere.
  writer->checkpoint_ = BackgroundCheckpoint::Start(writer->db_);
  open[key] = writer;
  return writer;
}

Status MetadataWriter::Begin() {
  Status begun = begin_.Run();
  begin_.Reset();
  return begun;
}

Status MetadataWriter::Commit(Durability durability) {
  Status committed = commit_.Run();
  commit_.Reset();
  if (!committed.ok()) {
    db_.Rollback();
    return committed;
  }
  unsynced_ = true;
  return Sync(durability);
}

Status MetadataWriter::Sync(Durability durability) {
  if (durability == Durability::kCommitted || !unsynced_) return Status::Ok();
  unsynced_ = false;
  if (durability == Durability::kSyncing) {
    // Started when first needed: most writers of a process never ask for it.
    if (!syncer_) syncer_ = LogSyncer::Start(db_.path());
    if (syncer_) {
      syncer_->Ask();
      syncing_ = true;
      return Status::Ok();
    }
  }
  return db_.SyncLog("cannot write to");
}

Status MetadataWriter::AwaitDisk() {
  LogSyncer* syncer = nullptr;
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!syncing_) return Status::Ok();
    syncing_ = false;
    syncer = syncer_.get();
  }
  // The writer stays free for other threads meanwhile; the syncer goes only with it.
  return syncer->Wait();
}

Status MetadataWriter::Write(bool transaction, const std::function<Status()>& write) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (holds_ > 0) {
    if (!db_.InTransaction()) {
      if (Status begun = Begin(); !begun.ok()) return begun;
    }
    return write();
  }
  if (!transaction) {
    Status written = write();
    if (!written.ok()) return written;
    unsynced_ = false;
    return db_.SyncLog("cannot write to");
  }
  if (Status begun = Begin(); !begun.ok()) return begun;
  if (Status written = write(); !written.ok()) {
    db_.Rollback();
    return written;
  }
  return Commit(Durability::kOnDisk);
}

void MetadataWriter::Hold() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ++holds_;
}

Status MetadataWriter::Flush(bool release, Durability durability) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (release && holds_ > 0) --holds_;
  if (db_.InTransaction()) return Commit(durability);
  // A commit that did not wait for the disk is taken there by the next one that must.
  if (durability != Durability::kOnDisk) return Sync(durability);
  if (Status synced = Sync(durability); !synced.ok()) return synced;
  return AwaitDisk();
}

struct RunHistory::Connection {
  // The shared writer of a history opened for writing, else a connection of its own.
  std::shared_ptr<MetadataWriter> writer;
  SqliteConnection reader;
  SqliteConnection& db() { return writer ? writer->db() : reader; }
  // A write through the shared writer (see MetadataWriter::Write); on a reader it runs as it
  // is, and fails.
  Status Write(bool transaction, const std::function<Status()>& write) {
    return writer ? writer->Write(transaction, write) : write();
  }
  // Prepared once: a run writes line rows at every start and end.
  SqliteStatement write_lines;
  bool has_runs = false;
  bool has_rerun_of = false;
  bool has_exit_status = false;
  bool has_expected_end = false;
  std::string RunColumns() const { return jr::RunColumns(has_rerun_of, has_expected_end); }
};

RunHistory::RunHistory(std::string path, std::unique_ptr<Connection> connection)
    : path_(std::move(path)), db_(std::move(connection)) {}

RunHistory::~RunHistory() {
  if (holding_) static_cast<void>(Flush(true));
}

Result<std::unique_ptr<RunHistory>> RunHistory::OpenForWriting(const std::string& path) {
  Result<std::shared_ptr<MetadataWriter>> writer = MetadataWriter::Open(path);
  if (!writer.ok()) return writer.status;
  auto connection = std::make_unique<Connection>();
  connection->writer = std::move(writer.value);
  connection->has_runs = connection->has_rerun_of = connection->has_exit_status =
      connection->has_expected_end = true;
  return std::unique_ptr<RunHistory>(new RunHistory(path, std::move(connection)));
}

void RunHistory::HoldWrites() {
  if (holding_ || !db_->writer) return;
  db_->writer->Hold();
  holding_ = true;
}

Status RunHistory::Flush(bool release, Durability durability) {
  if (!db_->writer) return Status::Ok();
  if (release && !holding_) release = false;
  if (release) holding_ = false;
  return db_->writer->Flush(release, durability);
}

Status RunHistory::AwaitDisk() { return db_->writer ? db_->writer->AwaitDisk() : Status::Ok(); }

Result<std::unique_ptr<RunHistory>> RunHistory::OpenForReading(const std::string& path) {
  std::error_code ec;
  if (path.empty() || !std::filesystem::exists(NativePath(path), ec)) {
    return std::unique_ptr<RunHistory>();
  }
  Result<SqliteConnection> opened = SqliteConnection::OpenReadOnly(path);
  if (!opened.ok()) return opened.status;
  auto connection = std::make_unique<Connection>();
  connection->reader = std::move(opened.value);
  // An older database is read as it is, which a reader does not upgrade: what it lacks
  // reads as NULL.
  Result<bool> runs = connection->reader.HasTable("runs");
  if (!runs.ok()) return runs.status;
  if (runs.value) {
    Result<bool> rerun_of = connection->reader.HasColumn("runs", "rerun_of");
    if (!rerun_of.ok()) return rerun_of.status;
    Result<bool> exit_status = connection->reader.HasColumn("run_lines", "exit_status");
    if (!exit_status.ok()) return exit_status.status;
    Result<bool> expected_end = connection->reader.HasColumn("runs", "expected_end_ms");
    if (!expected_end.ok()) return expected_end.status;
    connection->has_runs = true;
    connection->has_rerun_of = rerun_of.value;
    connection->has_exit_status = exit_status.value;
    connection->has_expected_end = expected_end.value;
  }
  return std::unique_ptr<RunHistory>(new RunHistory(path, std::move(connection)));
}

Result<std::string> RunHistory::BeginRun(const RunStart& run) {
  std::string id;
  const Status inserted = db_->Write(false, [&]() -> Status {
    Result<SqliteStatement> insert = db_->db().Prepare(
        "INSERT INTO runs (run_id, job_file, job_sha256, description, host, "
        "launcher, run_folder, admin_report, user_report, start_ms, rerun_of) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
        "cannot write to");
    if (!insert.ok()) return insert.status;
    SqliteStatement& row = insert.value;
    // Two runs that share the second and the run name still get ids of their own.
    Status done;
    for (int suffix = 1; suffix < 1000; ++suffix) {
      id = suffix == 1 ? run.run_id : run.run_id + "-" + std::to_string(suffix);
      row.Text(1, id)
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
        row.Null(11);
      } else {
        row.Text(11, run.rerun_of);
      }
      done = row.Run();
      row.Reset();
      if (done.ok() || row.FailureCode() != SQLITE_CONSTRAINT_PRIMARYKEY) break;
    }
    return done;
  });
  if (!inserted.ok()) return inserted;
  return id;
}

Status RunHistory::WriteLines(const std::string& run_id, const std::vector<RunLineRecord>& lines) {
  return db_->Write(true, [&]() -> Status {
    SqliteStatement& insert = db_->write_lines;
    if (!insert.Prepared()) {
      Result<SqliteStatement> prepared = db_->db().Prepare(
          "INSERT OR REPLACE INTO run_lines (run_id, line, position, seq, description, start_ms, "
          "end_ms, outcome, exit_code, repeat_of, exit_status) "
          "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
          "cannot write to");
      if (!prepared.ok()) return prepared.status;
      insert = std::move(prepared.value);
    }
    Status written;
    for (size_t i = 0; written.ok() && i < lines.size(); ++i) {
      const RunLineRecord& line = lines[i];
      std::optional<int64_t> start, end;
      if (line.start) start = Milliseconds(*line.start);
      if (line.end) end = Milliseconds(*line.end);
      written = insert.Text(1, run_id)
                    .Int(2, line.line)
                    .Int(3, line.position)
                    .OptionalInt(4, line.seq)
                    .Text(5, line.description)
                    .OptionalInt(6, start)
                    .OptionalInt(7, end)
                    .Text(8, LineOutcomeWord(line.outcome))
                    .OptionalInt(9, line.exit_code)
                    .OptionalInt(10, line.repeat_of)
                    .OptionalInt(11, line.exit_status)
                    .Run();
      insert.Reset();
    }
    return written;
  });
}

Status RunHistory::EndRun(const std::string& run_id, const RunEnd& end) {
  return db_->Write(false, [&]() -> Status {
    Result<SqliteStatement> update = db_->db().Prepare(
        "UPDATE runs SET end_ms = ?, status = ?, succeeded = ?, failed = ?, "
        "skipped = ? WHERE run_id = ?",
        "cannot write to");
    if (!update.ok()) return update.status;
    return update.value.Int(1, Milliseconds(end.end))
        .Int(2, RunStatusNumber(end.status))
        .Int(3, end.succeeded)
        .Int(4, end.failed)
        .Int(5, end.skipped)
        .Text(6, run_id)
        .Run();
  });
}

Status RunHistory::KeepExpectedEnd(const std::string& run_id, const ExpectedEnd& expected) {
  return db_->Write(false, [&]() -> Status {
    Result<SqliteStatement> update = db_->db().Prepare(
        "UPDATE runs SET expected_end_ms = ?, expected_end_lower_bound = ? WHERE run_id = ?",
        "cannot write to");
    if (!update.ok()) return update.status;
    const std::optional<int64_t> end =
        expected.end ? std::optional(Milliseconds(*expected.end)) : std::nullopt;
    return update.value.OptionalInt(1, end)
        .Int(2, expected.lower_bound ? 1 : 0)
        .Text(3, run_id)
        .Run();
  });
}

Result<bool> RunHistory::MarkInterrupted(const std::string& run_id, TimePoint end) {
  bool marked = false;
  const Status done = db_->Write(true, [&]() -> Status {
    // The lines first, as long as the run has no end: its counts are taken from them.
    Result<SqliteStatement> lines = db_->db().Prepare(
        "UPDATE run_lines SET outcome = ? WHERE run_id = ? AND start_ms IS NOT NULL AND "
        "end_ms IS NULL AND run_id IN (SELECT run_id FROM runs WHERE end_ms IS NULL)",
        "cannot write to");
    if (!lines.ok()) return lines.status;
    lines.value.Text(1, LineOutcomeWord(LineOutcome::kInterrupted)).Text(2, run_id);
    if (Status run = lines.value.Run(); !run.ok()) return run;
    const std::string count =
        "(SELECT COUNT(*) FROM run_lines WHERE run_lines.run_id = "
        "runs.run_id AND outcome = ?)";
    Result<SqliteStatement> run = db_->db().Prepare(
        "UPDATE runs SET end_ms = ?, status = ?, succeeded = " + count + ", failed = " + count +
            ", skipped = " + count + " WHERE run_id = ? AND end_ms IS NULL",
        "cannot write to");
    if (!run.ok()) return run.status;
    run.value.Int(1, Milliseconds(end))
        .Int(2, RunStatusNumber(RunStatus::kInterrupted))
        .Text(3, LineOutcomeWord(LineOutcome::kOk))
        .Text(4, LineOutcomeWord(LineOutcome::kFailed))
        .Text(5, LineOutcomeWord(LineOutcome::kSkipped))
        .Text(6, run_id);
    if (Status ended = run.value.Run(); !ended.ok()) return ended;
    marked = db_->db().Changes() > 0;
    return Status::Ok();
  });
  if (!done.ok()) return done;
  return marked;
}

namespace {

// Adds the failed line numbers of each run, in one query over the runs' line rows.
Status AddFailedLines(SqliteConnection& db, std::vector<RunSummary>& runs) {
  if (runs.empty()) return Status::Ok();
  std::string sql = std::string("SELECT run_id, line FROM run_lines WHERE outcome = '") +
                    LineOutcomeWord(LineOutcome::kFailed) + "' AND run_id IN (";
  for (size_t i = 0; i < runs.size(); ++i) sql += i ? ", ?" : "?";
  sql += ") ORDER BY run_id, line";
  Result<SqliteStatement> query = db.Prepare(sql, "cannot read");
  if (!query.ok()) return query.status;
  std::map<std::string, RunSummary*> by_id;
  for (size_t i = 0; i < runs.size(); ++i) {
    query.value.Text(static_cast<int>(i + 1), runs[i].run_id);
    by_id[runs[i].run_id] = &runs[i];
  }
  Result<bool> row;
  while ((row = query.value.Step()).value) {
    by_id[query.value.ColumnText(0)]->failed_lines.push_back(
        static_cast<int32_t>(query.value.ColumnInt(1)));
  }
  return row.status;
}

// The runs that `query` gives, with their failed lines.
Result<std::vector<RunSummary>> ReadRuns(SqliteConnection& db, SqliteStatement& query) {
  std::vector<RunSummary> runs;
  Result<bool> row;
  while ((row = query.Step()).value) runs.push_back(ReadRun(query));
  if (!row.ok()) return row.status;
  if (Status added = AddFailedLines(db, runs); !added.ok()) return added;
  return runs;
}

}  // namespace

Result<std::vector<RunSummary>> RunHistory::RecentRuns(const std::string& job_file, int limit) {
  if (!db_->has_runs) return std::vector<RunSummary>();
  Result<SqliteStatement> query = db_->db().Prepare(
      "SELECT " + db_->RunColumns() +
          " FROM runs WHERE job_file = ? ORDER BY start_ms DESC, rowid DESC LIMIT ?",
      "cannot read");
  if (!query.ok()) return query.status;
  query.value.Text(1, job_file).Int(2, limit);
  return ReadRuns(db_->db(), query.value);
}

Result<std::optional<RunSummary>> RunHistory::FindRun(const std::string& job_file,
                                                      const std::string& run_id) {
  if (!db_->has_runs) return std::optional<RunSummary>();
  Result<SqliteStatement> query = db_->db().Prepare(
      "SELECT " + db_->RunColumns() + " FROM runs WHERE job_file = ? AND run_id = ?",
      "cannot read");
  if (!query.ok()) return query.status;
  query.value.Text(1, job_file).Text(2, run_id);
  Result<std::vector<RunSummary>> found = ReadRuns(db_->db(), query.value);
  if (!found.ok()) return found.status;
  if (found.value.empty()) return std::optional<RunSummary>();
  return std::optional<RunSummary>(std::move(found.value.front()));
}

Result<std::vector<RunSummary>> RunHistory::RunsWithoutEnd(
    const std::optional<std::string>& job_file) {
  if (!db_->has_runs) return std::vector<RunSummary>();
  Result<SqliteStatement> query = db_->db().Prepare(
      "SELECT " + db_->RunColumns() + " FROM runs WHERE end_ms IS NULL" +
          (job_file ? " AND job_file = ?" : "") + " ORDER BY start_ms DESC, rowid DESC",
      "cannot read");
  if (!query.ok()) return query.status;
  if (job_file) query.value.Text(1, *job_file);
  return ReadRuns(db_->db(), query.value);
}

Result<std::vector<std::string>> RunHistory::JobFiles() {
  std::vector<std::string> files;
  if (!db_->has_runs) return files;
  Result<SqliteStatement> query =
      db_->db().Prepare("SELECT DISTINCT job_file FROM runs ORDER BY job_file", "cannot read");
  if (!query.ok()) return query.status;
  Result<bool> found;
  while ((found = query.value.Step()).value) files.push_back(query.value.ColumnText(0));
  if (!found.ok()) return found.status;
  return files;
}

Result<std::vector<std::vector<RunLineRecord>>> RunHistory::Lines(
    const std::vector<std::string>& run_ids, RowDetail detail) {
  std::vector<std::vector<RunLineRecord>> result(run_ids.size());
  if (!db_->has_runs) return result;
  const bool whole = detail == RowDetail::kWhole;
  Result<SqliteStatement> query = db_->db().Prepare(
      std::string("SELECT line, position, seq, ") + (whole ? "description" : "''") +
          ", start_ms, end_ms, outcome, exit_code, repeat_of, " +
          (db_->has_exit_status ? "exit_status" : "NULL") + " FROM run_lines WHERE run_id = ?",
      "cannot read");
  if (!query.ok()) return query.status;
  // A run of many thousand lines would have its rows moved again at every growth of their
  // vector: they are counted first, which reads only what the query reads anyway.
  Result<SqliteStatement> count =
      db_->db().Prepare("SELECT count(*) FROM run_lines WHERE run_id = ?", "cannot read");
  if (!count.ok()) return count.status;
  SqliteStatement& row = query.value;
  for (size_t i = 0; i < run_ids.size(); ++i) {
    count.value.Text(1, run_ids[i]);
    if (Result<bool> counted = count.value.Step(); counted.ok() && counted.value) {
      result[i].reserve(static_cast<size_t>(count.value.ColumnInt(0)));
    }
    count.value.Reset();
    row.Text(1, run_ids[i]);
    Result<bool> found;
    while ((found = row.Step()).value) {
      RunLineRecord line;
      line.line = static_cast<int32_t>(row.ColumnInt(0));
      line.position = static_cast<int32_t>(row.ColumnInt(1));
      if (auto seq = row.ColumnOptional(2)) line.seq = static_cast<int32_t>(*seq);
      line.description = row.ColumnText(3);
      if (auto start = row.ColumnOptional(4)) line.start = TimeOfMilliseconds(*start);
      if (auto end = row.ColumnOptional(5)) line.end = TimeOfMilliseconds(*end);
      line.outcome = LineOutcomeOfWord(row.ColumnText(6));
      line.exit_code = row.ColumnOptional(7);
      if (auto of = row.ColumnOptional(8)) line.repeat_of = static_cast<int32_t>(*of);
      if (auto status = row.ColumnOptional(9)) line.exit_status = static_cast<int>(*status);
      result[i].push_back(std::move(line));
    }
    row.Reset();
    if (!found.ok()) return found.status;
    if (!whole) continue;
    // In the order they started, then the others by position: sorted here, as the table
    // keeps them by number and sorting a run's rows in the query costs several times more.
    std::sort(result[i].begin(), result[i].end(),
              [](const RunLineRecord& a, const RunLineRecord& b) {
                return std::tuple(!a.seq, a.seq.value_or(0), a.position) <
                       std::tuple(!b.seq, b.seq.value_or(0), b.position);
              });
  }
  return result;
}

Result<int> RunHistory::PruneBefore(TimePoint cutoff, const std::optional<std::string>& job_file,
                                    const PruneBatch& batch) {
  if (!db_->has_runs) return 0;
  // A job is its file's name in `runs`, as RecentRuns finds it. The oldest runs go first, a
  // few at a time and their rows at most `batch.rows` a transaction, each transaction
  // followed by a pause as long as it took: a run that commits meanwhile waits for one short
  // transaction, never for the whole prune. A prune cut short leaves whole runs, or an old
  // run with fewer rows that the next prune takes.
  Result<SqliteStatement> oldest = db_->db().Prepare(
      std::string("SELECT run_id FROM runs WHERE start_ms < ?") +
          (job_file ? " AND job_file = ?" : "") + " ORDER BY start_ms, run_id LIMIT ?",
      "cannot read");
  if (!oldest.ok()) return oldest.status;
  int removed = 0;
  for (;;) {
    std::vector<std::string> ids;
    oldest.value.Int(1, Milliseconds(cutoff));
    if (job_file) oldest.value.Text(2, *job_file);
    oldest.value.Int(job_file ? 3 : 2, batch.runs);
    Result<bool> row;
    while ((row = oldest.value.Step()).value) ids.push_back(oldest.value.ColumnText(0));
    oldest.value.Reset();
    if (!row.ok()) return row.status;
    if (ids.empty()) return removed;
    std::string list;
    for (size_t i = 0; i < ids.size(); ++i) list += i ? ", ?" : "?";
    const std::string deletes[] = {
        "DELETE FROM process_metadata WHERE rowid IN (SELECT rowid FROM process_metadata "
        "WHERE run_id IN (" + list + ") LIMIT ?)",
        "DELETE FROM run_lines WHERE (run_id, line) IN (SELECT run_id, line FROM run_lines "
        "WHERE run_id IN (" + list + ") LIMIT ?)",
        "DELETE FROM runs WHERE run_id IN (" + list + ")"};
    const auto begun = std::chrono::steady_clock::now();
    const Status pruned = db_->Write(true, [&]() -> Status {
      bool rows_left = false;
      for (const std::string& sql : deletes) {
        const bool runs = &sql == &deletes[2];
        // The runs go once their rows are gone, so that no row outlives its run.
        if (runs && rows_left) break;
        Result<SqliteStatement> remove = db_->db().Prepare(sql, "cannot write to");
        if (!remove.ok()) return remove.status;
        for (size_t i = 0; i < ids.size(); ++i) remove.value.Text(static_cast<int>(i + 1), ids[i]);
        if (!runs) remove.value.Int(static_cast<int>(ids.size() + 1), batch.rows);
        if (Status done = remove.value.Run(); !done.ok()) return done;
        if (runs) removed += db_->db().Changes();
        rows_left = rows_left || db_->db().Changes() >= batch.rows;
      }
      return Status::Ok();
    });
    if (!pruned.ok()) return pruned;
    std::this_thread::sleep_for(std::chrono::steady_clock::now() - begun);
  }
}

bool DiskFull(const Status& failure) {
  // The status carries SQLite's own words for the failure, which are fixed per code.
  return failure.message.ends_with(std::string(": ") + sqlite3_errstr(SQLITE_FULL));
}

std::map<int32_t, int32_t> RepeatLinks(const std::vector<RunLineRecord>& rows) {
  std::map<int32_t, int32_t> links;
  for (const RunLineRecord& row : rows) {
    if (row.repeat_of) links[row.line] = *row.repeat_of;
  }
  return links;
}

int32_t OriginOf(int32_t line, const std::map<int32_t, int32_t>& links) {
  // A copy is numbered above every line of its run, so each link leads down. One that does
  // not, and so any loop, only a damaged database holds: it ends the walk at once.
  for (auto found = links.find(line); found != links.end() && found->second < line;
       found = links.find(line)) {
    line = found->second;
  }
  return line;
}

}  // namespace jr
