// Builds a run history database by running the input as SQL on an empty one, and reads run
// "R" of the job "/fuzz/job.xml" from it as `--history JOBFILE [RUNID] [--json]` does. The
// seeds make the tables as a writer does, or not quite (no types, no NOT NULL, a table or a
// column missing), and fill them with what no writer puts there: texts where numbers belong,
// NULLs, huge texts, odd line numbers, times before 1970 or beyond any clock, thousands of
// rows. Whatever the database holds, a read fails with a message or gives valid JSON.

#include <sqlite3.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "insight/critical_path.h"
#include "insight/run_json.h"
#include "model/time_text.h"
#include "store/run_history.h"

namespace {

constexpr const char* kJob = "/fuzz/job.xml";
constexpr const char* kRun = "R";

// Nothing but this database's tables and rows changes (other pragmas could lift the limits
// set below) and nothing random makes a run unrepeatable; no other file is attached.
int Authorize(void*, int action, const char* first, const char* second, const char*, const char*) {
  if (action == SQLITE_PRAGMA) return std::strcmp(first, "user_version") ? SQLITE_DENY : SQLITE_OK;
  return action == SQLITE_FUNCTION && !std::strncmp(second, "random", 6) ? SQLITE_DENY : SQLITE_OK;
}

// A statement that runs for ever (a recursive query without end) is stopped.
int Progress(void* steps) { return ++*static_cast<int*>(steps) > 20000; }

// The database the input's statements make.
std::string Build(const uint8_t* data, size_t size) {
  const std::string path = fuzz::ScratchFile("history.sqlite", "");
  sqlite3* db = nullptr;
  fuzz::Require(sqlite3_open(path.c_str(), &db) == SQLITE_OK);
  fuzz::Require(sqlite3_exec(db, "PRAGMA journal_mode = OFF; PRAGMA max_page_count = 8192", nullptr,
                             nullptr, nullptr) == SQLITE_OK);
  sqlite3_limit(db, SQLITE_LIMIT_LENGTH, 1 << 22);
  sqlite3_limit(db, SQLITE_LIMIT_ATTACHED, 0);
  int steps = 0;
  sqlite3_progress_handler(db, 1000, Progress, &steps);
  sqlite3_set_authorizer(db, Authorize, nullptr);
  const std::string sql(reinterpret_cast<const char*>(data), size);
  sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);  // as far as it goes
  sqlite3_close(db);
  return path;
}

// Whether `status` is a failure, which must say what failed.
bool Failed(const jr::Status& status) {
  fuzz::Require(status.ok() || !status.message.empty());
  return !status.ok();
}

std::string TimeText(const std::optional<jr::TimePoint>& time, jr::TimePoint from) {
  if (!time) return "-";
  return jr::FormatTimeText(*time) +
         jr::DurationText(std::chrono::duration_cast<std::chrono::milliseconds>(*time - from));
}

// The run list and the run, as `--history` prints them and `--history --json` writes them.
void ReadAsHistoryDoes(jr::RunHistory& history) {
  jr::Result<std::vector<jr::RunSummary>> runs = history.RecentRuns(kJob, 20);
  if (Failed(runs.status)) return;
  jr::Json list = jr::Json::array();
  for (const jr::RunSummary& run : runs.value) {
    list.push_back(jr::RunJson(run));
    TimeText(run.end, run.start);
  }
  fuzz::Require(jr::Json::accept(jr::JsonText(list)));
  jr::Result<std::optional<jr::RunSummary>> run = history.FindRun(kJob, kRun);
  if (Failed(run.status) || !run.value) return;
  jr::Result<std::vector<std::vector<jr::RunLineRecord>>> lines = history.Lines({kRun});
  if (Failed(lines.status)) return;
  const std::vector<jr::RunLineRecord>& rows = lines.value.front();
  jr::Result<jr::RunInsight> insight = jr::ReadRunInsight(history, *run.value, rows);
  if (Failed(insight.status)) return;
  fuzz::Require(jr::Json::accept(jr::JsonText(jr::RunDetailJson(*run.value, rows, insight.value))));
  if (insight.value.path) jr::CriticalPathText(*insight.value.path);
  const std::map<int32_t, int32_t> links = jr::RepeatLinks(rows);
  for (const jr::RunLineRecord& line : rows) {
    const auto usual = jr::UsualDurationOf(line, links, insight.value.usual);
    if (jr::IsSlow(line, usual)) TimeText(jr::TimePoint{*usual}, jr::TimePoint{});
    if (line.start) TimeText(line.end, *line.start);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  jr::Result<std::unique_ptr<jr::RunHistory>> history =
      jr::RunHistory::OpenForReading(Build(data, size));
  if (Failed(history.status)) return 0;
  fuzz::Require(history.value != nullptr);
  Failed(history.value->RunsWithoutEnd(std::nullopt).status);
  ReadAsHistoryDoes(*history.value);
  return 0;
}
