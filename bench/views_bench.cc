// The command line's views of a job of 100,000 lines and of a history of 1,000,000 line
// rows, each figure beside its limit: reading and checking the job, its graph, the runs going
// on and their expected end, the history lists, and a prune of the history while a run
// commits its rows (the longest of those commits is what a running job is stalled by).
//   views_bench [LINES] [NIGHTS]   (defaults 100000 and 10000: 100 line rows a night)
// $VIEWS_BENCH_PROGRAM names another jobrunner to time, an older one for a before figure.

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "history_db.h"
#include "insight/expected_end.h"
#include "insight/runs_in_progress.h"
#include "insight/usual_durations.h"
#include "jobfile/job_file.h"
#include "large_job.h"
#include "spawn_timing.h"
#include "store/run_lock_holder.h"

namespace {

namespace fs = std::filesystem;
using jr::bench::Measure;
using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

bool Print(const std::string& what, double ms, double limit_ms, double cpu_ms = -1) {
  std::printf("  %-44s %8.1f ms", what.c_str(), ms);
  if (cpu_ms >= 0) std::printf(", processor %7.1f ms", cpu_ms);
  std::printf("  (target < %.0f ms)%s\n", limit_ms, ms <= limit_ms ? "" : "  MISSED");
  return ms <= limit_ms;
}

// The run of `job` that `lines` make, ended when `ended`; its id.
std::string AddRun(jr::RunHistory& history, const std::string& job, const std::string& id,
                   jr::TimePoint start, int lines, bool ended) {
  jr::RunStart run;
  run.run_id = id;
  run.job_file = job;
  run.description = "Nightly extraction of the sales data mart";
  // As a run records it, so that the history finds the file unchanged and follows its waits.
  if (jr::Result<std::string> digest = jr::JobFileContentSha256(job); digest.ok()) {
    run.job_sha256 = digest.value;
  }
  run.start = start;
  const std::string run_id = history.BeginRun(run).value;
  std::vector<jr::RunLineRecord> rows;
  // The job's own numbers (see LargeJob), so that the waits of its file name these lines.
  const int step = std::clamp(jr::kHighestJobLineNr / std::max(lines, 1), 1, 10);
  jr::TimePoint at = start;
  for (int i = 0; i < lines; ++i) {
    jr::RunLineRecord line;
    line.line = step * (i + 1);
    line.position = i;
    line.description = "Load step " + std::to_string(i + 1);
    // A run going on has done its first half and runs the next line.
    if (ended || i <= lines / 2) {
      line.seq = i;
      line.start = at;
      at += std::chrono::seconds(1 + i % 3);
      if (ended || i < lines / 2) {
        line.end = at;
        line.outcome = jr::LineOutcome::kOk;
        line.exit_code = 0;
      }
    }
    rows.push_back(line);
  }
  (void)history.WriteLines(run_id, rows);
  if (ended) (void)history.EndRun(run_id, {at, jr::RunStatus::kNoErrors, lines, 0, 0});
  return run_id;
}

}  // namespace

int main(int argc, char** argv) {
  const int lines = argc > 1 ? std::atoi(argv[1]) : 100000;
  const int nights = argc > 2 ? std::atoi(argv[2]) : 10000;
  const fs::path folder = fs::temp_directory_path() / ("views_bench." + std::to_string(getpid()));
  fs::create_directories(folder);
  const std::string db = (folder / "metadata.sqlite").string();
  const std::string job_file = (folder / "big.xml").string();
  setenv("JOBRUNNER_METADATA_DB", db.c_str(), 1);
  setenv("JOBRUNNER_REGISTRY", (folder / "registry.reg").c_str(), 1);
  const char* other = std::getenv("VIEWS_BENCH_PROGRAM");
  const std::string program =
      other ? std::string(other)
            : (fs::canonical("/proc/self/exe").parent_path().parent_path() / "bin" / "jobrunner")
                  .string();
  bool ok = true;

  std::printf("a job of %d lines\n", lines);
  std::ofstream(folder / "step.sh") << "#!/bin/sh\n";
  if (!jr::WriteJobFile(job_file, jr::bench::LargeJob(lines, folder.string()), "now").ok) {
    std::printf("cannot write %s\n", job_file.c_str());
    return 1;
  }
  for (const auto& [what, args, limit] :
       {std::tuple<const char*, std::vector<std::string>, double>{
            "--check JOBFILE", {"--check", job_file}, 2000},
        {"--graph JOBFILE", {"--graph", job_file}, 2000}}) {
    const jr::bench::Timing timing = Measure(program, args, 3);
    ok = Print(what, timing.wall_ms, limit, timing.cpu_ms) && ok;
  }

  std::printf("a history of %d nights of a 100-line job (%d line rows) and runs of that job\n",
              nights, nights * 100);
  auto start = Clock::now();
  if (!jr::bench::FillHistoryDatabase(db, nights, 100)) {
    std::printf("could not fill the database %s\n", db.c_str());
    return 1;
  }
  std::printf("  %-44s %8.1f ms\n", "filled in", MsSince(start));
  std::string ended_run, live_run;
  jr::RunLock lock;
  {
    auto history = jr::RunHistory::OpenForWriting(db);
    const jr::TimePoint now = std::chrono::system_clock::now();
    ended_run = AddRun(*history.value, job_file, "ended", now - std::chrono::hours(48), lines, true);
    live_run = AddRun(*history.value, job_file, "live", now - std::chrono::hours(1), lines, false);
    // The run goes on as far as anybody asking can tell: its runner (this process) holds the
    // job's lock.
    lock = std::move(jr::TryTakeRunLock(jr::RunLockPath(db, job_file).value).value);
    if (!jr::SetRunLockHolder(lock, {live_run, getpid(), now, job_file}).ok()) return 1;
  }
  {
    // What the runner of the run going on does after a line's end: it foresees its end from
    // the lines as they stand (its usual durations and wait lists were read at its start),
    // and keeps the figure in the history for whoever asks.
    auto runs = jr::RunsInProgress(db, job_file);
    auto history = jr::RunHistory::OpenForWriting(db);
    jr::JobDocument job;
    if (!runs.ok() || runs.value.size() != 1 || !history.ok() ||
        jr::ReadJobFile(job_file, job).status != jr::ReadStatus::kLoaded) {
      std::printf("the run going on is not found\n");
      return 1;
    }
    const jr::RunInProgress& live = runs.value.front();
    const auto usual = jr::ReadUsualDurations(*history.value, job_file, live.run.start);
    std::vector<jr::ForeseenLine> foreseen =
        jr::ForeseenLinesOf(live.lines, jr::WaitListsOf(job.table, job.table.LineCount()));
    // The runner's first figure, as its first line started, made the plan's lines.
    jr::Foresight foresight;
    const int32_t maximum = jr::ParseMaxParallel(job.MaxParallel).value;
    (void)foresight.Expect(foreseen, maximum, usual.value, std::chrono::system_clock::now());
    const auto running = std::find_if(foreseen.begin(), foreseen.end(), [](const auto& line) {
      return line.state == jr::ForeseenLine::State::kRunning;
    });
    if (running != foreseen.end()) running->state = jr::ForeseenLine::State::kOver;
    start = Clock::now();
    const jr::ExpectedEnd end =
        foresight.Expect(foreseen, maximum, usual.value, std::chrono::system_clock::now());
    ok = Print("expected end after a line's end (in the runner)", MsSince(start), 50) && end.end &&
         ok;
    if (!history.value->KeepExpectedEnd(live.run.run_id, end).ok()) return 1;
  }
  struct Case {
    std::string what;
    std::vector<std::string> args;
    double limit;
    int runs;
  } cases[] = {
      {"--history JOBFILE", {"--history", jr::bench::kJobFile}, 50, 5},
      {"--history JOBFILE --json", {"--history", jr::bench::kJobFile, "--json"}, 50, 5},
      {"--history JOBFILE RUNID (" + std::to_string(lines) + " lines)",
       {"--history", job_file, ended_run},
       1000,
       1},
      {"--status JOBFILE (" + std::to_string(lines) + " lines)", {"--status", job_file}, 200, 1},
      {"--jobs", {"--jobs", "--root", folder.string()}, 200, 3},
  };
  for (const Case& c : cases) {
    const jr::bench::Timing timing = Measure(program, c.args, c.runs);
    ok = Print(c.what, timing.wall_ms, c.limit, timing.cpu_ms) && ok;
  }

  // A prune of most of the history while a small job commits a run every few milliseconds.
  std::atomic<bool> pruning = true;
  double longest_commit = 0;
  int commits = 0;
  std::thread runner([&] {
    auto history = jr::RunHistory::OpenForWriting(db);
    if (!history.ok()) return;
    for (; pruning; ++commits) {
      const auto begun = Clock::now();
      AddRun(*history.value, "/srv/jobs/small.xml", "small", std::chrono::system_clock::now(), 5,
             true);
      longest_commit = std::max(longest_commit, MsSince(begun));
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  start = Clock::now();
  const jr::bench::Timing prune = Measure(
      program, {"--history", "--prune", std::to_string(nights / 5), jr::bench::kJobFile}, 1);
  const double prune_ms = MsSince(start);
  pruning = false;
  runner.join();
  std::printf("  %-44s %8.1f ms%s\n", "--history --prune (4/5 of the history)", prune_ms,
              prune.wall_ms < 1e9 ? "" : "  FAILED");
  ok = Print("longest run commit of " + std::to_string(commits) + " during the prune",
             longest_commit, 100) &&
       prune.wall_ms < 1e9 && ok;
  lock.Release();
  fs::remove_all(folder);
  return ok ? 0 : 1;
}
