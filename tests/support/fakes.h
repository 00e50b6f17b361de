#pragma once
// Fakes of the platform seams that many tests share: a clock that stands still until told
// otherwise, a registry held in memory and a process metadata log that records what it is
// given.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/metadata_log.h"
#include "platform/registry.h"

namespace jr::test {

// A clock whose time is set by the test. Starts at 7 March 2003 14:05:09 local time.
class FakeClock final : public Clock {
 public:
  FakeClock();
  explicit FakeClock(TimePoint now) : now_(now) {}
  TimePoint Now() const override { return now_; }
  void Set(TimePoint now) { now_ = now; }
  void Advance(std::chrono::seconds by) { now_ += by; }

 private:
  TimePoint now_;
};

// The time point of a local date and time (month 1..12).
TimePoint LocalTime(int year, int month, int day, int hour, int minute, int second);

// A registry in memory. Keys and names compare without regard to case, as on the real
// registry; otherwise a key path must match exactly ("A\\B" is not "A\B").
class MapRegistry final : public RegistryReader {
 public:
  // A REG_SZ value; stored with its terminating zero byte unless `terminated` is false.
  void SetString(std::string_view key, std::string_view name, std::string_view text,
                 bool terminated = true);
  void SetDword(std::string_view key, std::string_view name, uint32_t value);
  void SetRaw(std::string_view key, std::string_view name, RegistryValue value);
  void Remove(std::string_view key, std::string_view name);

  // The Keld / Mirn installation in two values each, as the installers record it.
  void InstallKeld(std::string_view version, std::string_view utils_path);
  void InstallMirn(std::string_view version, std::string_view utils_path);

  std::optional<RegistryValue> Query(std::string_view key, std::string_view name) override;
  // How many queries were made so far.
  int query_count() const { return query_count_; }

 private:
  std::map<std::pair<std::string, std::string>, RegistryValue> values_;
  int query_count_ = 0;
};

// One entry as the component received it.
struct RecordedMetadataEntry {
  int status = 0;
  std::string log_file;
  TimePoint start{};
  TimePoint stop{};
  std::string job_id;
  std::vector<MetadataValue> arguments;
};

// Hands out instances that append every written entry to the factory's list; they must not
// outlive the factory. Can be told to refuse creation or writing, to show how callers treat
// a failing component.
class RecordingMetadataLogFactory final : public ProcessMetadataLogFactory {
 public:
  Result<std::unique_ptr<ProcessMetadataLog>> Create() override;

  void set_fail_create(bool fail) { fail_create_ = fail; }
  void set_fail_write(bool fail) { fail_write_ = fail; }

  const std::vector<RecordedMetadataEntry>& entries() const { return entries_; }
  int create_count() const { return create_count_; }
  void clear() {
    entries_.clear();
    create_count_ = 0;
  }

 private:
  class Log;
  std::vector<RecordedMetadataEntry> entries_;
  int create_count_ = 0;
  bool fail_create_ = false;
  bool fail_write_ = false;
};

}  // namespace jr::test
