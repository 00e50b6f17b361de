#pragma once
// The layout of the process metadata database, shared by its two writers: the metadata
// log (one row per job line) and the run history (one row per run).

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/status.h"
#include "store/run_history.h"
#include "store/sqlite.h"

namespace jr {

// CREATE TABLE IF NOT EXISTS of process_metadata as every version of the program made it.
std::string CreateProcessMetadataTableSql();

// Creates what is missing and upgrades an older database to kRunHistorySchemaVersion, once,
// in one transaction that waits for other writers: of several runs that open an old
// database at the same time, one upgrades it and the others find it done.
Status EnsureMetadataSchema(SqliteConnection& db);

// The one connection through which this process writes the database in one file, shared by
// both writers while either is open. Their rows can so go in one transaction, and a writer
// never waits for the writer lock that another connection of the same process holds.
// While writes are held (Hold), the first write begins a transaction that the later ones
// join, until Flush commits it: a runner then pays one commit where it would pay one per
// row. A runner killed in between loses the held rows.
class MetadataWriter {
 public:
  // The writer open in this process for the file at `path`, else a new one on a database
  // made current (EnsureMetadataSchema).
  static Result<std::shared_ptr<MetadataWriter>> Open(const std::string& path);

  SqliteConnection& db() { return db_; }

  // Runs `write`, one writer's statements, while no other thread writes: inside the held
  // transaction while writes are held, else inside one of its own when `transaction`, else
  // as each statement commits itself. A write of its own that fails is undone; one inside
  // the held transaction leaves that to the Flush.
  Status Write(bool transaction, const std::function<Status()>& write);
  // Holds writes until the matching Flush(true); holds may nest.
  void Hold();
  // Commits the held transaction when one is open; with `release`, ends one Hold.
  Status Flush(bool release, Durability durability);
  // Waits for the syncs of kSyncing commits; the first of their failures.
  Status AwaitDisk();

 private:
  explicit MetadataWriter(SqliteConnection db) : db_(std::move(db)) {}
  Status Begin();
  Status Commit(Durability durability);
  // Takes unsynced commits to the disk as `durability` says.
  Status Sync(Durability durability);

  SqliteConnection db_;
  // Prepared once: a runner begins and commits once in every pass of its scheduler.
  SqliteStatement begin_;
  SqliteStatement commit_;
  std::recursive_mutex mutex_;
  int holds_ = 0;
  // A commit since the last sync of the log, or the last ask for one, did not wait for it.
  bool unsynced_ = false;
  // A sync was asked for and not waited for (AwaitDisk).
  bool syncing_ = false;
  // Syncs the log beside the writer after kSyncing commits; made at the first.
  std::unique_ptr<LogSyncer> syncer_;
  // Gone before the connection whose log it copies.
  std::unique_ptr<BackgroundCheckpoint> checkpoint_;
};

}  // namespace jr
