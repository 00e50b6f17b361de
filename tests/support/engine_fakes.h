#pragma once
// Fakes for running the engine without the outside world: a launcher whose children end
// when the test says so, status lines in memory, the seams of a run, and hooks that write
// down what the scheduler reported, in order.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/run_control.h"
#include "model/run_env.h"
#include "model/run_lines.h"
#include "run/run_session.h"
#include "support/fakes.h"

namespace jr::test {

// Arguments as one text for comparing: separated by blanks, those with a blank or tab and
// empty ones in double quotes.
inline std::string Joined(const std::vector<std::string>& arguments) {
  std::string text;
  for (const std::string& word : arguments) {
    const bool quote = word.empty() || word.find_first_of(" \t") != std::string::npos;
    text += (text.empty() ? "" : " ") + (quote ? "\"" + word + "\"" : word);
  }
  return text;
}

// The one fake launcher. Records every start; handles count up from 1, and a started
// process runs until the test erases it from `running`; it then ended with its entry in
// `exit_statuses`, 0 without one.
class ScriptedLauncher final : public ProcessLauncher {
 public:
  ProcessHandle Start(const StartRequest& request) override {
    log.push_back(request.program + "|" + Joined(request.arguments));
    if (failing_programs.count(request.program) != 0) return 0;
    running.insert(next_);
    return next_++;
  }
  bool IsRunning(ProcessHandle& handle) override {
    if (running.count(handle) == 0) handle = 0;
    return handle != 0;
  }
  std::optional<int> ExitStatus(ProcessHandle handle) const override {
    const auto found = exit_statuses.find(handle);
    return found == exit_statuses.end() ? 0 : found->second;
  }
  void Forget(ProcessHandle) override {}
  void WaitForExit(std::chrono::milliseconds) override {}
  void BeginTerminate(ProcessHandle handle, std::chrono::milliseconds) override {
    log.push_back("terminate later " + std::to_string(handle));
    running.erase(handle);
  }
  void TerminateAll(std::chrono::milliseconds) override {
    log.push_back("terminate");
    running.clear();
  }
  void Terminate(ProcessHandle handle, std::chrono::milliseconds) override {
    log.push_back("terminate " + std::to_string(handle));
    running.erase(handle);
  }

  std::set<std::string> failing_programs;  // their start gives 0
  std::set<ProcessHandle> running;
  std::map<ProcessHandle, int> exit_statuses;
  std::vector<std::string> log;  // "PROGRAM|ARGUMENTS" per start (quoted with blanks), "terminate"
  ProcessHandle next_ = 1;
};

// Every seam of a run but the launcher and the file system, as fakes.
struct EngineTestEnv {
  EngineTestEnv(ProcessLauncher& launcher, FileSystem& file_system)
      : env{clock, launcher, file_system, registry, outside, metadata, outside} {}
  FakeClock clock;
  MapRegistry registry;
  RecordingOutside outside;
  RecordingMetadataLogFactory metadata;
  RunEnv env;
};

// Lines as a run leaves them, over a launcher whose programs run until told and the real
// file system.
struct RunWorld {
  ScriptedLauncher launcher;
  EngineTestEnv test{launcher, RealFileSystem()};
  RunLines lines;

  // Adds a line that ran from `start` to `end`, failed or not.
  RunLine* Ran(int32_t nr, const std::string& description, const std::string& type, TimePoint start,
               TimePoint end, bool failed = false) {
    RunLine* line = lines.Add(nr);
    line->EditDefinition().description = description;
    line->EditDefinition().type = type;
    line->SetStartingTime(start);
    line->SetStopTime(end);
    line->SetState(failed ? LineState::kFailed : LineState::kSucceeded);
    return line;
  }
};

// Writes down each report: "started 10", "finished 10 ok" / "finished 10 failed",
// "skipped 60", "repeated 30 as 80", "cannot 10: REASON", "time limit 10", "refused 10
// after 3", "pause 1000".
// The run's control and its one observer.
class RecordingHooks final : public RunControl, public RunSessionObserver {
 public:
  // What a run told must be kept (PassEnded) before it pauses and before it ends. A pass
  // tells BeforeStarts before its first start, where the last pass's rows are made sure of.
  ~RecordingHooks() override {
    EXPECT_EQ(unkept_at_pauses + unkept, 0) << "no PassEnded";
    EXPECT_EQ(starts_untold, 0) << "no BeforeStarts";
  }
  void PassEnded() override {
    unkept = 0;
    told_before_starts = false;
  }
  void BeforeStarts() override { told_before_starts = true; }
  void Pause(std::chrono::milliseconds longest) override {
    unkept_at_pauses += unkept;
    events.push_back("pause " + std::to_string(longest.count()));
    ++pauses;
    if (on_pause) on_pause(pauses, longest);
  }
  bool StopRequested() const override { return stop && stop(); }
  void LineStarted(const RunLine& line) override {
    if (!told_before_starts) ++starts_untold;
    Note("started", line);
  }
  void LineFinished(const RunLine& line) override {
    Note("finished", line, line.ErrorOccurred() ? " failed" : " ok");
  }
  void LineSkipped(const RunLine& line) override { Note("skipped", line); }
  void LineRepeated(const RunLine& original, const RunLine& copy) override {
    Note("repeated", original, " as " + std::to_string(copy.JobLineNr()));
  }
  void LineCannotStart(const RunLine& line, std::string_view reason) override {
    Note("cannot", line, ": " + std::string(reason));
  }
  void LineTimeLimitReached(const RunLine& line) override { Note("time limit", line); }
  void LineRepeatRefused(const RunLine& line, int32_t copies) override {
    Note("refused", line, " after " + std::to_string(copies));
  }
  void LongerThanUsual(std::string_view text) override { events.push_back(std::string(text)); }
  void Warning(std::string_view text) override { warnings.emplace_back(text); }
  void EndForeseen(const ExpectedEnd&, std::string_view text) override {
    foreseen.emplace_back(text);
  }

  std::vector<std::string> warnings;
  std::vector<std::string> foreseen;

  std::vector<std::string> Reports() const {  // the events without the pauses
    std::vector<std::string> reports;
    for (const std::string& event : events) {
      if (event.rfind("pause", 0) != 0) reports.push_back(event);
    }
    return reports;
  }
  void Note(const char* what, const RunLine& line, const std::string& more = "") {
    events.push_back(what + (" " + std::to_string(line.JobLineNr())) + more);
    ++unkept;
  }

  int pauses = 0, unkept = 0, unkept_at_pauses = 0, starts_untold = 0;
  bool told_before_starts = false;
  std::vector<std::string> events;
  std::function<void(int pause, std::chrono::milliseconds)> on_pause;  // after it is noted
  std::function<bool()> stop;
};

// Polls `done` every 10 ms until it holds or `limit` has passed; whether it holds.
template <typename Done>
bool WaitUntil(Done done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// A job-line list as a line of the job would hold it ("10,20").
inline JobLineRefs Refs(std::string_view text) { return ReadJobLineRefs(text).value; }

// Whether the process is gone, not even a zombie, within `within`: a child is reaped by its
// launcher, an orphan by init.
inline bool Gone(int pid, std::chrono::milliseconds within = std::chrono::milliseconds(0)) {
  return WaitUntil([pid] { return !std::filesystem::exists("/proc/" + std::to_string(pid)); },
                   within);
}

inline long MsSince(std::chrono::steady_clock::time_point since) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - since)
                               .count());
}

inline ::testing::AssertionResult Has(const std::string& text, const std::string& part) {
  if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "no \"" << part << "\" in:\n" << text;
}

}  // namespace jr::test
