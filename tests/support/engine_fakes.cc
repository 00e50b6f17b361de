#include "support/engine_fakes.h"

namespace jr::test {

ProcessHandle ScriptedLauncher::Start(std::string_view program, std::string_view arguments) {
  log.push_back(std::string(program) + "|" + std::string(arguments));
  if (failing_programs.count(std::string(program)) != 0) return 0;
  running.insert(next_);
  return next_++;
}

bool ScriptedLauncher::IsRunning(ProcessHandle& handle) {
  if (running.count(handle) != 0) return true;
  handle = 0;
  return false;
}

void ScriptedLauncher::TerminateAll(std::chrono::milliseconds) {
  log.push_back("terminate");
  running.clear();
}

bool MemoryFileSystem::RemoveFile(const std::string& path, std::string* error) {
  if (fail_remove) {
    if (error) *error = "cannot delete " + path;
    return false;
  }
  files.erase(path);
  return true;
}

std::string MemoryFileSystem::ReadFirstLine(const std::string& path) const {
  auto found = files.find(path);
  if (found == files.end()) return {};
  std::string line = found->second.substr(0, found->second.find('\n'));
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

namespace {

class StatusLog final : public ProcessMetadataLog {
 public:
  explicit StatusLog(std::vector<int>& statuses) : statuses_(statuses) {}
  bool WriteEntry(const std::vector<MetadataValue>&, std::string*) override {
    statuses_.push_back(EntryStatus());
    return true;
  }

 private:
  std::vector<int>& statuses_;
};

}  // namespace

std::unique_ptr<ProcessMetadataLog> StatusMetadataLogFactory::Create(std::string* error) {
  if (fail_create) {
    if (error) *error = "the metadata log is not available";
    return nullptr;
  }
  return std::make_unique<StatusLog>(statuses);
}

void RecordingHooks::Pause(std::chrono::milliseconds longest) {
  ++pauses;
  events.push_back("pause " + std::to_string(longest.count()));
  if (on_pause) on_pause(longest);
}

void RecordingHooks::Note(const char* what, const clsJobLine& line, const std::string& more) {
  events.push_back(what + (" " + std::to_string(line.JobLineNr())) + more);
}

void RecordingHooks::LineFinished(const clsJobLine& line) {
  Note("finished", line, line.ErrorOccured() ? " failed" : " ok");
}

void RecordingHooks::LineRepeated(const clsJobLine& original, const clsJobLine& copy) {
  Note("repeated", original, " as " + std::to_string(copy.JobLineNr()));
}

void RecordingHooks::LineCannotStart(const clsJobLine& line, std::string_view reason) {
  Note("cannot", line, ": " + std::string(reason));
}

std::vector<std::string> RecordingHooks::Reports() const {
  std::vector<std::string> reports;
  for (const std::string& event : events) {
    if (event.rfind("pause", 0) != 0) reports.push_back(event);
  }
  return reports;
}

}  // namespace jr::test
