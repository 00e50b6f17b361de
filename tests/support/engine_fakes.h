#pragma once
// Fakes for running the engine without the outside world: a launcher whose children end
// when the test says so, status files in memory, a metadata log that keeps the statuses,
// and hooks that write down what the scheduler reported, in order.

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/engine_env.h"

namespace jr::test {

// Handles count up from 1; a started process runs until End() or TerminateAll().
class ScriptedLauncher final : public ProcessLauncher {
 public:
  ProcessHandle Start(std::string_view program, std::string_view arguments) override;
  bool IsRunning(ProcessHandle& handle) override;
  void Forget(ProcessHandle handle) override { forgotten.push_back(handle); }
  void WaitForExit(std::chrono::milliseconds) override {}
  void TerminateAll(std::chrono::milliseconds) override;

  std::set<std::string> failing_programs;  // their start gives 0
  std::set<ProcessHandle> running;
  std::vector<std::string> log;  // "PROGRAM|ARGUMENTS" per start, "terminate"
  std::vector<ProcessHandle> forgotten;

 private:
  ProcessHandle next_ = 1;
};

class MemoryFileSystem final : public FileSystem {
 public:
  bool FileExists(const std::string& path) const override { return files.count(path) != 0; }
  bool FolderExists(const std::string&) const override { return true; }
  bool RemoveFile(const std::string& path, std::string* error) override;
  bool CreateFolder(const std::string&, std::string*) override { return true; }
  bool CreateFolders(const std::string&, std::string*) override { return true; }
  std::string ReadFirstLine(const std::string& path) const override;

  std::map<std::string, std::string> files;
  bool fail_remove = false;
};

// Keeps the EntryStatus of every entry written; can refuse to be created.
class StatusMetadataLogFactory final : public ProcessMetadataLogFactory {
 public:
  std::unique_ptr<ProcessMetadataLog> Create(std::string* error) override;
  std::vector<int> statuses;
  bool fail_create = false;
};

class QuietSurroundings final : public RegistryReader, public EventLogSink, public Notifier {
 public:
  std::optional<RegistryValue> Query(std::string_view, std::string_view) override { return {}; }
  int Write(std::string_view, uint16_t, uint16_t, uint32_t, std::string_view) override { return 0; }
  void ShowMessage(std::string_view, std::string_view, MessageIcon) override {}
};

// An EngineEnv over the given launcher and file system.
struct EngineTestEnv {
  EngineTestEnv(ProcessLauncher& launcher, FileSystem& file_system)
      : env{clock, launcher, file_system, quiet, quiet, metadata, quiet} {}
  SystemClock clock;
  QuietSurroundings quiet;
  StatusMetadataLogFactory metadata;
  EngineEnv env;
};

// Writes down each report: "started 10", "finished 10 ok" / "finished 10 failed",
// "skipped 60", "repeated 30 as 80", "cannot 10: REASON", "pause 1000".
class RecordingHooks final : public RunHooks {
 public:
  void Pause(std::chrono::milliseconds longest) override;
  bool StopRequested() const override { return stop && stop(); }
  void LineStarted(const clsJobLine& line) override { Note("started", line); }
  void LineFinished(const clsJobLine& line) override;
  void LineSkipped(const clsJobLine& line) override { Note("skipped", line); }
  void LineRepeated(const clsJobLine& original, const clsJobLine& copy) override;
  void LineCannotStart(const clsJobLine& line, std::string_view reason) override;

  std::vector<std::string> Reports() const;  // the events without the pauses
  int pauses = 0;
  std::vector<std::string> events;
  std::function<void(std::chrono::milliseconds)> on_pause;  // runs after it is noted
  std::function<bool()> stop;

 private:
  void Note(const char* what, const clsJobLine& line, const std::string& more = "");
};

}  // namespace jr::test
