#pragma once
// Fakes for running the engine without the outside world: a launcher whose children end
// when the test says so, status lines in memory, a metadata log that keeps the statuses,
// and hooks that write down what the scheduler reported, in order.

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/run_hooks.h"
#include "model/run_env.h"

namespace jr::test {

// The one fake launcher. Records every start; handles count up from 1, and a started
// process runs until the test erases it from `running`.
class ScriptedLauncher final : public ProcessLauncher {
 public:
  ProcessHandle Start(const StartRequest& request) override {
    starts.push_back(request);
    log.push_back(request.program + "|" + request.arguments);
    if (failing_programs.count(request.program) != 0) return 0;
    running.insert(next_);
    return next_++;
  }
  bool IsRunning(ProcessHandle& handle) override {
    if (running.count(handle) == 0) handle = 0;
    return handle != 0;
  }
  void Forget(ProcessHandle handle) override { forgotten.push_back(handle); }
  void WaitForExit(std::chrono::milliseconds) override {}
  void TerminateAll(std::chrono::milliseconds) override {
    log.push_back("terminate");
    running.clear();
  }

  std::set<std::string> failing_programs;  // their start gives 0
  std::set<ProcessHandle> running;
  std::vector<StartRequest> starts;
  std::vector<std::string> log;  // "PROGRAM|ARGUMENTS" per start, "terminate"
  std::vector<ProcessHandle> forgotten;
  ProcessHandle next_ = 1;
};

// `files` maps a path to its first line.
class MemoryFileSystem final : public FileSystem {
 public:
  bool FileExists(const std::string& path) const override { return files.count(path) != 0; }
  bool FolderExists(const std::string&) const override { return true; }
  Status RemoveFile(const std::string& path) override {
    if (fail_remove) return Status::Failed("cannot delete " + path);
    files.erase(path);
    return Status::Ok();
  }
  Status CreateFolder(const std::string&) override { return Status::Ok(); }
  Status CreateFolders(const std::string&) override { return Status::Ok(); }
  std::string ReadFirstLine(const std::string& path) const override {
    return FileExists(path) ? files.at(path) : "";
  }

  std::map<std::string, std::string> files;
  bool fail_remove = false;
};

// Keeps the EntryStatus of every entry written; can refuse to be created.
class StatusMetadataLogFactory final : public ProcessMetadataLogFactory {
 public:
  struct Log final : ProcessMetadataLog {
    explicit Log(std::vector<int>& kept) : statuses(kept) {}
    Status WriteEntry(const std::vector<MetadataValue>&) override {
      statuses.push_back(EntryStatus());
      return Status::Ok();
    }
    std::vector<int>& statuses;
  };
  Result<std::unique_ptr<ProcessMetadataLog>> Create() override {
    if (fail_create) return Status::Failed("the metadata log is not available");
    return std::unique_ptr<ProcessMetadataLog>(std::make_unique<Log>(statuses));
  }
  std::vector<int> statuses;
  bool fail_create = false;
};

class QuietSurroundings final : public RegistryReader, public EventLogSink, public Notifier {
 public:
  std::optional<RegistryValue> Query(std::string_view, std::string_view) override { return {}; }
  int Write(std::string_view, uint16_t, uint16_t, uint32_t, std::string_view) override { return 0; }
  void ShowMessage(std::string_view, std::string_view, MessageIcon) override {}
};

// An RunEnv over the given launcher and file system.
struct EngineTestEnv {
  EngineTestEnv(ProcessLauncher& launcher, FileSystem& file_system)
      : env{clock, launcher, file_system, quiet, quiet, metadata, quiet} {}
  SystemClock clock;
  QuietSurroundings quiet;
  StatusMetadataLogFactory metadata;
  RunEnv env;
};

// Writes down each report: "started 10", "finished 10 ok" / "finished 10 failed",
// "skipped 60", "repeated 30 as 80", "cannot 10: REASON", "pause 1000".
class RecordingHooks final : public RunHooks {
 public:
  void Pause(std::chrono::milliseconds longest) override {
    events.push_back("pause " + std::to_string(longest.count()));
    ++pauses;
    if (on_pause) on_pause(pauses, longest);
  }
  bool StopRequested() const override { return stop && stop(); }
  void LineStarted(const clsJobLine& line) override { Note("started", line); }
  void LineFinished(const clsJobLine& line) override {
    Note("finished", line, line.ErrorOccured() ? " failed" : " ok");
  }
  void LineSkipped(const clsJobLine& line) override { Note("skipped", line); }
  void LineRepeated(const clsJobLine& original, const clsJobLine& copy) override {
    Note("repeated", original, " as " + std::to_string(copy.JobLineNr()));
  }
  void LineCannotStart(const clsJobLine& line, std::string_view reason) override {
    Note("cannot", line, ": " + std::string(reason));
  }

  std::vector<std::string> Reports() const {  // the events without the pauses
    std::vector<std::string> reports;
    for (const std::string& event : events) {
      if (event.rfind("pause", 0) != 0) reports.push_back(event);
    }
    return reports;
  }
  int pauses = 0;
  std::vector<std::string> events;
  std::function<void(int pause, std::chrono::milliseconds)> on_pause;  // after it is noted
  std::function<bool()> stop;

  void Note(const char* what, const clsJobLine& line, const std::string& more = "") {
    events.push_back(what + (" " + std::to_string(line.JobLineNr())) + more);
  }
};

// Whether the process is gone, not even a zombie, within `within`: a child is reaped by its
// launcher, an orphan by init.
inline bool Gone(int pid, std::chrono::milliseconds within = std::chrono::milliseconds(0)) {
  auto deadline = std::chrono::steady_clock::now() + within;
  while (std::filesystem::exists("/proc/" + std::to_string(pid))) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

inline long MsSince(std::chrono::steady_clock::time_point since) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - since)
                               .count());
}

}  // namespace jr::test
