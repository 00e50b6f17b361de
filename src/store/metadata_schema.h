#pragma once
// The layout of the process metadata database, shared by its two writers: the metadata
// log (one row per job line) and the run history (one row per run).

#include <string>

#include "platform/status.h"
#include "store/sqlite.h"

namespace jr {

// CREATE TABLE IF NOT EXISTS of process_metadata as every version of the program made it.
std::string CreateProcessMetadataTableSql();

// Creates what is missing and upgrades an older database to kRunHistorySchemaVersion, once,
// in one transaction that waits for other writers: of several runs that open an old
// database at the same time, one upgrades it and the others find it done.
Status EnsureMetadataSchema(SqliteConnection& db);

}  // namespace jr
