#pragma once
// The process metadata log: an outside component that receives one entry for every job
// line that ends or fails to start. The runner only creates it, sets the five Entry values
// and calls WriteEntry; where the entry goes is the component's business.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/clock.h"
#include "platform/status.h"

namespace jr {

using MetadataValue = std::variant<int64_t, double, std::string>;

class ProcessMetadataLog {
 public:
  virtual ~ProcessMetadataLog() = default;

  int EntryStatus() const { return entry_status_; }
  void SetEntryStatus(int value) { entry_status_ = value; }
  const std::string& EntryLogFile() const { return entry_log_file_; }
  void SetEntryLogFile(std::string value) { entry_log_file_ = std::move(value); }
  TimePoint EntryStart() const { return entry_start_; }
  void SetEntryStart(TimePoint value) { entry_start_ = value; }
  TimePoint EntryStop() const { return entry_stop_; }
  void SetEntryStop(TimePoint value) { entry_stop_ = value; }
  const std::string& EntryJobId() const { return entry_job_id_; }
  void SetEntryJobId(std::string value) { entry_job_id_ = std::move(value); }

  // Stores one entry: the 31 arguments and the five Entry values; fails when the entry
  // could not be stored.
  virtual Status WriteEntry(const std::vector<MetadataValue>& arguments) = 0;

 private:
  int entry_status_ = 0;
  std::string entry_log_file_;
  TimePoint entry_start_{};
  TimePoint entry_stop_{};
  std::string entry_job_id_;
};

class ProcessMetadataLogFactory {
 public:
  // The run the following entries belong to; a store that keeps runs apart records it.
  virtual void SetRunId(std::string_view /*run_id*/) {}
  virtual ~ProcessMetadataLogFactory() = default;
  // A new instance of the component, or the failure that left none.
  virtual Result<std::unique_ptr<ProcessMetadataLog>> Create() = 0;
};

}  // namespace jr

namespace jr {

// The SQLite store at SystemMetadataDatabasePath().
std::unique_ptr<ProcessMetadataLogFactory> MakeSystemMetadataLogFactory();

}  // namespace jr
