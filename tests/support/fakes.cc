#include "support/fakes.h"

#include <time.h>

#include <cctype>

namespace jr::test {
namespace {

std::string Folded(std::string_view text) {
  std::string folded(text);
  for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return folded;
}

}  // namespace

TimePoint LocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm local{};
  local.tm_year = year - 1900, local.tm_mon = month - 1, local.tm_mday = day;
  local.tm_hour = hour, local.tm_min = minute, local.tm_sec = second, local.tm_isdst = -1;
  return std::chrono::system_clock::from_time_t(std::mktime(&local));
}

FakeClock::FakeClock() : now_(LocalTime(2003, 3, 7, 14, 5, 9)) {}

void MapRegistry::SetString(std::string_view key, std::string_view name, std::string_view text,
                            bool terminated) {
  RegistryValue value;
  value.type = kRegSz;
  value.data.assign(text.begin(), text.end());
  if (terminated) value.data.push_back(0);
  SetRaw(key, name, std::move(value));
}

void MapRegistry::SetDword(std::string_view key, std::string_view name, uint32_t number) {
  RegistryValue value;
  value.type = kRegDword;
  for (int shift = 0; shift < 32; shift += 8) {
    value.data.push_back(static_cast<uint8_t>(number >> shift));
  }
  SetRaw(key, name, std::move(value));
}

void MapRegistry::SetRaw(std::string_view key, std::string_view name, RegistryValue value) {
  values_[{Folded(key), Folded(name)}] = std::move(value);
}

void MapRegistry::Remove(std::string_view key, std::string_view name) {
  values_.erase({Folded(key), Folded(name)});
}

void MapRegistry::InstallKeld(std::string_view version, std::string_view utils_path) {
  const std::string key = "SOFTWARE\\Vantor\\VantorKeld\\";
  SetString(key + "Version Info", "Current Version", version);
  SetString(key + std::string(version) + "\\Install Info", "Keld_utils_path", utils_path);
}

void MapRegistry::InstallMirn(std::string_view version, std::string_view utils_path) {
  const std::string key = "SOFTWARE\\Vantor\\iVantorMirn\\";
  SetString(key + "Version Info", "Current Version", version);
  SetString(key + std::string(version) + "\\Install Info", "Mirn_utils_path", utils_path);
}

std::optional<RegistryValue> MapRegistry::Query(std::string_view key, std::string_view name) {
  ++query_count_;
  auto found = values_.find({Folded(key), Folded(name)});
  if (found == values_.end()) return std::nullopt;
  return found->second;
}

class RecordingMetadataLogFactory::Log final : public ProcessMetadataLog {
 public:
  explicit Log(RecordingMetadataLogFactory& factory) : factory_(factory) {}
  Status WriteEntry(const std::vector<MetadataValue>& arguments) override {
    if (factory_.fail_write_) {
      return Status::Failed("recording metadata log told to fail writing");
    }
    factory_.entries_.push_back(
        {EntryStatus(), EntryLogFile(), EntryStart(), EntryStop(), EntryJobId(), arguments});
    return Status::Ok();
  }

 private:
  RecordingMetadataLogFactory& factory_;
};

Result<std::unique_ptr<ProcessMetadataLog>> RecordingMetadataLogFactory::Create() {
  ++create_count_;
  if (fail_create_) return Status::Failed("recording metadata log told to fail creation");
  return std::unique_ptr<ProcessMetadataLog>(std::make_unique<Log>(*this));
}

}  // namespace jr::test
