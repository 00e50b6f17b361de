#pragma once
// The run history kept in the process metadata database, beside process_metadata: one row
// per run in "runs" and one row per job line of a run in "run_lines". A run's rows are
// written while it goes on, so that a runner that is killed leaves a run without an end:
// an interrupted run. It knows no job: callers pass plain values.
//
// Table "runs" (one row per run, written at its start, completed at its end):
//   run_id       TEXT PRIMARY KEY  run timestamp "_" run name, "-N" added when taken
//   job_file     TEXT     the job file's absolute path
//   job_sha256   TEXT     SHA-256 of the job file as the run read it, lower-case hex, with
//                         the root's Exportdate value left out (rows written before that
//                         change hold the digest of the whole file)
//   description, host, launcher, run_folder, admin_report, user_report   TEXT
//   start_ms     INTEGER  start, milliseconds since 1970 UTC
//   end_ms       INTEGER  end, NULL until the run ended
//   status       INTEGER  final status 0, 1 or 2, or 5 for a run that was refused because
//                         another run of the job went on (no lines, start = end), or 6 for
//                         a run whose runner ended without ending it (marked so by whoever
//                         found it: see MarkInterrupted), or 7 for a run that started
//                         nothing as its day was a day off of the job's calendar (no
//                         lines, start = end); NULL until the run ended
//   succeeded, failed, skipped   INTEGER   line counts, set at the end
//   rerun_of     TEXT     for a rerun, the run whose failed lines it ran again; else NULL
// Table "run_lines" (key run_id, line):
//   line         INTEGER  job line number (a repeat copy has its own)
//   position     INTEGER  order in the run's collection
//   seq          INTEGER  order of the starts; NULL for a line that never started
//   description  TEXT
//   start_ms, end_ms  INTEGER  NULL when the line did not start or end
//   outcome      TEXT     "ok", "failed", "skipped" or "not run"; in a rerun "over" for a
//                         line that had succeeded before and was not started; "interrupted"
//                         for a line that had started when its run's runner ended
//   exit_code    INTEGER  the status written to process_metadata (0 ok, 3 failed): the
//                         runner's verdict from the status file; NULL for a line that did
//                         not end
//   repeat_of    INTEGER  the line a repeat copy repeats; NULL for the others
//   exit_status  INTEGER  the exit status the program itself ended with; NULL when it did
//                         not end by itself (never started, ended by a signal or by the
//                         runner) and in rows written before version 3
// process_metadata gains "run_id", the run that wrote the row (NULL for older rows).
// Schema version 3 (PRAGMA user_version; 1 had no rerun_of, 2 no exit_status); an older
// database is upgraded once, inside a transaction, by the first writer that opens it, and
// read as it is by a reader.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/status.h"

namespace jr {

// What a commit of the history promises: that it survives a power loss when it returns, or
// once RunHistory::AwaitDisk has returned after it (its sync goes on beside the caller), or
// only that other connections see it.
enum class Durability { kOnDisk, kSyncing, kCommitted };

inline constexpr int kRunHistorySchemaVersion = 4;

// A run's final status. The column "status" keeps it as a number: 0, 1 and 2 are the error
// levels its reports ended with, 5 a run refused because another run of its job went on, 6
// a run whose runner ended without ending it, 7 a run on a day off. A number no status of this
// version is (a newer version's, a hand-edited row) reads as kUnknown, which no reader takes for
// success. A run without a status was interrupted too, or goes on.
enum class RunStatus { kNoErrors, kErrors, kFatal, kRefused, kInterrupted, kDayOff, kUnknown };

// True for a run that started nothing (refused, or on a day off): it counts neither as a
// job's last run nor for its usual durations.
bool StartedNothing(const std::optional<RunStatus>& status);

// The column's number of a status; kUnknown has none and is written as 2, the safe side.
int RunStatusNumber(RunStatus status);
RunStatus RunStatusOfNumber(int64_t number);

// A run's final status in one word, as the history lists and the window show it; a run
// without one was interrupted (its runner died before it could end the row).
const char* RunOutcomeWord(const std::optional<RunStatus>& status);

// A job line's outcome in a run. The column "outcome" keeps it as a word: "ok", "failed",
// "skipped", "not run", in a rerun "over" for a line that had succeeded before and was not
// started, and "interrupted" for a line that had started and never ended because its run's
// runner ended first. A word none of these is reads as kUnknown: the line neither succeeded nor
// failed as far as any reader can tell.
enum class LineOutcome { kOk, kFailed, kSkipped, kNotRun, kOver, kInterrupted, kUnknown };

// The column's word of an outcome ("unknown" for kUnknown), and back.
const char* LineOutcomeWord(LineOutcome outcome);
LineOutcome LineOutcomeOfWord(std::string_view word);

struct RunStart {
  std::string run_id;  // wished-for id; BeginRun may add a suffix
  std::string job_file, job_sha256, description, host, launcher;
  std::string run_folder, admin_report, user_report;
  TimePoint start{};
  std::string rerun_of;  // empty for a run that is no rerun
};

struct RunLineRecord {
  int32_t line = 0;
  int32_t position = 0;
  std::optional<int32_t> seq;
  std::string description;
  std::optional<TimePoint> start, end;
  LineOutcome outcome = LineOutcome::kNotRun;
  std::optional<int64_t> exit_code;
  std::optional<int32_t> repeat_of;
  std::optional<int> exit_status;
};

struct RunEnd {
  TimePoint end{};
  RunStatus status = RunStatus::kNoErrors;
  int succeeded = 0, failed = 0, skipped = 0;
};

// One run as the history shows it.
struct RunSummary {
  std::string run_id, job_file, job_sha256, description, host, launcher;
  std::string run_folder, admin_report, user_report;
  TimePoint start{};
  std::optional<TimePoint> end;
  std::optional<RunStatus> status;  // nullopt: interrupted (the end was never written)
  int succeeded = 0, failed = 0, skipped = 0;
  std::vector<int32_t> failed_lines;  // ascending
  std::string rerun_of;               // empty for a run that is no rerun
  // The end its runner last foresaw while it went on (KeepExpectedEnd); none when the
  // runner kept none.
  std::optional<ExpectedEnd> expected_end;
};

// How much of a prune one transaction holds: at most `runs` runs, and at most `rows` of
// their line rows and as many process_metadata rows.
struct PruneBatch {
  int runs = 100;
  int rows = 2000;
};

class RunHistory {
 public:
  ~RunHistory();
  RunHistory(const RunHistory&) = delete;
  RunHistory& operator=(const RunHistory&) = delete;

  // For a run: creates the database (and its folder) when missing and upgrades an older
  // one.
  static Result<std::unique_ptr<RunHistory>> OpenForWriting(const std::string& path);
  // For reading only: never creates or changes the file. A missing file gives a null
  // history without failure (no runs recorded).
  static Result<std::unique_ptr<RunHistory>> OpenForReading(const std::string& path);

  // Adds the run's row; returns the id it got (the wished-for one, or with "-2", "-3",
  // ... added when that is taken).
  Result<std::string> BeginRun(const RunStart& run);
  // Inserts or replaces line rows of a run, all in one transaction.
  Status WriteLines(const std::string& run_id, const std::vector<RunLineRecord>& lines);
  Status EndRun(const std::string& run_id, const RunEnd& end);
  // Keeps the end the run's runner foresees now, for whoever asks how the run goes.
  Status KeepExpectedEnd(const std::string& run_id, const ExpectedEnd& expected);
  // Ends a run whose runner ended without ending it: its status kInterrupted, its end `end`,
  // its lines that had started and have no end "interrupted", its counts from its lines. In
  // one transaction, and only when the run has no end yet: of those who find the run at once
  // (the runner's watchdog, the job's next run, a look at the runs going on), exactly one
  // gets true and tells of the run.
  Result<bool> MarkInterrupted(const std::string& run_id, TimePoint end);

  // Until Flush, the rows this process writes to the database, the run history's and the
  // process metadata log's alike (they share one connection), go into one transaction that
  // the first of them begins: a scheduler pass costs one commit instead of one per row. A
  // runner killed before the Flush loses what it held. The history's end releases a hold.
  void HoldWrites();
  // Commits the held rows; with `release`, every write commits on its own again. A commit
  // that need not outlast a power loss (kCommitted) lets other writers in without waiting
  // for the disk; the next one that must (kOnDisk) takes it to the disk as well.
  Status Flush(bool release = false, Durability durability = Durability::kOnDisk);
  // Waits until what kSyncing flushes committed is on the disk.
  Status AwaitDisk();

  // The newest `limit` runs of the job file, newest first.
  Result<std::vector<RunSummary>> RecentRuns(const std::string& job_file, int limit);
  // One run of the job file; nullopt when there is none with that id.
  Result<std::optional<RunSummary>> FindRun(const std::string& job_file, const std::string& run_id);
  // The runs without an end, newest first, of `job_file` or, without one, of every job:
  // those going on and those whose runner died, which the history alone cannot tell apart.
  Result<std::vector<RunSummary>> RunsWithoutEnd(const std::optional<std::string>& job_file);
  // Every job file with runs in the history, in name order.
  Result<std::vector<std::string>> JobFiles();
  // How much of the line rows is read: all of each, or for timing them only, without their
  // descriptions and in no particular order, which reads a run of many lines several times
  // faster.
  enum class RowDetail { kWhole, kTiming };
  // The line rows of the runs, in the order they started (lines that never started
  // last, in collection order); grouped per run in the order of `run_ids`.
  Result<std::vector<std::vector<RunLineRecord>>> Lines(const std::vector<std::string>& run_ids,
                                                        RowDetail detail = RowDetail::kWhole);
  // Deletes the runs that started before `cutoff`, of `job_file` or of every job, with their
  // line and process_metadata rows, oldest first, in transactions no larger than `batch`
  // with pauses between them, so that runs going on meanwhile can commit; returns how many
  // runs went.
  Result<int> PruneBefore(TimePoint cutoff, const std::optional<std::string>& job_file,
                          const PruneBatch& batch = {});

  const std::string& path() const { return path_; }

 private:
  struct Connection;
  RunHistory(std::string path, std::unique_ptr<Connection> connection);

  std::string path_;
  std::unique_ptr<Connection> db_;
  bool holding_ = false;
};

// Whether a write failed for want of room on the disk (SQLite's SQLITE_FULL).
bool DiskFull(const Status& failure);

// The line each repeat copy among a run's rows repeats, by the copy's number.
std::map<int32_t, int32_t> RepeatLinks(const std::vector<RunLineRecord>& rows);
// The job line a row's line counts for, following `links` (RepeatLinks): a copy repeats a
// line that may itself be a copy. A link that does not lead to a lower number (a damaged
// row) is not followed.
int32_t OriginOf(int32_t line, const std::map<int32_t, int32_t>& links);

// ISO 8601 UTC to the second: "2026-12-07T02:15:00Z".
std::string IsoUtcText(TimePoint time);

}  // namespace jr
