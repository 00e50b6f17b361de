// How close the expected end of a run going on comes to its real end, over recorded runs.
//
// Synthesised histories: random jobs whose lines wait for random earlier lines (a random
// acyclic graph) under a random maximum of parallel lines, each line with a base duration
// that every run jitters by up to +-10 %. Each job gets ten recorded runs, from which the
// usual durations are taken as a run does, and one more run that is watched: once a
// quarter of it has passed, its lines' states at that moment give the expected end, which
// is compared with the run's real end. The error is the distance between the two, as a
// share of the run's real duration.
//
// Then the time one estimate takes for a job of 100,000 lines in a chain.
//
// Usage: expected_end_bench [--quick]   (--quick: fewer jobs)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>
#include <vector>

#include "engine/run_plan.h"
#include "insight/critical_path.h"
#include "insight/expected_end.h"

namespace jr {
namespace {

using std::chrono::milliseconds;

struct Job {
  int32_t maximum = 1;
  std::vector<std::vector<int32_t>> waits;  // of line i (number 10 * (i + 1))
  std::vector<milliseconds> base;
};

struct Attempt {
  TimePoint start, end;
};

int32_t Number(size_t index) { return static_cast<int32_t>(10 * (index + 1)); }

Job RandomJob(std::mt19937& random) {
  Job job;
  const size_t lines = std::uniform_int_distribution<size_t>(4, 40)(random);
  job.maximum = std::uniform_int_distribution<int32_t>(1, 8)(random);
  for (size_t i = 0; i < lines; ++i) {
    std::vector<int32_t> waits;
    const int count = i == 0 ? 0 : std::uniform_int_distribution<int>(0, 3)(random);
    for (int k = 0; k < count; ++k) {
      waits.push_back(Number(std::uniform_int_distribution<size_t>(0, i - 1)(random)));
    }
    job.waits.push_back(std::move(waits));
    job.base.push_back(milliseconds(std::uniform_int_distribution<int>(5'000, 900'000)(random)));
  }
  return job;
}

// One run of the job as the scheduler runs it, every line ok, each taking its base duration
// jittered by up to 10 % either way.
std::vector<Attempt> RunOnce(const Job& job, TimePoint start, std::mt19937& random) {
  std::uniform_real_distribution<double> jitter(0.9, 1.1);
  RunLines lines;
  for (size_t i = 0; i < job.waits.size(); ++i) {
    RunLine* line = lines.Add(Number(i));
    line->EditDefinition().wait_for = JobLineRefs({}, job.waits[i]);
    line->SetProgram("bench");
  }
  RunPlan plan(lines, job.maximum);
  std::vector<Attempt> attempts(job.waits.size());
  std::vector<std::pair<RunLine*, TimePoint>> running;
  TimePoint now = start;
  while (!plan.Over()) {
    for (RunLine* line : plan.Startable(now)) {
      plan.Started(*line);
      const size_t i = static_cast<size_t>(line->JobLineNr() / 10 - 1);
      const auto took = std::chrono::duration_cast<milliseconds>(job.base[i] * jitter(random));
      attempts[i] = {now, now + took};
      running.emplace_back(line, now + took);
    }
    auto first = std::min_element(running.begin(), running.end(),
                                  [](const auto& a, const auto& b) { return a.second < b.second; });
    now = first->second;
    (void)plan.Finished(*first->first, false);
    running.erase(first);
  }
  return attempts;
}

TimePoint EndOf(const std::vector<Attempt>& attempts) {
  TimePoint end{};
  for (const Attempt& attempt : attempts) end = std::max(end, attempt.end);
  return end;
}

}  // namespace
}  // namespace jr

int main(int argc, char** argv) {
  using namespace jr;
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  const int jobs = quick ? 100 : 1000;
  std::mt19937 random(20261207);
  std::vector<double> errors;
  double estimate_us = 0;
  int estimates = 0;
  for (int j = 0; j < jobs; ++j) {
    const Job job = RandomJob(random);
    // Ten recorded runs, newest first, a day apart.
    const TimePoint today = TimePoint(std::chrono::hours(24 * 20000));
    std::vector<RunSummary> runs;
    std::vector<std::vector<RunLineRecord>> rows;
    for (int r = 1; r <= 10; ++r) {
      RunSummary run;
      run.start = today - std::chrono::hours(24 * r);
      const std::vector<Attempt> attempts = RunOnce(job, run.start, random);
      run.end = EndOf(attempts);
      run.status = RunStatus::kNoErrors;
      std::vector<RunLineRecord> records;
      for (size_t i = 0; i < attempts.size(); ++i) {
        RunLineRecord record;
        record.line = Number(i);
        record.start = attempts[i].start;
        record.end = attempts[i].end;
        record.outcome = LineOutcome::kOk;
        records.push_back(record);
      }
      runs.push_back(run);
      rows.push_back(std::move(records));
    }
    const UsualDurations usual = UsualDurationsOf(runs, rows);

    // The watched run, a quarter through.
    const std::vector<Attempt> attempts = RunOnce(job, today, random);
    const TimePoint end = EndOf(attempts);
    const TimePoint now = today + (end - today) / 4;
    std::vector<ForeseenLine> lines;
    for (size_t i = 0; i < attempts.size(); ++i) {
      ForeseenLine line{Number(i), 0, job.waits[i], ForeseenLine::State::kWaiting, std::nullopt};
      if (attempts[i].end <= now) {
        line.state = ForeseenLine::State::kOver;
      } else if (attempts[i].start <= now) {
        line.state = ForeseenLine::State::kRunning;
        line.start = attempts[i].start;
      }
      lines.push_back(std::move(line));
    }
    const auto started = std::chrono::steady_clock::now();
    const ExpectedEnd expected = ExpectEnd(lines, job.maximum, usual, now);
    estimate_us +=
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - started)
            .count();
    ++estimates;
    if (!expected.end) {
      std::fprintf(stderr, "job %d: no expected end\n", j);
      return 1;
    }
    errors.push_back(std::abs(std::chrono::duration<double>(*expected.end - end).count()) /
                     std::chrono::duration<double>(end - today).count());
  }
  std::sort(errors.begin(), errors.end());
  const auto within =
      std::count_if(errors.begin(), errors.end(), [](double e) { return e <= 0.1; });
  std::printf(
      "expected end a quarter through, %zu random jobs of 4 to 40 lines, durations +-10 %%:\n",
      errors.size());
  std::printf(
      "  error (share of the run's duration): median %.2f %%, 95th percentile %.2f %%, "
      "largest %.2f %%\n",
      100 * errors[errors.size() / 2], 100 * errors[errors.size() * 95 / 100], 100 * errors.back());
  std::printf("  within 10 %% of the real end: %lld of %zu runs (%.1f %%)\n",
              static_cast<long long>(within), errors.size(),
              100.0 * static_cast<double>(within) / static_cast<double>(errors.size()));
  std::printf("  one estimate: %.1f us on average\n", estimate_us / estimates);

  // A run of 100,000 lines still to start, each waiting for the one before.
  std::vector<ForeseenLine> chain;
  UsualDurations usual;
  for (int32_t number = 1; number <= 100'000; ++number) {
    chain.push_back({number, 0,
                     number > 1 ? std::vector<int32_t>{number - 1} : std::vector<int32_t>{},
                     ForeseenLine::State::kWaiting, std::nullopt});
    usual[number] = std::chrono::seconds(1 + number % 7);
  }
  // The runner's first figure makes the plan's lines; after each line's end it foresees
  // again on the same lines.
  const TimePoint now(std::chrono::hours(24 * 20000));
  Foresight foresight;
  for (const char* when : {"first estimate", "estimate after a line's end"}) {
    const auto started = std::chrono::steady_clock::now();
    const std::clock_t cpu = std::clock();
    (void)foresight.Expect(chain, 8, usual, now);
    std::printf(
        "  %s, chain of 100,000 waiting lines: %.1f ms, CPU %.1f ms (target < 50)\n", when,
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
            .count(),
        1e3 * static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC);
    chain[0].state = ForeseenLine::State::kOver;
    chain[1].state = ForeseenLine::State::kRunning;
    chain[1].start = now;
  }

  // The critical path of a finished chain of as many lines, every line 1 s.
  std::vector<RunLineRecord> rows;
  JobWaits waits;
  waits.maximum = 64;
  waits.waits_known = true;
  for (int32_t number = 1; number <= 100'000; ++number) {
    RunLineRecord row;
    row.line = row.position = number;
    row.start = TimePoint(std::chrono::seconds(number));
    row.end = TimePoint(std::chrono::seconds(number + 1));
    rows.push_back(row);
    if (number > 1) waits.wait_for[number] = {number - 1};
  }
  const auto traced = std::chrono::steady_clock::now();
  const size_t length = CriticalPath(rows, waits, TimePoint{}).size();
  std::printf(
      "  critical path of a finished chain of 100,000 lines (%zu long): %.1f ms\n", length,
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - traced).count());
  return 0;
}
