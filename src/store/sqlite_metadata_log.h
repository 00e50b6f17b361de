#pragma once
// The process metadata log kept in a SQLite database, one row per entry. Several runs
// (processes) may write into the same database at once: it is kept in write-ahead mode and
// a writer waits for a busy database instead of failing.
//
// Table "process_metadata":
//   id             INTEGER PRIMARY KEY
//   written_at     TEXT     time of the write, UTC, "YYYY-MM-DDTHH:MM:SS.mmmZ"
//   writer_pid     INTEGER  process that wrote the row
//   entry_status   INTEGER  EntryStatus (0 succeeded, 3 failed)
//   entry_log_file TEXT     EntryLogFile
//   entry_start    TEXT     EntryStart, UTC, "YYYY-MM-DDTHH:MM:SSZ"
//   entry_stop     TEXT     EntryStop, UTC, "YYYY-MM-DDTHH:MM:SSZ"
//   entry_job_id   TEXT     EntryJobId
//   argument_count INTEGER  number of WriteEntry arguments
//   arg01 .. arg31          the WriteEntry arguments in order, each with its own type
//                           (INTEGER, REAL or TEXT); NULL behind argument_count

#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/metadata_log.h"

namespace jr {

inline constexpr int kMetadataArgumentColumns = 31;

// A factory for the database at `path`. The database and its folder are created on the
// first Create; Create fails (nullptr, `error` naming the file and the cause) while the
// database cannot be opened, and WriteEntry fails the same way when a row cannot be
// stored or there are more than kMetadataArgumentColumns arguments.
std::unique_ptr<ProcessMetadataLogFactory> MakeSqliteMetadataLogFactory(std::string path);

// Time as stored in the entry_start and entry_stop columns.
std::string UtcTimeText(TimePoint time);

}  // namespace jr
