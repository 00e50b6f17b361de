#pragma once
// Fakes of the platform seams that the core and window tests share: a clock that stands
// still until told otherwise, a registry held in memory, a process metadata log and an event
// log that write down what they are given, a notifier that shows nothing, and a file system
// in memory. Header-only, so that the window tests use them without the GoogleTest support
// library.

#include <cctype>
#include <chrono>
#include <ctime>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/job_line.h"
#include "model/job_line_table.h"
#include "platform/clock.h"
#include "platform/event_log.h"
#include "platform/file_system.h"
#include "platform/metadata_log.h"
#include "platform/notifier.h"
#include "platform/registry.h"

namespace jr::test {

// The time point of a local date and time (month 1..12).
inline TimePoint LocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm local{};
  local.tm_year = year - 1900, local.tm_mon = month - 1, local.tm_mday = day;
  local.tm_hour = hour, local.tm_min = minute, local.tm_sec = second, local.tm_isdst = -1;
  return std::chrono::system_clock::from_time_t(std::mktime(&local));
}

// A job-line table whose rows hold these numbers and nothing else.
inline JobLineTable TableOfNumbers(std::initializer_list<const char*> numbers) {
  JobLineTable table;
  for (const char* number : numbers) table.Set(kColNumber, AppendJobLine(table, {}), number);
  return table;
}

// 7 March 2003 at that local time.
inline TimePoint At(int hour, int minute, int second) {
  return LocalTime(2003, 3, 7, hour, minute, second);
}

// Starts at 7 March 2003 14:05:09 local time and moves only when told.
class FakeClock final : public Clock {
 public:
  TimePoint Now() const override { return now_; }
  void Set(TimePoint now) { now_ = now; }

 private:
  TimePoint now_ = At(14, 5, 9);
};

// Texts (REG_SZ with their terminating zero) in memory. Keys and names compare without
// regard to case, as on the real registry; otherwise a key path must match exactly.
class MapRegistry final : public RegistryReader {
 public:
  void SetString(std::string_view key, std::string_view name, std::string_view text) {
    RegistryValue value{kRegSz, {text.begin(), text.end()}};
    value.data.push_back(0);
    values_[{Folded(key), Folded(name)}] = std::move(value);
  }
  // A product's installation in two values, as its installer records it.
  void InstallKeld(std::string_view version, std::string_view utils_path) {
    Install("VantorKeld", "Keld_utils_path", version, utils_path);
  }
  void InstallMirn(std::string_view version, std::string_view utils_path) {
    Install("iVantorMirn", "Mirn_utils_path", version, utils_path);
  }

  std::optional<RegistryValue> Query(std::string_view key, std::string_view name) override {
    auto found = values_.find({Folded(key), Folded(name)});
    if (found == values_.end()) return std::nullopt;
    return found->second;
  }

 private:
  static std::string Folded(std::string_view text) {
    std::string folded(text);
    for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return folded;
  }
  void Install(std::string product, std::string_view value, std::string_view version,
               std::string_view utils_path) {
    const std::string key = "SOFTWARE\\Vantor\\" + product + "\\";
    SetString(key + "Version Info", "Current Version", version);
    SetString(key + std::string(version) + "\\Install Info", value, utils_path);
  }

  std::map<std::pair<std::string, std::string>, RegistryValue> values_;
};

// Keeps every written entry; refuses writing while told to, to show how callers treat a
// failing component. Its logs must not outlive it.
class RecordingMetadataLogFactory final : public ProcessMetadataLogFactory {
 public:
  struct Entry {
    int status = 0;
    std::vector<MetadataValue> arguments;
  };
  Result<std::unique_ptr<ProcessMetadataLog>> Create() override {
    return std::unique_ptr<ProcessMetadataLog>(std::make_unique<Log>(*this));
  }
  std::vector<int> Statuses() const {
    std::vector<int> statuses;
    for (const Entry& entry : entries) statuses.push_back(entry.status);
    return statuses;
  }

  std::vector<Entry> entries;
  bool fail_write = false;

 private:
  struct Log final : ProcessMetadataLog {
    explicit Log(RecordingMetadataLogFactory& factory) : factory(factory) {}
    Status WriteEntry(const std::vector<MetadataValue>& arguments) override {
      if (factory.fail_write) return Status::Failed("the metadata log cannot be written");
      factory.entries.push_back({EntryStatus(), arguments});
      return Status::Ok();
    }
    RecordingMetadataLogFactory& factory;
  };
};

// Event-log entries as "SOURCE|TYPE|CATEGORY|ID|MESSAGE"; messages are not kept.
class RecordingOutside final : public EventLogSink, public Notifier {
 public:
  int Write(std::string_view source, uint16_t type, uint16_t category, uint32_t id,
            std::string_view message) override {
    entries.push_back(std::string(source) + "|" + std::to_string(type) + "|" +
                      std::to_string(category) + "|" + std::to_string(id) + "|" +
                      std::string(message));
    return 0;
  }
  void ShowMessage(std::string_view, std::string_view, MessageIcon) override {}
  std::vector<std::string> entries;
};

// The one in-memory file system: files are texts by path, folders a set of paths. Nothing
// touches the disk, so a test sets a status file and reads a log file without a folder of
// its own. A file's stamp counts its writes.
class VirtualFileSystem final : public FileSystem {
 public:
  bool FileExists(const std::string& path) const override { return files.count(path) != 0; }
  bool FolderExists(const std::string& path) const override { return folders.count(path) != 0; }
  Status RemoveFile(const std::string& path) override {
    files.erase(path);
    return Status::Ok();
  }
  Status CreateFolder(const std::string& path) override {
    if (!folders.insert(path).second) return Status::Failed(path + " exists already");
    return Status::Ok();
  }
  Status CreateFolders(const std::string& path) override {
    folders.insert(path);
    return Status::Ok();
  }
  // As the machine's does: at most kFirstLineLimit bytes, cut at the first LF, a CR before
  // it dropped.
  std::string ReadFirstLine(const std::string& path) const override {
    const auto found = files.find(path);
    if (found == files.end()) return {};
    std::string line = found->second.substr(0, kFirstLineLimit);
    line = line.substr(0, line.find('\n'));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
  }
  std::string FileStamp(const std::string& path) const override {
    const auto found = stamps.find(path);
    return found == stamps.end() || files.count(path) == 0 ? std::string()
                                                           : std::to_string(found->second);
  }
  Status AppendText(const std::string& path, std::string_view text) override {
    Write(path, files[path] + std::string(text));
    return Status::Ok();
  }

  // Creates or replaces the file, as a program writing it would.
  void Write(const std::string& path, std::string text) {
    files[path] = std::move(text);
    ++stamps[path];
  }

  std::map<std::string, std::string> files;
  std::set<std::string> folders;
  std::map<std::string, int> stamps;
};

}  // namespace jr::test
