// Figures of the scheduler, each beside the same workload run by GNU make in the same run.
//
//   1. a chain of lines, each waiting for the one before, each running /bin/true as a user
//      script: per-step cost (T(100) - T(1)) / 99
//   2. 1000 independent lines running /bin/true, at most 8 at a time: per-line cost
//      (T(1000) - T(1)) / 999
//   3. one pass over 10,000 waiting lines with wait lists
//   4. CPU time of the runner while one child sleeps 5 s
//
// Usage: scheduler_bench [--quick]   (--quick: fewer repetitions, 1 s sleep in figure 4)
//        scheduler_bench --chain N    (one run of a chain of N lines and nothing else, to be
//                                      watched from outside, e.g. counted by strace -c -f)
// Figures 1 and 2 keep their runs as a real run does: the run history and the process
// metadata rows go to a SQLite database in a temporary folder, so what they cost is in the
// figures. Figures 3 and 4 send metadata entries to an in-memory stand-in.

#include <sys/resource.h>

#include <cstring>

#include "bench_runs.h"

namespace jr {
namespace {

using namespace bench;
using std::chrono::milliseconds;

struct PerItem {
  double runner;
  double make;
  double runner_limited;  // every line with a generous time limit; 0 unless asked for
};

PerItem PerItemCost(int n, bool chain, int maximum, int repetitions, const std::string& folder,
                    bool with_limits = false) {
  std::string make_one = WriteTrueMakefile(folder, 1, chain);
  std::string make_n = WriteTrueMakefile(folder, n, chain);
  std::vector<std::string> jobs;
  if (maximum > 1) jobs.push_back("-j" + std::to_string(maximum));
  auto make_args = [&](const std::string& file) {
    std::vector<std::string> args = jobs;
    args.push_back("-f");
    args.push_back(file);
    return args;
  };
  std::vector<double> runner_one, runner_n, make_one_t, make_n_t, limited_one, limited_n;
  constexpr int32_t kGenerousLimit = 3600;
  for (int r = 0; r < repetitions; ++r) {
    runner_one.push_back(RunnerSeconds(1, chain, maximum, folder));
    runner_n.push_back(RunnerSeconds(n, chain, maximum, folder));
    if (with_limits) {
      limited_one.push_back(RunnerSeconds(1, chain, maximum, folder, kGenerousLimit));
      limited_n.push_back(RunnerSeconds(n, chain, maximum, folder, kGenerousLimit));
    }
    make_one_t.push_back(MakeSeconds(make_args(make_one)));
    make_n_t.push_back(MakeSeconds(make_args(make_n)));
  }
  return {(Median(runner_n) - Median(runner_one)) / (n - 1),
          (Median(make_n_t) - Median(make_one_t)) / (n - 1),
          with_limits ? (Median(limited_n) - Median(limited_one)) / (n - 1) : 0.0};
}

// A launcher whose one child runs for ever, for timing passes without processes.
class EverRunning final : public ProcessLauncher {
 public:
  ProcessHandle Start(const StartRequest&) override { return ++next_; }
  bool IsRunning(ProcessHandle&) override { return true; }
  void Forget(ProcessHandle) override {}
  void WaitForExit(milliseconds) override {}
  void BeginTerminate(ProcessHandle, milliseconds) override {}
  void TerminateAll(milliseconds) override {}
  void Terminate(ProcessHandle, milliseconds) override {}

 private:
  ProcessHandle next_ = 0;
};

class PassTimer final : public RunControl {
 public:
  explicit PassTimer(int passes) : passes_(passes) {}
  void Pause(milliseconds) override { marks_.push_back(SteadyClock::now()); }
  bool StopRequested() const override { return static_cast<int>(marks_.size()) > passes_; }
  std::vector<double> PassSeconds() const {
    std::vector<double> seconds;
    for (size_t i = 1; i < marks_.size(); ++i) {
      seconds.push_back(std::chrono::duration<double>(marks_[i] - marks_[i - 1]).count());
    }
    return seconds;
  }

 private:
  int passes_;
  std::vector<SteadyClock::time_point> marks_;
};

double PassOverWaitingLines(int waiting) {
  EverRunning launcher;
  Surroundings surroundings(launcher);
  RunLines lines;
  // Line 1 runs for ever. Lines 2 to 4 are over and were repeated; their copies (5 to 7)
  // are over too. Every waiting line waits for 2, 3 and 4 and their copies, then for 1.
  lines.Add(1)->SetProgram("/bin/true");
  for (int32_t i = 2; i <= 4; ++i) {
    RunLine& over = *lines.Add(i);
    over.SetState(LineState::kSucceeded);
    over.SetRepeated(true);
    RunLine& copy = *lines.Add(i + 3);
    copy.SetOriginalJobLineNr(i);
    copy.SetState(LineState::kSucceeded);
  }
  for (int32_t i = 0; i < waiting; ++i) {
    RunLine& line = *lines.Add(100 + i);
    line.SetProgram("/bin/true");
    line.EditDefinition().wait_for = ReadJobLineRefs("2, 3,4,1").value;
  }
  PassTimer timer(12);
  // Room for a second line, so that every pass reads every wait list: with the one place
  // taken, nothing would be looked at.
  RunScheduler(lines, 2, surroundings.env, timer, {});
  std::vector<double> passes = timer.PassSeconds();
  return Median(passes);
}

// make deciding `count` up-to-date targets: the nearest thing make has to a pass.
double MakeUpToDateSeconds(const std::string& folder, int count) {
  std::string dir = folder + "/uptodate_" + std::to_string(count);
  std::filesystem::create_directories(dir);
  std::ofstream(dir + "/base") << "x";
  std::ofstream out(dir + "/Makefile");
  out << "all:";
  for (int i = 0; i < count; ++i) out << " t" << i;
  out << "\n";
  for (int i = 0; i < count; ++i) out << "t" << i << ": base\n\t/bin/true\n";
  out.close();
  // The targets are newer than base.
  for (int i = 0; i < count; ++i) std::ofstream(dir + "/t" + std::to_string(i)) << "";
  std::vector<double> times;
  for (int r = 0; r < 5; ++r) times.push_back(MakeSeconds({"-q", "-C", dir}));
  return Median(times);
}

double CpuSecondsOfSelf() {
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double RunnerCpuWhileChildSleeps(int seconds, const std::string& folder) {
  auto launcher = MakeSystemProcessLauncher();
  Surroundings surroundings(*launcher);
  RunLines lines;
  RunLine& line = *lines.Add(1);
  line.SetProgram("/bin/sleep");
  line.SetProgramArguments({std::to_string(seconds)});
  line.SetStatusFileName(folder + "/sleep_Stat.txt");
  LauncherRunControl control(*launcher, [] { return false; });
  double before = CpuSecondsOfSelf();
  RunScheduler(lines, 1, surroundings.env, control, {});
  return CpuSecondsOfSelf() - before;
}

int Main(int argc, char** argv) {
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  const int repetitions = quick ? 3 : 7;
  const int sleep_seconds = quick ? 1 : 5;
  const std::string folder = TempFolder();
  if (argc > 2 && std::strcmp(argv[1], "--chain") == 0) {
    const double seconds = RunnerSeconds(std::atoi(argv[2]), true, 1, folder);
    std::printf("chain of %s lines: %.3f ms\n", argv[2], seconds * 1e3);
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    return 0;
  }

  PerItem chain = PerItemCost(100, true, 1, repetitions, folder, /*with_limits=*/true);
  std::printf(
      "1. chain of 100 lines, /bin/true: runner %.3f ms/step, make %.3f ms/step, ratio %.2f"
      " (target <= 1.5)\n",
      chain.runner * 1e3, chain.make * 1e3, chain.runner / chain.make);
  std::printf(
      "1b. the same chain, every line with a time limit of 3600 s: runner %.3f ms/step, "
      "%+.1f%% against no limits (target within 5%%)\n",
      chain.runner_limited * 1e3, (chain.runner_limited / chain.runner - 1.0) * 100.0);

  PerItem wide = PerItemCost(1000, false, 8, quick ? 1 : 3, folder);
  std::printf(
      "2. 1000 independent lines, /bin/true, maximum 8: runner %.3f ms/line (%.2f s for "
      "1000), make -j8 %.3f ms/line (%.2f s), ratio %.2f (target <= 1.5)\n",
      wide.runner * 1e3, wide.runner * 999, wide.make * 1e3, wide.make * 999,
      wide.runner / wide.make);

  double pass = PassOverWaitingLines(10000);
  double make_walk = MakeUpToDateSeconds(folder, 10000) - MakeUpToDateSeconds(folder, 1);
  std::printf(
      "3. one pass over 10,000 waiting lines with wait lists: runner %.2f ms (target < 20);"
      " make deciding 10,000 up-to-date targets: %.2f ms\n",
      pass * 1e3, make_walk * 1e3);

  double runner_cpu = RunnerCpuWhileChildSleeps(sleep_seconds, folder);
  double make_cpu = 0;
  {
    std::string file = folder + "/sleep.mk";
    std::ofstream(file) << "all:\n\t/bin/sleep " << sleep_seconds << "\n";
    MakeSeconds({"-f", file}, &make_cpu);
  }
  std::printf(
      "4. CPU time while one child sleeps %d s: runner %.2f ms (target < 20), make %.2f ms"
      " (its child included)\n",
      sleep_seconds, runner_cpu * 1e3, make_cpu * 1e3);
  std::printf(
      "5. fixed cost of a one-line run with both reports: not measured here (needs the "
      "execution driver and the report generator)\n");

  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
  return 0;
}

}  // namespace
}  // namespace jr

int main(int argc, char** argv) { return jr::Main(argc, argv); }
