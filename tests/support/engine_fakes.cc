#include "support/engine_fakes.h"

namespace jr::test {

ProcessHandle ScriptedLauncher::Start(std::string_view program, std::string_view arguments) {
  log_.push_back("start " + std::string(program) + "|" + std::string(arguments));
  if (failing_.count(std::string(program)) != 0) {
    handles_.push_back(0);
    return 0;
  }
  ProcessHandle handle = next_++;
  running_.insert(handle);
  handles_.push_back(handle);
  return handle;
}

bool ScriptedLauncher::IsRunning(ProcessHandle& handle) {
  if (running_.count(handle) != 0) return true;
  handle = 0;
  return false;
}

void ScriptedLauncher::Forget(ProcessHandle handle) {
  log_.push_back("forget " + std::to_string(handle));
  forgotten_.push_back(handle);
}

void ScriptedLauncher::WaitForExit(std::chrono::milliseconds) {}

void ScriptedLauncher::TerminateAll(std::chrono::milliseconds) {
  log_.push_back("terminate");
  running_.clear();
}

bool MemoryFileSystem::RemoveFile(const std::string& path, std::string* error) {
  if (fail_remove_) {
    if (error) *error = "cannot delete " + path;
    return false;
  }
  files_.erase(path);
  removed_.push_back(path);
  return true;
}

std::string MemoryFileSystem::ReadFirstLine(const std::string& path) const {
  auto found = files_.find(path);
  if (found == files_.end()) return {};
  std::string line = found->second.substr(0, found->second.find('\n'));
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

class CountingMetadataLogFactory::Log final : public ProcessMetadataLog {
 public:
  explicit Log(std::vector<Entry>& entries) : entries_(entries) {}
  bool WriteEntry(const std::vector<MetadataValue>&, std::string*) override {
    entries_.push_back({EntryStatus(), EntryLogFile(), EntryJobId()});
    return true;
  }

 private:
  std::vector<Entry>& entries_;
};

std::unique_ptr<ProcessMetadataLog> CountingMetadataLogFactory::Create(std::string* error) {
  if (fail_create_) {
    if (error) *error = "the metadata log is not available";
    return nullptr;
  }
  return std::make_unique<Log>(entries_);
}

EngineTestEnv::EngineTestEnv(ProcessLauncher& launcher, FileSystem& file_system)
    : env{clock, launcher, file_system, quiet, quiet, metadata, quiet} {}

void RecordingHooks::Pause(std::chrono::milliseconds longest) {
  ++pauses_;
  events_.push_back("pause " + std::to_string(longest.count()));
  if (on_pause) on_pause(longest);
}

void RecordingHooks::LineStarted(const clsJobLine& line) {
  events_.push_back("started " + std::to_string(line.JobLineNr()));
}

void RecordingHooks::LineFinished(const clsJobLine& line) {
  events_.push_back("finished " + std::to_string(line.JobLineNr()) +
                    (line.ErrorOccured() ? " failed" : " ok"));
}

void RecordingHooks::LineSkipped(const clsJobLine& line) {
  events_.push_back("skipped " + std::to_string(line.JobLineNr()));
}

void RecordingHooks::LineRepeated(const clsJobLine& original, const clsJobLine& copy) {
  events_.push_back("repeated " + std::to_string(original.JobLineNr()) + " as " +
                    std::to_string(copy.JobLineNr()));
}

void RecordingHooks::LineCannotStart(const clsJobLine& line, std::string_view reason) {
  events_.push_back("cannot " + std::to_string(line.JobLineNr()) + ": " + std::string(reason));
}

std::vector<std::string> RecordingHooks::Reports() const {
  std::vector<std::string> reports;
  for (const std::string& event : events_) {
    if (event.rfind("pause", 0) != 0) reports.push_back(event);
  }
  return reports;
}

}  // namespace jr::test
