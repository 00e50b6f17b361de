#pragma once
// What the benchmarks of runs share: the surroundings of a run without the outside world,
// lines running /bin/true, a run kept as RunJob keeps it, and the same workload run by GNU
// make for comparison.

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/scheduler.h"
#include "run/run_record.h"
#include "store/run_history.h"
#include "store/sqlite_metadata_log.h"

extern char** environ;

namespace jr::bench {

using std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

inline double SecondsSince(SteadyClock::time_point start) {
  return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

class MemoryMetadata final : public ProcessMetadataLogFactory {
 public:
  class Log final : public ProcessMetadataLog {
   public:
    Status WriteEntry(const std::vector<MetadataValue>&) override { return Status::Ok(); }
  };
  Result<std::unique_ptr<ProcessMetadataLog>> Create() override {
    return std::unique_ptr<ProcessMetadataLog>(std::make_unique<Log>());
  }
};

class Nowhere final : public RegistryReader, public EventLogSink, public Notifier {
 public:
  std::optional<RegistryValue> Query(std::string_view, std::string_view) override { return {}; }
  int Write(std::string_view, uint16_t, uint16_t, uint32_t, std::string_view) override { return 0; }
  void ShowMessage(std::string_view, std::string_view, MessageIcon) override {}
};

struct Surroundings {
  explicit Surroundings(ProcessLauncher& launcher) : Surroundings(launcher, memory) {}
  Surroundings(ProcessLauncher& launcher, ProcessMetadataLogFactory& metadata)
      : env{clock, launcher, RealFileSystem(), nowhere, nowhere, metadata, nowhere} {}
  SystemClock clock;
  Nowhere nowhere;
  MemoryMetadata memory;
  RunEnv env;
};

// A bench whose run could not keep its rows would time less than a real run does.
class StopOnWarning final : public RunObserver {
 public:
  void Warning(std::string_view text) override {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
    std::exit(1);
  }
};

inline std::string TempFolder() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "scheduler-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    std::exit(1);
  }
  return pattern;
}

// User-script lines running /bin/true with a status and a log file in `folder`; each
// waits for the one before when `chain`; each with a time limit of `limit` seconds (0: none).
inline void AddTrueLines(RunLines& lines, int count, bool chain, const std::string& folder,
                         int32_t limit) {
  for (int i = 1; i <= count; ++i) {
    RunLine& line = *lines.Add(i);
    line.EditDefinition().type = "User Batchfile";
    line.SetProgram("/bin/true");
    line.SetStatusFileName(folder + "/S_" + std::to_string(i) + "Stat.txt");
    line.SetLogFileName(folder + "/S_" + std::to_string(i) + "Log.txt");
    line.SetProgramArguments({line.StatusFileName(), line.LogFileName(), "20030307_140509"});
    if (chain && i > 1) {
      line.EditDefinition().wait_for = ReadJobLineRefs(std::to_string(i - 1)).value;
    }
    line.EditDefinition().time_limit = limit;
  }
}

// The lines run as RunJob runs them: the run's row, its lines' rows and their metadata
// rows in the database `folder`/metadata.sqlite, which every run of the bench shares.
inline double RunnerSeconds(int count, bool chain, int maximum, const std::string& folder,
                            int32_t limit = 0) {
  static int runs = 0;
  const std::string database = folder + "/metadata.sqlite";
  auto launcher = MakeSystemProcessLauncher();
  auto metadata = MakeSqliteMetadataLogFactory(database);
  Surroundings surroundings(*launcher, *metadata);
  Result<std::unique_ptr<RunHistory>> history = RunHistory::OpenForWriting(database);
  if (!history.ok()) {
    std::fprintf(stderr, "%s\n", history.message().c_str());
    std::exit(1);
  }
  RunLines lines;
  AddTrueLines(lines, count, chain, folder, limit);
  LauncherRunControl control(*launcher, [] { return false; });
  StopOnWarning stop;
  const RunObservers told{&stop};
  RunRecorder recorder(history.value.get(), told, surroundings.clock);
  RunStart run;
  run.run_id = "bench" + std::to_string(getpid()) + "-" + std::to_string(++runs);
  run.job_file = folder + "/bench.xml";
  run.run_folder = folder;
  auto start = SteadyClock::now();
  run.start = surroundings.clock.Now();
  recorder.Begin(run);
  metadata->SetRunId(recorder.run_id());
  recorder.Prepared(lines);
  SchedulerOutcome outcome = RunScheduler(lines, maximum, surroundings.env, control, {&recorder});
  recorder.End(lines, ErrorLevel::kNoErrors);
  double seconds = SecondsSince(start);
  if (outcome.end != SchedulerOutcome::End::kAllOver) {
    std::fprintf(stderr, "run ended early: %s\n", outcome.failure.c_str());
    std::exit(1);
  }
  return seconds;
}

// What a program run to its end took.
struct Spawned {
  double seconds = 0;   // wall time
  double cpu = 0;       // CPU time, its children included
  long max_rss_kb = 0;  // its peak resident memory
};

// Runs `argv` (argv[0] found on PATH) to its end; exits when it cannot be started or fails
// (exit status 1 is no failure: make -q gives it for a target out of date).
inline Spawned Spawn(std::vector<std::string> argv, bool quiet = false) {
  std::vector<char*> pointers;
  for (std::string& arg : argv) pointers.push_back(arg.data());
  pointers.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (quiet) {
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
  }
  auto start = SteadyClock::now();
  pid_t pid = 0;
  const int failed =
      posix_spawnp(&pid, argv[0].c_str(), &actions, nullptr, pointers.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) {
    std::fprintf(stderr, "cannot start %s\n", argv[0].c_str());
    std::exit(1);
  }
  int status = 0;
  struct rusage usage {};
  if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
      (WEXITSTATUS(status) != 0 && WEXITSTATUS(status) != 1)) {
    std::fprintf(stderr, "%s failed\n", argv[0].c_str());
    std::exit(1);
  }
  Spawned spawned;
  spawned.seconds = SecondsSince(start);
  spawned.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  spawned.max_rss_kb = usage.ru_maxrss;
  return spawned;
}

// Runs make quietly with `arguments`; returns its wall time, and its CPU time (its children
// included) in `cpu`.
inline double MakeSeconds(const std::vector<std::string>& arguments, double* cpu = nullptr) {
  std::vector<std::string> argv{"make", "-s"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  const Spawned spawned = Spawn(std::move(argv));
  if (cpu) *cpu = spawned.cpu;
  return spawned.seconds;
}

// A makefile of `count` phony targets running /bin/true; each needs the one before when
// `chain`.
inline std::string WriteTrueMakefile(const std::string& folder, int count, bool chain) {
  std::string path = folder + "/true_" + std::to_string(count) + (chain ? "_chain" : "") + ".mk";
  std::ofstream out(path);
  out << ".PHONY: all";
  for (int i = 1; i <= count; ++i) out << " s" << i;
  out << "\nall:";
  if (chain) {
    out << " s" << count << "\n";
  } else {
    for (int i = 1; i <= count; ++i) out << " s" << i;
    out << "\n";
  }
  for (int i = 1; i <= count; ++i) {
    out << "s" << i << ":";
    if (chain && i > 1) out << " s" << (i - 1);
    out << "\n\t/bin/true\n";
  }
  return path;
}

}  // namespace jr::bench
