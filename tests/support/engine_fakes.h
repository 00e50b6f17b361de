#pragma once
// Fakes for running the engine without the outside world: a launcher whose children end
// when the test says so, a file system in memory, a metadata log that counts, and run
// hooks that write down what the scheduler reported, in order.

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/engine_env.h"

namespace jr::test {

// Handles count up from 1. A started process runs until End() or TerminateAll().
class ScriptedLauncher final : public ProcessLauncher {
 public:
  ProcessHandle Start(std::string_view program, std::string_view arguments) override;
  bool IsRunning(ProcessHandle& handle) override;
  void Forget(ProcessHandle handle) override;
  void WaitForExit(std::chrono::milliseconds timeout) override;
  void TerminateAll(std::chrono::milliseconds grace) override;

  // Programs whose start fails (handle 0).
  void FailProgram(const std::string& program) { failing_.insert(program); }
  void End(ProcessHandle handle) { running_.erase(handle); }
  bool Runs(ProcessHandle handle) const { return running_.count(handle) != 0; }

  // "start PROGRAM|ARGUMENTS" for each start (failed ones too), "forget H", "terminate".
  const std::vector<std::string>& log() const { return log_; }
  // The handle given to the n-th start (0-based), 0 for a failed one.
  ProcessHandle handle(size_t n) const { return handles_.at(n); }
  const std::vector<ProcessHandle>& forgotten() const { return forgotten_; }

 private:
  std::set<std::string> failing_;
  std::set<ProcessHandle> running_;
  std::vector<std::string> log_;
  std::vector<ProcessHandle> handles_;
  std::vector<ProcessHandle> forgotten_;
  ProcessHandle next_ = 1;
};

class MemoryFileSystem final : public FileSystem {
 public:
  bool FileExists(const std::string& path) const override { return files_.count(path) != 0; }
  bool FolderExists(const std::string&) const override { return true; }
  bool RemoveFile(const std::string& path, std::string* error) override;
  bool CreateFolder(const std::string&, std::string*) override { return true; }
  bool CreateFolders(const std::string&, std::string*) override { return true; }
  std::string ReadFirstLine(const std::string& path) const override;

  void Write(const std::string& path, std::string content) { files_[path] = std::move(content); }
  void set_fail_remove(bool fail) { fail_remove_ = fail; }
  const std::vector<std::string>& removed() const { return removed_; }

 private:
  std::map<std::string, std::string> files_;
  std::vector<std::string> removed_;
  bool fail_remove_ = false;
};

// Keeps the status, log file name and job id of every entry written.
class CountingMetadataLogFactory final : public ProcessMetadataLogFactory {
 public:
  struct Entry {
    int status;
    std::string log_file;
    std::string job_id;
  };
  std::unique_ptr<ProcessMetadataLog> Create(std::string* error) override;
  void set_fail_create(bool fail) { fail_create_ = fail; }
  const std::vector<Entry>& entries() const { return entries_; }

 private:
  class Log;
  std::vector<Entry> entries_;
  bool fail_create_ = false;
};

// The rest of an engine's surroundings, none of which the scheduler uses.
class QuietSurroundings final : public RegistryReader, public EventLogSink, public Notifier {
 public:
  std::optional<RegistryValue> Query(std::string_view, std::string_view) override { return {}; }
  int Write(std::string_view, uint16_t, uint16_t, uint32_t, std::string_view) override { return 0; }
  void ShowMessage(std::string_view, std::string_view, MessageIcon) override {}
};

// An EngineEnv over the given launcher and file system, with a counting metadata log.
struct EngineTestEnv {
  EngineTestEnv(ProcessLauncher& launcher, FileSystem& file_system);
  SystemClock clock;
  QuietSurroundings quiet;
  CountingMetadataLogFactory metadata;
  EngineEnv env;
};

// Writes down every report as a line: "started 10", "finished 10 ok", "finished 10
// failed", "skipped 60", "repeated 30 as 80", "cannot 10: REASON", "pause 1000".
class RecordingHooks final : public RunHooks {
 public:
  void Pause(std::chrono::milliseconds longest) override;
  bool StopRequested() const override { return stop_ && stop_(); }
  void LineStarted(const clsJobLine& line) override;
  void LineFinished(const clsJobLine& line) override;
  void LineSkipped(const clsJobLine& line) override;
  void LineRepeated(const clsJobLine& original, const clsJobLine& copy) override;
  void LineCannotStart(const clsJobLine& line, std::string_view reason) override;

  // Runs at every pause, after it is written down (the test's children end there).
  std::function<void(std::chrono::milliseconds)> on_pause;
  void set_stop(std::function<bool()> stop) { stop_ = std::move(stop); }
  const std::vector<std::string>& events() const { return events_; }
  // The events without the pauses.
  std::vector<std::string> Reports() const;
  int pauses() const { return pauses_; }

 private:
  std::function<bool()> stop_;
  std::vector<std::string> events_;
  int pauses_ = 0;
};

}  // namespace jr::test
