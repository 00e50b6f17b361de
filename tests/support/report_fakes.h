#pragma once
// Fakes for the end of a run: a clock to set, a registry in a map, a recording event log,
// notifier and launcher. Their names are their own, so that they live beside the other
// fakes of this folder.

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/engine_env.h"
#include "model/job_lines.h"

namespace jr::report_test {

class SetClock final : public Clock {
 public:
  TimePoint Now() const override { return now_; }
  void Set(TimePoint now) { now_ = now; }

 private:
  TimePoint now_{};
};

// A local time as a time point, e.g. LocalTime(2003, 3, 7, 14, 5, 9).
TimePoint LocalTime(int year, int month, int day, int hour, int minute, int second);

struct EventEntry {
  std::string source;
  uint16_t event_type = 0;
  uint16_t category = 0;
  uint32_t event_id = 0;
  std::string message;
};

class RecordingEventLog final : public EventLogSink {
 public:
  int Write(std::string_view source, uint16_t event_type, uint16_t category, uint32_t event_id,
            std::string_view message) override;
  // Every later write fails with this error number (0: succeeds again).
  void FailWith(int error) { error_ = error; }
  std::vector<EventEntry> entries;

 private:
  int error_ = 0;
};

struct ShownMessage {
  std::string title;
  std::string text;
  MessageIcon icon;
};

class RecordingNotifier final : public Notifier {
 public:
  void ShowMessage(std::string_view title, std::string_view text, MessageIcon icon) override {
    messages.push_back({std::string(title), std::string(text), icon});
  }
  std::vector<ShownMessage> messages;
};

// A registry with string values only, keys and names spelt exactly.
class StringRegistry final : public RegistryReader {
 public:
  // Makes GetKeldUtilsPath give `folder` (with a separator appended when missing).
  void InstallKeld(const std::string& folder);
  std::optional<RegistryValue> Query(std::string_view key, std::string_view name) override;

 private:
  std::map<std::pair<std::string, std::string>, std::string> values_;
};

struct StartedProgram {
  std::string program;
  std::string arguments;
};

// Records every start and reports the process ended at once.
class RecordingLauncher final : public ProcessLauncher {
 public:
  ProcessHandle Start(std::string_view program, std::string_view arguments) override;
  bool IsRunning(ProcessHandle& handle) override {
    handle = 0;
    return false;
  }
  void Forget(ProcessHandle) override {}
  void WaitForExit(std::chrono::milliseconds) override {}
  void TerminateAll(std::chrono::milliseconds) override {}

  std::vector<StartedProgram> started;
  // Called at each start, before it is recorded.
  std::function<void(const StartedProgram&)> on_start;
};

class NoMetadataLog final : public ProcessMetadataLogFactory {
 public:
  std::unique_ptr<ProcessMetadataLog> Create(std::string* error) override {
    if (error != nullptr) *error = "no metadata log in this test";
    return nullptr;
  }
};

// 7 March 2003 at that local time.
TimePoint At(int hour, int minute, int second);

// Every seam of a run, as fakes but for the file system, which is the machine's, and the
// run's lines.
struct ReportWorld {
  SetClock clock;
  RecordingLauncher launcher;
  StringRegistry registry;
  RecordingEventLog event_log;
  NoMetadataLog metadata;
  RecordingNotifier notifier;
  clsJobLines lines{JobLineServices{&clock, nullptr}};

  // Adds a line that ran from `start` to `end`, failed or not.
  clsJobLine* Ran(int32_t nr, const std::string& description, const std::string& type,
                  TimePoint start, TimePoint end, bool failed = false);

  EngineEnv Env() {
    return EngineEnv{clock, launcher, RealFileSystem(), registry, event_log, metadata, notifier};
  }
  EngineEnv EnvWith(EventLogSink& sink) {
    return EngineEnv{clock, launcher, RealFileSystem(), registry, sink, metadata, notifier};
  }
};

// The whole content of a file; empty when it cannot be read.
std::string ReadFile(const std::string& name);
void WriteFile(const std::string& name, const std::string& content);

}  // namespace jr::report_test
