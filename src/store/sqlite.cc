#include "store/sqlite.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/stop_requests.h"
#include "platform/utf8.h"

namespace jr {
namespace {

// How long a write waits for the other runs' writes. 320 runs started at one moment on two
// busy cores wait up to 5 s for their turn, as their passes queue for the one writer lock;
// six times that still fails only a writer that is stuck rather than slow (a stopped
// process, a shell holding a transaction), which a run then reports instead of hanging.
constexpr std::chrono::milliseconds kBusyTimeout{30000};

// Called by SQLite while the database is busy: sleeps and asks for another try until the
// wait has lasted kBusyTimeout. Each sleep is a quarter of the wait so far, from 1 ms up to
// 100 ms. A prune frees the lock after each of its transactions for as long as that one
// took, so a writer that waited through it sleeps at most a quarter of the gap and gets
// in. SQLite's own handler sleeps longer than it has waited at first (10 ms after 8) and
// then 25 to 100 ms at a time: it misses shorter gaps, and as they come at a like pace,
// often the next ones too, stalling a runner's commit for a tenth of a second or more.
// Growing with the wait, the sleeps keep a crowd of runs waiting for their turn trying
// about as often as SQLite's handler would.
int WaitWhileBusy(void*, int tries) {
  using std::chrono::milliseconds;
  // One wait at a time on a thread: SQLite calls this in the statement the thread runs.
  thread_local std::chrono::steady_clock::time_point started;
  const auto now = std::chrono::steady_clock::now();
  if (tries == 0) started = now;
  const auto waited = std::chrono::duration_cast<milliseconds>(now - started);
  if (waited >= kBusyTimeout) return 0;
  std::this_thread::sleep_for(std::clamp(waited / 4, milliseconds(1), milliseconds(100)));
  return 1;
}

Status CreateFolderOf(const std::string& path) {
  const std::filesystem::path folder = NativePath(path).parent_path();
  std::error_code ec;
  if (folder.empty() || std::filesystem::is_directory(folder, ec)) return Status::Ok();
  std::filesystem::create_directories(folder, ec);
  if (!ec) return Status::Ok();
  return Status::Failed("cannot create the folder \"" + Utf8Name(folder) +
                        "\" of the process metadata database \"" + path + "\": " + ec.message());
}

}  // namespace

std::string SqliteFailureText(std::string_view what, const std::string& path, sqlite3* db) {
  return std::string(what) + " the process metadata database \"" + path +
         "\": " + (db != nullptr ? sqlite3_errmsg(db) : "out of memory");
}

void SqliteFinalizer::operator()(sqlite3_stmt* stmt) const {
  // Finalizing repeats the failure of the last Step, which that Step has returned.
  sqlite3_finalize(stmt);
}

void SqliteCloser::operator()(sqlite3* db) const {
  // The connection's statements are finalized by the time it goes (they live in the
  // stores' calls and members declared after it), so closing has nothing to refuse; v2
  // would close even so once the last one went.
  sqlite3_close_v2(db);
}

void SqliteStatement::Bound(int rc) {
  if (rc != SQLITE_OK && bind_failure_.ok()) bind_failure_ = Failure();
}

SqliteStatement& SqliteStatement::Text(int index, std::string_view text) {
  Bound(sqlite3_bind_text64(stmt_.get(), index, text.data(), text.size(), SQLITE_TRANSIENT,
                            SQLITE_UTF8));
  return *this;
}

SqliteStatement& SqliteStatement::Int(int index, int64_t value) {
  Bound(sqlite3_bind_int64(stmt_.get(), index, value));
  return *this;
}

SqliteStatement& SqliteStatement::Real(int index, double value) {
  Bound(sqlite3_bind_double(stmt_.get(), index, value));
  return *this;
}

SqliteStatement& SqliteStatement::Null(int index) {
  Bound(sqlite3_bind_null(stmt_.get(), index));
  return *this;
}

Result<bool> SqliteStatement::Step() {
  if (!bind_failure_.ok()) return bind_failure_;
  const int rc = sqlite3_step(stmt_.get());
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  failure_code_ = sqlite3_extended_errcode(db_);
  return Failure();
}

Status SqliteStatement::Run() {
  Result<bool> stepped = Step();
  return stepped.status;
}

void SqliteStatement::Reset() {
  sqlite3_reset(stmt_.get());
  // Clearing bindings cannot fail: it always answers SQLITE_OK.
  sqlite3_clear_bindings(stmt_.get());
  bind_failure_ = Status::Ok();
}

std::string SqliteStatement::ColumnText(int column) const {
  const unsigned char* text = sqlite3_column_text(stmt_.get(), column);
  return text != nullptr ? reinterpret_cast<const char*>(text) : "";
}

int64_t SqliteStatement::ColumnInt(int column) const {
  return sqlite3_column_int64(stmt_.get(), column);
}

std::optional<int64_t> SqliteStatement::ColumnOptional(int column) const {
  if (sqlite3_column_type(stmt_.get(), column) == SQLITE_NULL) return std::nullopt;
  return sqlite3_column_int64(stmt_.get(), column);
}

Status SqliteConnection::Open(int flags) {
  sqlite3* db = nullptr;
  const int rc = sqlite3_open_v2(path_.c_str(), &db, flags, nullptr);
  db_.reset(db);
  if (rc != SQLITE_OK || sqlite3_busy_handler(db, &WaitWhileBusy, nullptr) != SQLITE_OK) {
    return Failure("cannot open");
  }
  return Status::Ok();
}

Result<SqliteConnection> SqliteConnection::OpenForWriting(const std::string& path) {
  if (Status folder = CreateFolderOf(path); !folder.ok()) return folder;
  SqliteConnection connection(path);
  if (Status opened =
          connection.Open(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX);
      !opened.ok()) {
    return opened;
  }
  // Write-ahead mode lets runs write side by side. It stays set in the file; when another
  // run is switching it at this moment the switch finds the file busy here, and the busy
  // timeout still keeps the writers apart. Any other failure (a file that is no database)
  // is one.
  const int rc =
      sqlite3_exec(connection.db_.get(), "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK && rc != SQLITE_BUSY && rc != SQLITE_LOCKED) {
    return connection.Failure("cannot open");
  }
  // A commit that returned survives a power loss: each commit syncs the log before it
  // returns. With less, the log is synced only when it is copied into the database, and a
  // loss before that takes back commits a runner had acted on.
  if (Status synchronous = connection.Exec("PRAGMA synchronous=FULL", "cannot open");
      !synchronous.ok()) {
    return synchronous;
  }
  return connection;
}

Result<SqliteConnection> SqliteConnection::OpenReadOnly(const std::string& path) {
  SqliteConnection connection(path);
  if (Status opened = connection.Open(SQLITE_OPEN_READONLY); !opened.ok()) return opened;
  Result<SqliteStatement> probe =
      connection.Prepare("SELECT count(*) FROM sqlite_master", "cannot read");
  if (!probe.ok()) return probe.status;
  if (Result<bool> row = probe.value.Step(); !row.ok()) return row.status;
  probe.value = SqliteStatement();
  return connection;
}

Status SqliteConnection::Exec(const std::string& sql, std::string_view what) {
  if (sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
    return Failure(what);
  }
  return Status::Ok();
}

Result<SqliteStatement> SqliteConnection::Prepare(const std::string& sql, std::string_view what) {
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db_.get(), sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr) !=
      SQLITE_OK) {
    return Failure(what);
  }
  return SqliteStatement(db_.get(), stmt, std::string(what), path_);
}

Status SqliteConnection::Commit(std::string_view what) {
  Status committed = Exec("COMMIT", what);
  if (!committed.ok()) Rollback();
  return committed;
}

Status SqliteConnection::SyncLog(std::string_view what, bool log_required) {
  sqlite3_mutex* mutex = sqlite3_db_mutex(db_.get());
  sqlite3_mutex_enter(mutex);
  sqlite3_file* log = nullptr;
  int rc = sqlite3_file_control(db_.get(), "main", SQLITE_FCNTL_JOURNAL_POINTER, &log);
  // A database outside write-ahead mode syncs at its commits whatever the setting.
  if (rc == SQLITE_OK && log != nullptr && log->pMethods != nullptr) {
    rc = log->pMethods->xSync(log, SQLITE_SYNC_NORMAL);
  } else if (rc == SQLITE_OK && log_required) {
    rc = SQLITE_NOTFOUND;
  }
  sqlite3_mutex_leave(mutex);
  if (rc == SQLITE_OK) return Status::Ok();
  return Status::Failed(std::string(what) + " the process metadata database \"" + path_ +
                        "\": " + sqlite3_errstr(rc));
}

void SqliteConnection::Rollback() {
  sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
}

Result<bool> SqliteConnection::HasTable(const std::string& table) {
  Result<SqliteStatement> query =
      Prepare("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?", "cannot read");
  if (!query.ok()) return query.status;
  return query.value.Text(1, table).Step();
}

Result<bool> SqliteConnection::HasColumn(const std::string& table, const std::string& column) {
  Result<SqliteStatement> query =
      Prepare("SELECT 1 FROM pragma_table_info(?) WHERE name = ?", "cannot read");
  if (!query.ok()) return query.status;
  return query.value.Text(1, table).Text(2, column).Step();
}

int SqliteConnection::Changes() const { return sqlite3_changes(db_.get()); }

bool SqliteConnection::InTransaction() const { return sqlite3_get_autocommit(db_.get()) == 0; }

Status SqliteConnection::Failure(std::string_view what) const {
  return Status::Failed(SqliteFailureText(what, path_, db_.get()));
}

std::unique_ptr<BackgroundCheckpoint> BackgroundCheckpoint::Start(SqliteConnection& writer) {
  Result<SqliteConnection> own = SqliteConnection::OpenForWriting(writer.path());
  if (!own.ok()) return nullptr;
  std::unique_ptr<BackgroundCheckpoint> checkpoint(
      new BackgroundCheckpoint(writer.db_.get(), std::move(own.value)));
  try {
    checkpoint->thread_ = std::thread([copier = checkpoint.get()] { copier->CopyWhenAsked(); });
  } catch (const std::system_error&) {
    return nullptr;
  }
  // Replaces SQLite's own checkpoints after the writer's commits.
  sqlite3_wal_hook(checkpoint->writer_, &BackgroundCheckpoint::Committed, checkpoint.get());
  return checkpoint;
}

BackgroundCheckpoint::~BackgroundCheckpoint() {
  sqlite3_wal_autocheckpoint(writer_, kLogPages);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ending_ = true;
  }
  asked_or_ending_.notify_one();
  if (thread_.joinable()) thread_.join();
}

int BackgroundCheckpoint::Committed(void* self, sqlite3* db, const char* name, int pages) {
  auto* checkpoint = static_cast<BackgroundCheckpoint*>(self);
  if (pages < kLogPages) return SQLITE_OK;
  if (pages >= kFallBehindPages) {
    checkpoint->CopyInTheCommit(db, name);
    return SQLITE_OK;
  }
  {
    std::lock_guard<std::mutex> lock(checkpoint->mutex_);
    // Asked already: the copy is under way or about to start.
    if (checkpoint->asked_) return SQLITE_OK;
    checkpoint->asked_ = true;
  }
  checkpoint->asked_or_ending_.notify_one();
  return SQLITE_OK;
}

void BackgroundCheckpoint::CopyInTheCommit(sqlite3* db, const char* name) {
  {
    // While the copier's round goes on, the checkpoint lock is its own and a copy here
    // would be refused at once; the writer would go on appending for as long as the round
    // takes, which a starved copier or a slow disk sync makes as long as they like. So the
    // commit waits for the round, and the copier starts none until this copy is done.
    std::unique_lock<std::mutex> lock(mutex_);
    round_done_.wait(lock, [this] { return !copying_; });
    copying_ = true;
  }
  // What the copier was asked to copy, this copy takes. Another process's copy under way
  // still refuses it; the next commit tries again.
  sqlite3_wal_checkpoint_v2(db, name, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    copying_ = false;
    asked_ = false;
  }
}

void BackgroundCheckpoint::CopyWhenAsked() {
  BlockSignalsInThisThread();
  std::unique_lock<std::mutex> lock(mutex_);
  while (true) {
    asked_or_ending_.wait(lock, [this] { return (asked_ && !copying_) || ending_; });
    if (ending_) return;
    copying_ = true;
    lock.unlock();
    // Passive: it copies what no reader still needs, never waits for a reader or writer,
    // and lets the writer append meanwhile. What it leaves, a later copy takes; a copy
    // that fails (another process copying, a disk error) leaves the log as it was, and the
    // writer's own commits report a disk that fails them.
    const int copied = sqlite3_wal_checkpoint_v2(own_.db_.get(), nullptr, SQLITE_CHECKPOINT_PASSIVE,
                                                 nullptr, nullptr);
    lock.lock();
    copying_ = false;
    round_done_.notify_one();
    // Refused because another copy held the checkpoint lock: the ask stands and is tried
    // again shortly. The writer may have gone quiet, and then no later commit would ask
    // again, leaving the log uncopied for as long as the process lives.
    if (copied == SQLITE_BUSY && !ending_) {
      asked_or_ending_.wait_for(lock, std::chrono::milliseconds(10), [this] { return ending_; });
      continue;
    }
    asked_ = false;
  }
}

std::unique_ptr<LogSyncer> LogSyncer::Start(const std::string& path) {
  Result<SqliteConnection> own = SqliteConnection::OpenForWriting(path);
  if (!own.ok()) return nullptr;
  std::unique_ptr<LogSyncer> syncer(new LogSyncer(std::move(own.value)));
  // A read opens the connection's handle on the log, which it then keeps; without one
  // there would be nothing to sync.
  if (!syncer->own_.HasTable("sqlite_master").ok() || !syncer->Sync().ok()) return nullptr;
  try {
    syncer->thread_ = std::thread([self = syncer.get()] { self->SyncWhenAsked(); });
  } catch (const std::system_error&) {
    return nullptr;
  }
  return syncer;
}

LogSyncer::~LogSyncer() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ending_ = true;
  }
  asked_or_ending_.notify_one();
  if (thread_.joinable()) thread_.join();
}

void LogSyncer::Ask() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++asked_;
  }
  asked_or_ending_.notify_one();
}

Status LogSyncer::Wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  const uint64_t asked = asked_;
  synced_.wait(lock, [&] { return synced_up_to_ >= asked; });
  return std::exchange(failure_, Status::Ok());
}

Status LogSyncer::Sync() { return own_.SyncLog("cannot write to", /*log_required=*/true); }

void LogSyncer::SyncWhenAsked() {
  BlockSignalsInThisThread();
  std::unique_lock<std::mutex> lock(mutex_);
  while (true) {
    asked_or_ending_.wait(lock, [this] { return asked_ > synced_up_to_ || ending_; });
    // Asks made during a sync are answered by the next: their commits may have come after
    // its start.
    if (asked_ == synced_up_to_) return;
    const uint64_t answering = asked_;
    lock.unlock();
    Status synced = Sync();
    lock.lock();
    if (!synced.ok() && failure_.ok()) failure_ = std::move(synced);
    synced_up_to_ = answering;
    synced_.notify_all();
  }
}

}  // namespace jr
