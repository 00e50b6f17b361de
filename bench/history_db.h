#pragma once
// A metadata database as three years of nightly runs of a 50-line job leave it: 1,095
// runs, 54,750 line rows and as many process_metadata rows, line 170 slowly getting
// slower, a failed line now and then. Other numbers of nights and lines make larger ones.

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "store/run_history.h"
#include "store/sqlite_metadata_log.h"

namespace jr::bench {

inline constexpr const char* kJobFile = "/srv/jobs/nightly.xml";
inline constexpr int kNights = 3 * 365;
inline constexpr int kLines = 50;

inline bool FillHistoryDatabase(const std::string& path, int nights = kNights, int lines = kLines) {
  using std::chrono::seconds;
  {
    // Creates the tables; the metadata rows go in below, in one transaction.
    Result<std::unique_ptr<RunHistory>> created = RunHistory::OpenForWriting(path);
    if (!created.ok()) return false;
    // The last night is yesterday's.
    const TimePoint first = std::chrono::time_point_cast<seconds>(
        std::chrono::system_clock::now() - std::chrono::hours(24 * nights));
    // A thousand runs a transaction: the filling does not wait for the disk at every row.
    created.value->HoldWrites();
    for (int night = 0; night < nights; ++night) {
      if (night % 1000 == 999 && !created.value->Flush().ok()) return false;
      RunStart run;
      run.run_id = "run" + std::to_string(night);
      run.job_file = kJobFile;
      run.description = "Nightly extraction";
      run.run_folder = "/var/log/jobs/" + std::to_string(night) + "/";
      run.start = first + std::chrono::hours(24 * night);
      if (!created.value->BeginRun(run).ok()) return false;
      std::vector<RunLineRecord> rows;
      TimePoint at = run.start;
      int failed = 0;
      for (int i = 0; i < lines; ++i) {
        RunLineRecord line;
        line.line = 10 * (i + 1);
        line.position = i;
        line.seq = i;
        line.description = "Load step " + std::to_string(i + 1);
        line.start = at;
        at += seconds(line.line == 170 ? 60 + night / 10 : 30 + (night * 7 + i) % 40);
        line.end = at;
        line.outcome = (night + i) % 97 == 0 ? LineOutcome::kFailed : LineOutcome::kOk;
        failed += line.outcome == LineOutcome::kFailed;
        line.exit_code = line.outcome == LineOutcome::kOk ? 0 : 3;
        rows.push_back(line);
      }
      if (!created.value->WriteLines(run.run_id, rows).ok()) return false;
      if (!created.value
               ->EndRun(run.run_id, {at, failed ? RunStatus::kErrors : RunStatus::kNoErrors,
                                     lines - failed, failed, 0})
               .ok()) {
        return false;
      }
    }
    if (!created.value->Flush(true).ok()) return false;
  }
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) return false;
  bool ok = sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_stmt* insert = nullptr;
  ok = ok && sqlite3_prepare_v2(db,
                                "INSERT INTO process_metadata (written_at, entry_status, "
                                "entry_log_file, entry_start, entry_stop, entry_job_id, "
                                "argument_count, run_id) VALUES ('w', 0, ?, 's', 'e', 'j', 0, ?)",
                                -1, &insert, nullptr) == SQLITE_OK;
  for (int night = 0; ok && night < nights; ++night) {
    for (int i = 0; ok && i < lines; ++i) {
      const std::string log = "/var/log/jobs/" + std::to_string(night) + "/" + std::to_string(i);
      const std::string run = "run" + std::to_string(night);
      sqlite3_bind_text(insert, 1, log.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(insert, 2, run.c_str(), -1, SQLITE_TRANSIENT);
      ok = sqlite3_step(insert) == SQLITE_DONE;
      sqlite3_reset(insert);
    }
  }
  sqlite3_finalize(insert);
  ok = ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return ok;
}

}  // namespace jr::bench
