// Power lost at a random moment while runs are written to the history, as a runner writes
// them: the database then opens, is consistent, and holds every row whose commit had
// returned. SQLite runs on a file system of the test's own that forgets, at the loss, every
// write since each file's last sync. Replay a failure with POWER_LOSS_SEED=<printed seed>.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <utility>

#include "store/run_history.h"
#include "support/sqlite_rows.h"
#include "support/test_paths.h"

namespace jr {
namespace {

// The default file system, but what a write or truncation since the file's last sync
// replaced is kept, per file, so that a loss can put it back; no write reaches a file after
// the loss. A sync only forgets what was kept: the simulation is the disk.
struct PowerLoss {
  struct Undo {
    sqlite3_int64 offset;
    std::string bytes;
  };
  struct Unsynced {
    sqlite3_int64 size;  // at the last sync
    std::vector<Undo> undo;
  };
  struct File {
    sqlite3_file file;
    sqlite3_file* real;
    const char* path;  // null for a temporary file
  };

  static PowerLoss& Get() {
    static PowerLoss power;
    return power;
  }
  // Counts a call that changes a file, which may be the one the power goes with; false from
  // the loss on.
  bool Powered() {
    if (!lost && ++calls == lose_at) Lose();
    return !lost;
  }
  void Remember(File* file, sqlite3_int64 from, sqlite3_int64 to) {
    if (file->path == nullptr) return;
    sqlite3_int64 size = 0;
    file->real->pMethods->xFileSize(file->real, &size);
    auto unsynced = files.try_emplace(file->path, Unsynced{size, {}}).first;
    if (to = std::min(to, size); from >= to) return;
    std::string bytes(static_cast<size_t>(to - from), '\0');
    file->real->pMethods->xRead(file->real, bytes.data(), static_cast<int>(bytes.size()), from);
    unsynced->second.undo.push_back({from, std::move(bytes)});
  }
  void Lose() {
    lost = true;
    for (auto& [path, unsynced] : files) {
      auto* disk = static_cast<sqlite3_file*>(sqlite3_malloc(base->szOsFile));
      int flags = 0;
      if (base->xOpen(base, path.c_str(), disk, SQLITE_OPEN_READWRITE | SQLITE_OPEN_MAIN_JOURNAL,
                      &flags) == SQLITE_OK) {
        // A torn write: the first sector of the newest one reached the disk.
        if (tear && !unsynced.undo.empty() && unsynced.undo.back().bytes.size() > 512) {
          unsynced.undo.back().offset += 512;
          unsynced.undo.back().bytes.erase(0, 512);
        }
        for (auto undo = unsynced.undo.rbegin(); undo != unsynced.undo.rend(); ++undo) {
          disk->pMethods->xWrite(disk, undo->bytes.data(), static_cast<int>(undo->bytes.size()),
                                 undo->offset);
        }
        disk->pMethods->xTruncate(disk, unsynced.size);
      }
      if (disk->pMethods != nullptr) disk->pMethods->xClose(disk);
      sqlite3_free(disk);
    }
    files.clear();
  }
  // The power goes with the `at`-th call that changes a file from now (never for 0), tearing
  // the newest write of each file when `torn`, and comes back if it had gone; returns the
  // number of such calls since the last Arm.
  int64_t Arm(int64_t at, bool torn = false) {
    std::lock_guard<std::mutex> lock(mutex);
    const int64_t counted = calls;
    files.clear();
    lost = false;
    calls = 0;
    lose_at = at;
    tear = torn;
    return counted;
  }

  std::mutex mutex;  // the checkpoint copier writes beside the writer
  sqlite3_vfs* base = nullptr;
  sqlite3_vfs vfs{};
  std::map<std::string, Unsynced> files;
  int64_t calls = 0, lose_at = 0;
  bool lost = false, tear = false;
};

PowerLoss::File* Of(sqlite3_file* file) { return reinterpret_cast<PowerLoss::File*>(file); }
sqlite3_file* Real(sqlite3_file* file) { return Of(file)->real; }

// A call that changes nothing on the disk, passed straight through.
template <auto method, typename... Args>
auto Through(sqlite3_file* f, Args... args) {
  return (Real(f)->pMethods->*method)(Real(f), args...);
}

using M = sqlite3_io_methods;
const sqlite3_io_methods kPowerLossMethods = {
    2,
    Through<&M::xClose>,
    Through<&M::xRead>,
    [](sqlite3_file* f, const void* data, int amount, sqlite3_int64 offset) {
      PowerLoss& power = PowerLoss::Get();
      std::lock_guard<std::mutex> lock(power.mutex);
      if (!power.Powered()) return SQLITE_IOERR_WRITE;
      power.Remember(Of(f), offset, offset + amount);
      return Real(f)->pMethods->xWrite(Real(f), data, amount, offset);
    },
    [](sqlite3_file* f, sqlite3_int64 size) {
      PowerLoss& power = PowerLoss::Get();
      std::lock_guard<std::mutex> lock(power.mutex);
      if (!power.Powered()) return SQLITE_IOERR_TRUNCATE;
      power.Remember(Of(f), size, INT64_MAX);
      return Real(f)->pMethods->xTruncate(Real(f), size);
    },
    [](sqlite3_file* f, int) {
      PowerLoss& power = PowerLoss::Get();
      std::lock_guard<std::mutex> lock(power.mutex);
      if (!power.Powered()) return SQLITE_IOERR_FSYNC;
      if (Of(f)->path != nullptr) power.files.erase(Of(f)->path);
      return SQLITE_OK;
    },
    Through<&M::xFileSize>,
    Through<&M::xLock>,
    Through<&M::xUnlock>,
    Through<&M::xCheckReservedLock>,
    Through<&M::xFileControl>,
    Through<&M::xSectorSize>,
    Through<&M::xDeviceCharacteristics>,
    Through<&M::xShmMap>,
    Through<&M::xShmLock>,
    Through<&M::xShmBarrier>,
    Through<&M::xShmUnmap>,
    nullptr,
    nullptr};

int OpenLosingPower(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* out) {
  PowerLoss& power = PowerLoss::Get();
  PowerLoss::File* file = Of(f);
  file->real = reinterpret_cast<sqlite3_file*>(file + 1);
  file->path = name;  // SQLite keeps it until the file is closed
  const int opened = power.base->xOpen(power.base, name, file->real, flags, out);
  file->file.pMethods = file->real->pMethods != nullptr ? &kPowerLossMethods : nullptr;
  return opened;
}

int DeleteLosingPower(sqlite3_vfs*, const char* name, int sync_folder) {
  PowerLoss& power = PowerLoss::Get();
  std::lock_guard<std::mutex> lock(power.mutex);
  if (power.lost) return SQLITE_OK;
  power.files.erase(name);
  return power.base->xDelete(power.base, name, sync_folder);
}

// What a round had committed when the power went: line numbers by run, the ended runs.
struct Committed {
  std::map<std::string, std::set<int32_t>> lines;
  std::set<std::string> ended;
};

// Runs of a few lines, written as a runner writes them: held, committed at each pass's end,
// and for every other line also before its pass starts programs, without waiting for the
// disk, as a runner lets other runs in; the pass's end then has nothing left to commit. Some
// passes' ends have their sync go on beside the writer, and count once it was waited for,
// after the next line's rows were written, as a runner waits before it starts the next line.
Committed WriteRuns(const std::string& database) {
  const TimePoint noon = TimePoint(std::chrono::seconds(1796644800));
  Committed done, held;
  std::optional<Committed> syncing;
  Result<std::unique_ptr<RunHistory>> history = RunHistory::OpenForWriting(database);
  if (!history.ok()) return done;
  history.value->HoldWrites();
  for (int run = 0; run < 3; ++run) {
    Result<std::string> id =
        history.value->BeginRun({.run_id = "run" + std::to_string(run), .job_file = "/jobs/a.xml"});
    if (!id.ok()) return done;
    held.lines[id.value];
    for (int32_t line = 10; line <= 60; line += 10) {
      RunLineRecord row;
      row.line = row.position = line;
      row.description = std::string(static_cast<size_t>(line) * 20, 'd');
      row.start = row.end = noon;
      row.outcome = LineOutcome::kOk;
      if (!history.value->WriteLines(id.value, {row}).ok()) return done;
      held.lines[id.value].insert(line);
      if (line == 60 && !history.value->EndRun(id.value, RunEnd{noon}).ok()) return done;
      if (line == 60) held.ended.insert(id.value);
      if (line % 20 == 10 && !history.value->Flush(false, Durability::kCommitted).ok()) {
        return done;
      }
      if (syncing) {
        if (!history.value->AwaitDisk().ok()) return done;
        done = *std::exchange(syncing, std::nullopt);
      }
      const bool beside = (run + line / 10) % 3 == 0;
      if (!history.value->Flush(false, beside ? Durability::kSyncing : Durability::kOnDisk).ok()) {
        return done;
      }
      if (beside) {
        syncing = held;
        continue;
      }
      done = held;
    }
  }
  return done;
}

TEST(PowerLossTest, EveryCommitThatReturnedSurvivesALossAtAnyMoment) {
  test::TempDir dir;
  PowerLoss& power = PowerLoss::Get();
  power.base = sqlite3_vfs_find(nullptr);
  power.vfs = *power.base;
  power.vfs.zName = "power-loss";
  power.vfs.szOsFile = static_cast<int>(sizeof(PowerLoss::File)) + power.base->szOsFile;
  power.vfs.xOpen = &OpenLosingPower;
  power.vfs.xDelete = &DeleteLosingPower;
  ASSERT_EQ(sqlite3_vfs_register(&power.vfs, /*makeDflt=*/1), SQLITE_OK);
  const std::shared_ptr<void> unregister(nullptr,
                                         [&power](void*) { sqlite3_vfs_unregister(&power.vfs); });
  power.Arm(0);
  WriteRuns(dir.File("whole.sqlite"));
  const int64_t calls = power.Arm(0);
  const char* given = std::getenv("POWER_LOSS_SEED");
  const unsigned seed = given != nullptr ? std::stoul(given) : std::random_device()();
  std::cout << "POWER_LOSS_SEED=" << seed << ", " << calls << " writes and syncs a round\n";
  std::mt19937 random(seed);
  for (int round = 0; round < 60; ++round) {
    const std::string database = dir.File(std::to_string(round) + ".sqlite");
    power.Arm(std::uniform_int_distribution<int64_t>(1, calls)(random), random() % 2 == 0);
    const Committed done = WriteRuns(database);
    power.Arm(0);
    SCOPED_TRACE("round " + std::to_string(round) + " of POWER_LOSS_SEED=" + std::to_string(seed));
    ASSERT_EQ(test::SelectColumn(database, "PRAGMA integrity_check"),
              std::vector<std::string>{"ok"});
    Result<std::unique_ptr<RunHistory>> history = RunHistory::OpenForWriting(database);
    ASSERT_TRUE(history.ok()) << history.message();
    for (const auto& [id, lines] : done.lines) {
      Result<std::optional<RunSummary>> run = history.value->FindRun("/jobs/a.xml", id);
      ASSERT_TRUE(run.ok() && run.value) << id;
      EXPECT_TRUE(run.value->end || done.ended.count(id) == 0) << id;
      Result<std::vector<std::vector<RunLineRecord>>> rows = history.value->Lines({id});
      ASSERT_TRUE(rows.ok()) << rows.message();
      std::set<int32_t> found;
      for (const RunLineRecord& row : rows.value[0]) found.insert(row.line);
      EXPECT_TRUE(std::includes(found.begin(), found.end(), lines.begin(), lines.end())) << id;
    }
  }
}

}  // namespace
}  // namespace jr
