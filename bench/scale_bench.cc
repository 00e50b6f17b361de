// How the runner's cost grows with the job, each figure beside its target and beside GNU
// make's figure for the same workload in the same run:
//
//   chain N:   lines each waiting for the one before, /bin/true each: per step
//              (T(N) - T(1)) / (N - 1), flat against the smallest size, near make's chain
//   fan-out N: independent lines at a maximum of 64: per line, flat against 1,000 lines
//              (or the smallest size), near make -j64
//   memory:    the runner's peak resident memory per line above a one-line run's, and
//              that of the whole program (jobrunner JOBFILE) on a fan-out job file
//   pass:      one scheduler pass over N waiting lines in which one line ends
//
// Every run is a process of its own (this program with --run), kept as RunJob keeps it, so
// that its peak memory is its own. Usage: scale_bench [SIZE...]   (default 100 1000 10000)
//        scale_bench --run chain|fan N FOLDER   (one run; what the figures time)
//        scale_bench --pass N                   (the pass figure alone)
//        scale_bench --write-fan N FILE FOLDER  (the whole program's fan-out job file)

#include <sys/resource.h>

#include <cstring>
#include <map>
#include <set>

#include "bench_runs.h"
#include "jobfile/job_file.h"
#include "model/job_line.h"

namespace jr {
namespace {

using namespace bench;
using std::chrono::milliseconds;

constexpr int kFanOutMaximum = 64;
// make's own chain grows with the square of its length (about 6 ms a step at 10,000 lines
// against 1.6 ms at 100): past this length it would run for hours, so it is not run.
constexpr int kLongestMakeChain = 20000;

struct Costs {
  double runner = 0;  // seconds per step or line
  double make = 0;
  long runner_rss_kb = 0;  // the largest runs' peaks
  long make_rss_kb = 0;
};

// Median of `repetitions` runs of the runner and of make at `size` and at one line.
Costs PerItem(const std::string& self, const std::string& folder, bool chain, int size,
              int repetitions, long* one_line_rss_kb) {
  const char* shape = chain ? "chain" : "fan";
  const int maximum = chain ? 1 : kFanOutMaximum;
  auto runner = [&](int count, long* rss) {
    const Spawned run = Spawn({self, "--run", shape, std::to_string(count), folder});
    if (rss) *rss = std::max(*rss, run.max_rss_kb);
    return run.seconds;
  };
  auto make = [&](int count, long* rss) {
    std::vector<std::string> argv{"make", "-s", "-f", WriteTrueMakefile(folder, count, chain)};
    if (maximum > 1) argv.push_back("-j" + std::to_string(maximum));
    const Spawned run = Spawn(argv);
    if (rss) *rss = std::max(*rss, run.max_rss_kb);
    return run.seconds;
  };
  const bool with_make = !chain || size <= kLongestMakeChain;
  std::vector<double> runner_one, runner_n, make_one, make_n;
  Costs costs;
  for (int r = 0; r < repetitions; ++r) {
    runner_one.push_back(runner(1, one_line_rss_kb));
    runner_n.push_back(runner(size, &costs.runner_rss_kb));
    if (!with_make) continue;
    make_one.push_back(make(1, nullptr));
    make_n.push_back(make(size, &costs.make_rss_kb));
  }
  costs.runner = (Median(runner_n) - Median(runner_one)) / (size - 1);
  if (with_make) costs.make = (Median(make_n) - Median(make_one)) / (size - 1);
  return costs;
}

// A launcher whose first child runs until it is ended and whose others run until the pause
// after their start: each pause ends the one line started last.
class OneEndsPerPause final : public ProcessLauncher, public RunControl {
 public:
  explicit OneEndsPerPause(int passes) : passes_(passes) {}
  ProcessHandle Start(const StartRequest&) override { return ++next_; }
  bool IsRunning(ProcessHandle& handle) override {
    if (ended_.count(handle) == 0) return true;
    handle = 0;
    return false;
  }
  void Forget(ProcessHandle) override {}
  void WaitForExit(milliseconds) override {}
  void BeginTerminate(ProcessHandle handle, milliseconds) override { ended_.insert(handle); }
  void TerminateAll(milliseconds) override {}
  void Terminate(ProcessHandle, milliseconds) override {}

  void Pause(milliseconds) override {
    marks_.push_back(SteadyClock::now());
    if (next_ > 1) ended_.insert(next_);
  }
  bool StopRequested() const override { return static_cast<int>(marks_.size()) > passes_; }
  double MedianPassSeconds() const {
    std::vector<double> seconds;
    for (size_t i = 1; i < marks_.size() && i <= static_cast<size_t>(passes_); ++i) {
      seconds.push_back(std::chrono::duration<double>(marks_[i] - marks_[i - 1]).count());
    }
    return Median(seconds);
  }

 private:
  int passes_;
  ProcessHandle next_ = 0;
  std::set<ProcessHandle> ended_;
  std::vector<SteadyClock::time_point> marks_;
};

// Line 1 runs for ever and `waiting` lines wait for it; short lines beside it end one per
// pause. The time between two pauses holds the pass in which one line ended and another
// started, and the pass that found nothing more to do.
double PassWhenOneLineEnds(int waiting) {
  constexpr int kPasses = 200;
  OneEndsPerPause launcher(kPasses);
  Surroundings surroundings(launcher);
  RunLines lines;
  lines.Add(1)->SetProgram("/bin/true");
  for (int32_t i = 0; i < waiting; ++i) {
    RunLine& line = *lines.Add(10 + i);
    line.SetProgram("/bin/true");
    line.EditDefinition().wait_for = ReadJobLineRefs("1").value;
  }
  for (int32_t i = 0; i <= kPasses; ++i) lines.Add(waiting + 100 + i)->SetProgram("/bin/true");
  RunScheduler(lines, 2, surroundings.env, launcher, {});
  return launcher.MedianPassSeconds();
}

// Writes a job file of `count` independent lines of /bin/true at a maximum of 64 as `file`.
int WriteFanOutJob(int count, const std::string& file, const std::string& folder) {
  JobDocument job;
  job.Description = "scale";
  job.LogFile = folder + "/admin_report.htm";
  job.UserFile = folder + "/user_report.htm";
  job.TempLogDir = folder;
  job.MaxParallel = std::to_string(kFanOutMaximum);
  for (int32_t i = 1; i <= count; ++i) {
    AppendJobLine(job.table, {.number = i,
                              .description = "step " + std::to_string(i),
                              .type = "User Batchfile",
                              .batch_file = "/bin/true"});
  }
  if (!WriteJobFile(file, job, "now").ok) {
    std::fprintf(stderr, "cannot write %s\n", file.c_str());
    return 1;
  }
  return 0;
}

// The peak resident memory of `jobrunner` running a fan-out job file of `count` lines, its
// second run: the first leaves the usual durations from which the second foresees its end,
// as a job run every night does. The file is written by a process of its own: a started
// program's peak counts that of the process that started it until it took its own place,
// and this one would have held the whole job.
long ProgramPeakKb(const std::string& self, const std::string& program, int count,
                   const std::string& folder) {
  const std::string file = folder + "/fan" + std::to_string(count) + ".xml";
  Spawn({self, "--write-fan", std::to_string(count), file, folder});
  Spawn({program, file}, /*quiet=*/true);
  return Spawn({program, file}, /*quiet=*/true).max_rss_kb;
}

int RunOnce(const std::string& shape, int count, const std::string& folder) {
  RunnerSeconds(count, shape == "chain", shape == "chain" ? 1 : kFanOutMaximum, folder);
  return 0;
}

int Main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--run") == 0) {
    return RunOnce(argv[2], std::atoi(argv[3]), argv[4]);
  }
  if (argc == 5 && std::strcmp(argv[1], "--write-fan") == 0) {
    return WriteFanOutJob(std::atoi(argv[2]), argv[3], argv[4]);
  }
  if (argc == 3 && std::strcmp(argv[1], "--pass") == 0) {
    std::printf("pass over %s waiting lines when one line ends: %.1f us (target < 50)\n", argv[2],
                PassWhenOneLineEnds(std::atoi(argv[2])) * 1e6);
    return 0;
  }
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {100, 1000, 10000};
  std::sort(sizes.begin(), sizes.end());
  if (sizes.front() < 2) {
    std::fprintf(stderr, "usage: scale_bench [SIZE...], each size at least 2\n");
    return 2;
  }
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  const std::string folder = TempFolder();
  // Small runs are repeated to smooth the noise of a shared machine; large ones run once.
  // A chain of 100 takes a fifth of a second, so that a few milliseconds of noise in one
  // run move its figure by a few percent: it is repeated most.
  auto repetitions = [](int size) { return size <= 100 ? 21 : size <= 1000 ? 5 : 1; };

  long one_line_rss = 0;
  std::map<int, Costs> chain, fan;
  for (int size : sizes) {
    chain[size] = PerItem(self, folder, true, size, repetitions(size), &one_line_rss);
    const Costs& c = chain[size];
    const double flat = c.runner / chain[sizes.front()].runner;
    std::printf("chain of %d: runner %.3f ms/step, ", size, c.runner * 1e3);
    if (c.make > 0) {
      std::printf("make %.3f ms/step, ratio %.2f (target <= 1.2); ", c.make * 1e3,
                  c.runner / c.make);
    } else {
      std::printf("make not run above %d lines; ", kLongestMakeChain);
    }
    std::printf("against %d lines %.2f (target <= 1.15)\n", sizes.front(), flat);
    std::fflush(stdout);
  }
  const int fan_base = chain.count(1000) ? 1000 : sizes.front();
  for (int size : sizes) {
    fan[size] = PerItem(self, folder, false, size, repetitions(size), &one_line_rss);
    const Costs& c = fan[size];
    std::printf(
        "fan-out of %d at %d: runner %.3f ms/line, make -j%d %.3f ms/line, ratio %.2f "
        "(target <= 1.2)",
        size, kFanOutMaximum, c.runner * 1e3, kFanOutMaximum, c.make * 1e3, c.runner / c.make);
    if (size >= fan_base) {
      std::printf("; against %d lines %.2f (target <= 1.1)", fan_base,
                  c.runner / fan[fan_base].runner);
    }
    std::printf("\n");
    std::fflush(stdout);
  }
  for (int size : sizes) {
    const long rss = std::max(chain[size].runner_rss_kb, fan[size].runner_rss_kb);
    std::printf(
        "memory at %d lines: peak %ld KB, one-line run %ld KB: %.0f bytes/line (target < 1024); "
        "make's peak %ld KB\n",
        size, rss, one_line_rss, 1024.0 * static_cast<double>(rss - one_line_rss) / size,
        std::max(chain[size].make_rss_kb, fan[size].make_rss_kb));
  }
  // The program's own runs keep their history, event log and registry in the folder. With
  // no report generator named they write no reports: what they cost is not the runner's.
  const std::string program =
      (std::filesystem::canonical("/proc/self/exe").parent_path().parent_path() / "bin" /
       "jobrunner")
          .string();
  std::ofstream(folder + "/registry.reg") << "Windows Registry Editor Version 5.00\n";
  setenv("JOBRUNNER_REGISTRY", (folder + "/registry.reg").c_str(), 1);
  setenv("JOBRUNNER_METADATA_DB", (folder + "/program.sqlite").c_str(), 1);
  setenv("JOBRUNNER_EVENT_LOG", (folder + "/events.log").c_str(), 1);
  const long program_one_line = ProgramPeakKb(self, program, 1, folder);
  for (int size : sizes) {
    const long rss = ProgramPeakKb(self, program, size, folder);
    std::printf(
        "memory of jobrunner JOBFILE at %d lines: peak %ld KB, one-line run %ld KB: %.0f "
        "bytes/line (target < 1024)\n",
        size, rss, program_one_line,
        1024.0 * static_cast<double>(rss - program_one_line) / size);
    std::fflush(stdout);
  }
  std::printf("pass over %d waiting lines when one line ends: %.1f us (target < 50)\n",
              sizes.back(), PassWhenOneLineEnds(sizes.back()) * 1e6);

  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
  return 0;
}

}  // namespace
}  // namespace jr

int main(int argc, char** argv) { return jr::Main(argc, argv); }
