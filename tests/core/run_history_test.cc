// The run history store on real SQLite files: the upgrade of a database the previous
// version made, unique run ids, the reading of missing and broken files, pruning, the runs
// going on by their rows and locks; and the digest that tells whether a job file changed
// since a run.

#include "store/run_history.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <tuple>

#include "insight/runs_in_progress.h"
#include "platform/file_digest.h"
#include "run/run_record.h"
#include "store/run_lock_holder.h"
#include "store/sqlite_metadata_log.h"
#include "support/engine_fakes.h"
#include "support/sqlite_rows.h"
#include "support/test_paths.h"

namespace jr {
namespace {

using std::chrono::hours;
using Strings = std::vector<std::string>;

const TimePoint kNoon = TimePoint(std::chrono::seconds(1796644800));  // 2026-12-07 12:00 UTC

class RunHistoryTest : public ::testing::Test {
 protected:
  std::string Db() const { return dir_.File("metadata.sqlite"); }
  void Exec(const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open(Db().c_str(), &db);
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);
  }
  Strings Query(const std::string& sql) { return test::SelectColumn(Db(), sql); }
  // A run of "/jobs/a.xml" that started at `start` with one failed line; ended unless
  // `ended` is false.
  std::string AddRun(RunHistory& history, const std::string& id, TimePoint start, bool ended = true,
                     const std::string& job = "/jobs/a.xml") {
    Result<std::string> got = history.BeginRun({.run_id = id, .job_file = job, .start = start});
    EXPECT_TRUE(got.ok()) << got.message();
    const RunLineRecord line{.line = 10,
                             .seq = 0,
                             .start = start,
                             .end = start + hours(1),
                             .outcome = LineOutcome::kFailed,
                             .exit_status = 7};
    EXPECT_TRUE(history.WriteLines(got.value, {line}).ok());
    if (ended) {
      EXPECT_TRUE(history.EndRun(got.value, {start + hours(1), RunStatus::kErrors, 0, 1, 0}).ok());
    }
    return got.value;
  }
  test::TempDir dir_;
};

TEST_F(RunHistoryTest, UpgradesADatabaseOfThePreviousVersionOnceKeepingItsRows) {
  // The process_metadata table exactly as the previous version created it, with a row.
  std::string columns, nulls;
  for (int i = 1; i <= 31; ++i) {
    columns += (i < 10 ? ", arg0" : ", arg") + std::to_string(i);
    nulls += ", NULL";
  }
  Exec(
      "CREATE TABLE process_metadata (id INTEGER PRIMARY KEY, written_at TEXT NOT NULL, "
      "entry_status INTEGER NOT NULL, entry_log_file TEXT NOT NULL, entry_start TEXT NOT NULL, "
      "entry_stop TEXT NOT NULL, entry_job_id TEXT NOT NULL, argument_count INTEGER NOT NULL" +
      columns + "); INSERT INTO process_metadata VALUES (1, 'w', 0, 'old.log', 's', 'e', 'j', 0" +
      nulls + ")");
  // Read-only use changes nothing.
  ASSERT_TRUE(RunHistory::OpenForReading(Db()).ok());
  EXPECT_EQ(Query("PRAGMA user_version"), Strings{"0"});
  for (int open = 0; open < 2; ++open) {
    Result<std::unique_ptr<RunHistory>> history = RunHistory::OpenForWriting(Db());
    ASSERT_TRUE(history.ok()) << history.message();
  }
  EXPECT_EQ(Query("PRAGMA user_version"), Strings{"4"});
  EXPECT_EQ(Query("SELECT entry_log_file || '/' || ifnull(run_id, 'none') FROM process_metadata"),
            Strings{"old.log/none"});
  // The metadata log on the upgraded file records the run of each row.
  auto factory = MakeSqliteMetadataLogFactory(Db());
  factory->SetRunId("r1");
  Result<std::unique_ptr<ProcessMetadataLog>> log = factory->Create();
  ASSERT_TRUE(log.ok()) << log.message();
  const Status written = log.value->WriteEntry({});
  ASSERT_TRUE(written.ok()) << written.message;
  EXPECT_EQ(Query("SELECT ifnull(run_id, 'none') FROM process_metadata ORDER BY id"),
            (Strings{"none", "r1"}));
}

TEST_F(RunHistoryTest, AnOlderDatabaseIsReadAsItIsAndUpgradedByAWriter) {
  AddRun(*RunHistory::OpenForWriting(Db()).value, "old", kNoon);
  auto exit_status = [&] {
    return RunHistory::OpenForReading(Db()).value->Lines({"old"}).value.at(0).at(0).exit_status;
  };
  EXPECT_EQ(exit_status(), 7);
  Exec(
      "ALTER TABLE runs DROP COLUMN rerun_of; ALTER TABLE run_lines DROP COLUMN exit_status; "
      "ALTER TABLE runs DROP COLUMN expected_end_ms; "
      "ALTER TABLE runs DROP COLUMN expected_end_lower_bound; PRAGMA user_version = 1");
  Result<std::vector<RunSummary>> runs =
      RunHistory::OpenForReading(Db()).value->RecentRuns("/jobs/a.xml", 5);
  ASSERT_TRUE(runs.ok() && runs.value.size() == 1) << runs.message();
  EXPECT_EQ(exit_status(), std::nullopt);
  AddRun(*RunHistory::OpenForWriting(Db()).value, "new", kNoon);  // its rows name both
  EXPECT_EQ(Query("PRAGMA user_version; SELECT count(*) FROM runs"), (Strings{"4", "2"}));
}

TEST_F(RunHistoryTest, RunsOfOneSecondGetIdsOfTheirOwnAndListNewestFirst) {
  auto history = std::move(RunHistory::OpenForWriting(Db()).value);
  const std::string ids[] = {
      AddRun(*history, "20261207_120000_SorelJob~1", kNoon),
      AddRun(*history, "20261207_120000_SorelJob~1", kNoon),
      AddRun(*history, "20261207_130000_SorelJob~2", kNoon + hours(1), false)};
  EXPECT_EQ(ids[0], "20261207_120000_SorelJob~1");
  EXPECT_EQ(ids[1], "20261207_120000_SorelJob~1-2");
  Result<std::vector<RunSummary>> runs = history->RecentRuns("/jobs/a.xml", 2);
  ASSERT_TRUE(runs.ok() && runs.value.size() == 2) << runs.message();
  EXPECT_EQ(runs.value[0].run_id, ids[2]);
  EXPECT_FALSE(runs.value[0].status.has_value());  // never ended: interrupted
  EXPECT_EQ(runs.value[1].run_id, ids[1]);
  EXPECT_EQ(runs.value[1].status, RunStatus::kErrors);
  EXPECT_EQ(runs.value[1].failed_lines, std::vector<int32_t>{10});
  EXPECT_EQ(IsoUtcText(runs.value[1].start), "2026-12-07T12:00:00Z");
  EXPECT_FALSE(history->FindRun("/jobs/b.xml", ids[0]).value.has_value());
}

TEST_F(RunHistoryTest, StatusesAndOutcomesKeepTheirNumbersAndWordsAndUnknownOnesAreNoSuccess) {
  auto history = std::move(RunHistory::OpenForWriting(Db()).value);
  const std::pair<RunStatus, const char*> statuses[] = {{RunStatus::kNoErrors, "0"},
                                                        {RunStatus::kErrors, "1"},
                                                        {RunStatus::kFatal, "2"},
                                                        {RunStatus::kRefused, "5"},
                                                        {RunStatus::kInterrupted, "6"}};
  const std::pair<LineOutcome, const char*> outcomes[] = {
      {LineOutcome::kOk, "ok"},           {LineOutcome::kFailed, "failed"},
      {LineOutcome::kSkipped, "skipped"}, {LineOutcome::kNotRun, "not run"},
      {LineOutcome::kOver, "over"},       {LineOutcome::kInterrupted, "interrupted"}};
  Strings words;
  for (const auto& [status, number] : statuses) {
    const std::string id = AddRun(*history, number, kNoon, false);
    ASSERT_TRUE(history->EndRun(id, {kNoon, status, 0, 0, 0}).ok());
    EXPECT_EQ(Query("SELECT status FROM runs WHERE run_id = '" + id + "'"), Strings{number});
    EXPECT_EQ(history->FindRun("/jobs/a.xml", number).value->status, status) << number;
  }
  std::vector<RunLineRecord> lines;
  for (const auto& [outcome, word] : outcomes) {
    lines.push_back(
        {static_cast<int32_t>(lines.size() + 1), 0, {}, "", {}, {}, outcome, {}, {}, {}});
    words.push_back(word);
  }
  ASSERT_TRUE(history->WriteLines("0", lines).ok());
  EXPECT_EQ(Query("SELECT outcome FROM run_lines WHERE run_id = '0' AND line < 10 ORDER BY line"),
            words);
  auto outcome_of = [&](int32_t line) -> std::optional<LineOutcome> {
    const auto rows = history->Lines({"0"});
    for (const RunLineRecord& row : rows.value.at(0))
      if (row.line == line) return row.outcome;
    return std::nullopt;
  };
  for (const RunLineRecord& line : lines) EXPECT_EQ(outcome_of(line.line), line.outcome);

  // A newer version's status and outcome, or a hand-edited row's.
  Exec(
      "UPDATE runs SET status = 9 WHERE run_id = '0'; "
      "UPDATE run_lines SET outcome = 'OK' WHERE run_id = '0' AND line = 1");
  const RunSummary run = *history->FindRun("/jobs/a.xml", "0").value;
  EXPECT_EQ(run.status, RunStatus::kUnknown);
  EXPECT_STREQ(RunOutcomeWord(run.status), "unknown");
  EXPECT_EQ(outcome_of(1), LineOutcome::kUnknown);

  // Times beyond the clock's range keep their order, and a duration between them fits.
  Exec("UPDATE runs SET start_ms = -9223372036854775808, end_ms = 9223372036854775807");
  const RunSummary far = *history->FindRun("/jobs/a.xml", "0").value;
  EXPECT_TRUE(far.start<kNoon&& * far.end> kNoon && *far.end - far.start > hours(0));
}

// Of all who find a run without an end, one marks it: its started lines without an end are
// interrupted, its counts its lines'. A run with an end is left as it is.
TEST_F(RunHistoryTest, ARunWithoutEndIsMarkedInterruptedOnce) {
  auto history = std::move(RunHistory::OpenForWriting(Db()).value);
  const std::string ended = AddRun(*history, "ended", kNoon),
                    open = AddRun(*history, "open", kNoon, false);
  std::vector<RunLineRecord> lines(3);
  for (int i = 0; i < 3; ++i) lines[i].line = 20 + 10 * i;
  lines[0].start = lines[1].start = lines[1].end = kNoon;
  lines[1].outcome = LineOutcome::kOk;
  ASSERT_TRUE(history->WriteLines(open, lines).ok());
  EXPECT_TRUE(history->MarkInterrupted(open, kNoon + hours(2)).value);
  EXPECT_FALSE(history->MarkInterrupted(open, kNoon + hours(3)).value);
  EXPECT_FALSE(history->MarkInterrupted(ended, kNoon + hours(3)).value);
  EXPECT_EQ(Query("SELECT outcome FROM run_lines WHERE run_id = 'open' ORDER BY line"),
            (Strings{"failed", "interrupted", "ok", "not run"}));
  EXPECT_EQ(Query("SELECT status || ' ' || end_ms || ' ' || succeeded || failed || skipped FROM "
                  "runs ORDER BY run_id"),
            (Strings{"1 1796648400000 010", "6 1796652000000 110"}));
}

TEST_F(RunHistoryTest, ReadingMissingEmptyAndBrokenFiles) {
  // The content (none: no file), whether it is read, whether there is a history.
  const std::tuple<const char*, bool, bool> cases[] = {
      {nullptr, true, false}, {"", true, true}, {"not a database at all", false, false}};
  for (const auto& [content, ok, has_history] : cases) {
    std::remove(Db().c_str());
    if (content) test::WriteWholeFile(Db(), content);
    Result<std::unique_ptr<RunHistory>> history = RunHistory::OpenForReading(Db());
    EXPECT_EQ(history.ok(), ok) << history.message();
    EXPECT_EQ(history.value != nullptr, has_history);
    EXPECT_EQ(history.message().find(Db()) != std::string::npos, !ok) << history.message();
    if (history.value) {
      EXPECT_TRUE(history.value->RecentRuns("/jobs/a.xml", 20).value.empty());
    }
  }
}

TEST_F(RunHistoryTest, PruningTakesOldRunsWithTheirRowsAndNothingElseBatchByBatch) {
  // At once, and in batches smaller than a run's rows: the same rows go.
  for (const PruneBatch batch : {PruneBatch{}, PruneBatch{1, 2}}) {
    std::remove(Db().c_str());
    auto history = std::move(RunHistory::OpenForWriting(Db()).value);
    AddRun(*history, "old", kNoon - hours(24 * 40));
    AddRun(*history, "other", kNoon - hours(24 * 50), true, "/jobs/b.xml");
    AddRun(*history, "new", kNoon - hours(24 * 10));
    std::vector<RunLineRecord> more(4);
    for (int i = 0; i < 4; ++i) more[i].line = 20 + i;
    ASSERT_TRUE(history->WriteLines("old", more).ok());
    Exec(
        "INSERT INTO process_metadata (written_at, entry_status, entry_log_file, entry_start, "
        "entry_stop, entry_job_id, argument_count, run_id) VALUES "
        "('w', 0, 'a', 's', 'e', 'j', 0, 'old'), ('w', 0, 'b', 's', 'e', 'j', 0, 'new'), "
        "('w', 0, 'c', 's', 'e', 'j', 0, NULL), ('w', 0, 'd', 's', 'e', 'j', 0, 'old'), "
        "('w', 0, 'e', 's', 'e', 'j', 0, 'old'), ('w', 0, 'f', 's', 'e', 'j', 0, 'other')");
    Result<int> removed = history->PruneBefore(kNoon - hours(24 * 30), "/jobs/a.xml", batch);
    ASSERT_TRUE(removed.ok()) << removed.message();
    EXPECT_EQ(removed.value, 1);
    EXPECT_EQ(Query("SELECT run_id FROM runs ORDER BY run_id"), (Strings{"new", "other"}));
    EXPECT_EQ(Query("SELECT DISTINCT run_id FROM run_lines ORDER BY run_id"),
              (Strings{"new", "other"}));
    EXPECT_EQ(Query("SELECT entry_log_file FROM process_metadata ORDER BY id"),
              (Strings{"b", "c", "f"}));
    EXPECT_EQ(history->PruneBefore(kNoon - hours(24 * 30), std::nullopt, batch).value, 1);
    EXPECT_EQ(Query("SELECT run_id FROM runs UNION ALL SELECT DISTINCT run_id FROM run_lines"),
              (Strings{"new", "new"}));
  }
}

TEST_F(RunHistoryTest, RunsGoingOnAreRunsWithoutEndWhoseRunnerHoldsTheJobsLock) {
  auto history = std::move(RunHistory::OpenForWriting(Db()).value);
  const std::string a = dir_.File("a.xml"), b = dir_.File("b.xml");
  for (const char* id : {"ended", "dead", "live"}) AddRun(*history, id, kNoon, *id == 'e', a);
  AddRun(*history, "other", kNoon + hours(1), false, b);
  // Beside AddRun's line 10, which failed: started, waiting, skipped, taken as over.
  std::vector<RunLineRecord> lines(4);
  const LineOutcome outcomes[] = {LineOutcome::kNotRun, LineOutcome::kNotRun, LineOutcome::kSkipped,
                                  LineOutcome::kOver};
  for (int i = 0; i < 4; ++i) lines[i] = {20 + 10 * i, i, {}, "", {}, {}, outcomes[i], {}, {}, {}};
  lines[0].seq = 1, lines[0].start = kNoon;
  ASSERT_TRUE(history->WriteLines("live", lines).ok());
  RunLock live = std::move(TryTakeRunLock(RunLockPath(Db(), a).value).value);
  RunLock other = std::move(TryTakeRunLock(RunLockPath(Db(), b).value).value);
  // The other run's runner has not named its run yet.
  ASSERT_TRUE(SetRunLockHolder(live, {"live", 4711, kNoon, a}).ok() &&
              SetRunLockHolder(other, {}).ok());
  Result<std::vector<RunInProgress>> runs = RunsInProgress(Db(), std::nullopt);
  ASSERT_TRUE(runs.ok() && runs.value.size() == 1) << runs.message();
  EXPECT_EQ(runs.value[0].pid, 4711);
  Strings states;
  for (const RunLineRecord& line : runs.value[0].lines)
    states.push_back(LiveStateWord(LiveLineState(line)));
  EXPECT_EQ(states, (Strings{"failed", "running", "waiting", "skipped", "not run"}));
  ASSERT_TRUE(SetRunLockHolder(other, {"other", 4712, kNoon, b}).ok());
  EXPECT_EQ(RunsInProgress(Db(), a).value.size(), 1u);
  live.Release();
  EXPECT_TRUE(RunsInProgress(Db(), a).value.empty());
}

TEST(FileDigestTest, Sha256OfKnownTexts) {
  const std::pair<std::string, std::string> cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000, 'a'), "41edece42d63e8d9bf515a9ba6932e1c20cbc9f5a5d134645adb5db1b9737ea3"},
  };
  for (const auto& [text, digest] : cases) EXPECT_EQ(Sha256Hex(text), digest) << text.size();
  // Given in pieces that end before, on and after the 64-byte blocks.
  for (size_t piece : {1, 55, 63, 64, 65, 129}) {
    Sha256 pieces;
    for (size_t at = 0; at < 1000; at += piece) {
      pieces.Add(std::string(std::min(piece, 1000 - at), 'a'));
    }
    EXPECT_EQ(pieces.Hex(), cases[3].second) << piece;
  }
  EXPECT_FALSE(FileSha256("/nonexistent/job.xml").ok());
  EXPECT_EQ(AbsoluteFileName("jobs/./x/../a.xml"), AbsoluteFileName("jobs/a.xml"));
  EXPECT_NE(AbsoluteFileName("jobs/a.xml"), "jobs/a.xml");
}

}  // namespace
}  // namespace jr
