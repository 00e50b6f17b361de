#pragma once
// A SQLite connection and its prepared statements, as the stores of the process metadata
// database use them. Every SQLite call is checked: a failure becomes a Status that says
// what could not be done, names the database file and carries SQLite's own message, as
// "cannot write to the process metadata database "/var/x.sqlite": disk I/O error".

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "platform/status.h"

struct sqlite3;
struct sqlite3_stmt;

namespace jr {

struct SqliteFinalizer {
  void operator()(sqlite3_stmt* stmt) const;
};
struct SqliteCloser {
  void operator()(sqlite3* db) const;
};

// The name of the database in messages: `what` the process metadata database "PATH".
std::string SqliteFailureText(std::string_view what, const std::string& path, sqlite3* db);

// A prepared statement, finalized when it goes (a default one is none). Binding never fails on the
// spot: the first binding that SQLite refused since the last Reset fails the next Step, so that a
// row is never written with a value missing.
class SqliteStatement {
 public:
  SqliteStatement() = default;
  // False for a default one.
  bool Prepared() const { return stmt_ != nullptr; }
  SqliteStatement& Text(int index, std::string_view text);
  SqliteStatement& Int(int index, int64_t value);
  SqliteStatement& Real(int index, double value);
  SqliteStatement& Null(int index);
  template <typename T>
  SqliteStatement& OptionalInt(int index, const std::optional<T>& value) {
    return value ? Int(index, static_cast<int64_t>(*value)) : Null(index);
  }

  // true when a row is there to read, false when the statement is done.
  Result<bool> Step();
  // Steps a statement that gives no rows.
  Status Run();
  // Makes the statement ready to run again, without bindings. What SQLite reports here is
  // the failure of the last Step, which that Step has already returned.
  void Reset();
  // SQLite's extended result code of the last failed Step (SQLITE_CONSTRAINT_PRIMARYKEY,
  // ...).
  int FailureCode() const { return failure_code_; }

  std::string ColumnText(int column) const;
  int64_t ColumnInt(int column) const;
  std::optional<int64_t> ColumnOptional(int column) const;

 private:
  friend class SqliteConnection;
  SqliteStatement(sqlite3* db, sqlite3_stmt* stmt, std::string what, std::string path)
      : db_(db), stmt_(stmt), what_(std::move(what)), path_(std::move(path)) {}
  void Bound(int rc);
  Status Failure() const { return Status::Failed(SqliteFailureText(what_, path_, db_)); }

  sqlite3* db_ = nullptr;
  std::unique_ptr<sqlite3_stmt, SqliteFinalizer> stmt_;
  std::string what_;  // "cannot read", "cannot write to", ...
  std::string path_;
  Status bind_failure_;
  int failure_code_ = 0;
};

class SqliteConnection {
 public:
  SqliteConnection() = default;
  // Creates the file and its folder when missing. Several processes may write at once:
  // the database is kept in write-ahead mode and a writer waits for a busy database
  // instead of failing.
  static Result<SqliteConnection> OpenForWriting(const std::string& path);
  // Opens an existing file without ever creating or changing it; the first read finds
  // out whether it is a database at all.
  static Result<SqliteConnection> OpenReadOnly(const std::string& path);

  // Runs `sql` (one or more statements without results); a failure says `what`.
  Status Exec(const std::string& sql, std::string_view what);
  // A statement whose failures say `what`.
  Result<SqliteStatement> Prepare(const std::string& sql, std::string_view what);

  // A write transaction that takes the writer lock at once, so that what it reads stays
  // true until it commits.
  Status BeginWrite(std::string_view what) { return Exec("BEGIN IMMEDIATE", what); }
  Status Commit(std::string_view what);
  // Takes what the write-ahead log holds to the disk, for a connection that commits without
  // waiting for it (synchronous=NORMAL); nothing to do outside write-ahead mode, unless
  // `log_required`: then a connection without the log open fails.
  Status SyncLog(std::string_view what, bool log_required = false);
  // Undoes the open transaction after a failure. SQLite may have rolled it back itself
  // already, so its answer adds nothing to the failure being reported.
  void Rollback();

  // Whether the database has the table, or the table the column.
  Result<bool> HasTable(const std::string& table);
  Result<bool> HasColumn(const std::string& table, const std::string& column);
  // Rows the last statement changed.
  int Changes() const;
  // Whether a transaction is open (SQLite may have ended one itself after a failure).
  bool InTransaction() const;
  // The failure of the last call, in the words of `what`.
  Status Failure(std::string_view what) const;
  const std::string& path() const { return path_; }

 private:
  friend class BackgroundCheckpoint;
  explicit SqliteConnection(std::string path) : path_(std::move(path)) {}
  // Opens the file with `flags` and sets the busy handler (WaitWhileBusy).
  Status Open(int flags);

  std::unique_ptr<sqlite3, SqliteCloser> db_;
  std::string path_;
};

// Copies a database's write-ahead log into the database file on a thread and connection of
// its own, in place of the writer's commits. SQLite does it inside the commit that finds
// the log long, copying pages and syncing both files, and that commit's caller (a runner
// between two job lines) waits for it; here the writer's commits only append to the log.
// The log starts again from its beginning only once a copy has caught up with it, which a
// copier beside a writer committing faster than the copier syncs may never do: a log grown
// to kFallBehindPages is copied inside the commit again, as SQLite would, once a copier's
// round under way has ended: unless a reader holds an older state or another process is
// copying, the log holds at most kFallBehindPages and the pages of one commit.
class BackgroundCheckpoint {
 public:
  static constexpr int kLogPages = 1000;  // SQLite's own default
  static constexpr int kFallBehindPages = 3 * kLogPages;

  // Takes over the checkpoints of `writer`, which must outlive the result; none when its
  // connection or thread cannot be had, and the writer goes on checkpointing itself.
  static std::unique_ptr<BackgroundCheckpoint> Start(SqliteConnection& writer);
  // Hands the checkpoints back to the writer, and ends once a copy under way is done.
  ~BackgroundCheckpoint();
  BackgroundCheckpoint(const BackgroundCheckpoint&) = delete;
  BackgroundCheckpoint& operator=(const BackgroundCheckpoint&) = delete;

 private:
  BackgroundCheckpoint(sqlite3* writer, SqliteConnection own)
      : writer_(writer), own_(std::move(own)) {}
  // Called by SQLite after each commit of the writer with the log's length in pages.
  static int Committed(void* self, sqlite3* db, const char* name, int pages);
  // The writer's own copy of a log grown to kFallBehindPages, in its commit.
  void CopyInTheCommit(sqlite3* db, const char* name);
  void CopyWhenAsked();

  sqlite3* writer_;
  SqliteConnection own_;
  std::mutex mutex_;
  std::condition_variable asked_or_ending_;
  std::condition_variable round_done_;
  bool asked_ = false;
  // A copy is under way, the copier's or the writer's: one at a time, as the checkpoint
  // lock lets them.
  bool copying_ = false;
  bool ending_ = false;
  std::thread thread_;
};

// Syncs a database's write-ahead log on a thread and connection of its own, for a writer
// whose commits do not wait for the disk (synchronous=NORMAL): the writer asks for a sync
// after a commit and goes on, and waits only where it must know its commits are on the
// disk. The connection's own handle on the log reaches the same file as the writer's, and
// a sync of the file takes every write made to it before the sync began.
class LogSyncer {
 public:
  // A syncer for the write-ahead log of the database `path`, which a writer of this process
  // has open; none when its connection or thread cannot be had, and the writer syncs itself.
  static std::unique_ptr<LogSyncer> Start(const std::string& path);
  // Ends once a sync under way is done.
  ~LogSyncer();
  LogSyncer(const LogSyncer&) = delete;
  LogSyncer& operator=(const LogSyncer&) = delete;

  // Asks for a sync of every commit made so far; returns at once.
  void Ask();
  // Waits until every commit made before the last Ask is on the disk; the first failure
  // of a sync since the last wait.
  Status Wait();

 private:
  explicit LogSyncer(SqliteConnection own) : own_(std::move(own)) {}
  Status Sync();
  void SyncWhenAsked();

  SqliteConnection own_;
  std::mutex mutex_;
  std::condition_variable asked_or_ending_;
  std::condition_variable synced_;
  uint64_t asked_ = 0;         // the number of asks so far
  uint64_t synced_up_to_ = 0;  // the asks that a finished sync answered
  Status failure_;
  bool ending_ = false;
  std::thread thread_;
};

}  // namespace jr
