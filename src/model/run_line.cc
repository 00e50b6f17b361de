#include "model/run_line.h"

#include "model/run_lines.h"

namespace jr {

void RunLine::setJobLineNr(int32_t value) {
  if (owner_ != nullptr && value != job_line_nr_) owner_->Renumber(this, job_line_nr_, value);
  job_line_nr_ = value;
}

void RunLine::setOriginalJobLineNr(int32_t value) {
  if (owner_ != nullptr && value != original_job_line_nr_) {
    owner_->MoveCopy(this, original_job_line_nr_, value);
  }
  original_job_line_nr_ = value;
}

TimePoint RunLine::Now() const {
  return services_.clock != nullptr ? services_.clock->Now() : std::chrono::system_clock::now();
}

std::vector<MetadataValue> MetadataEntryArguments(const std::string& program_type,
                                                  std::string_view ended_by) {
  const std::string missing = "Missing";
  std::vector<MetadataValue> args;
  args.reserve(31);
  args.emplace_back(int64_t{7});
  args.emplace_back(std::string("Job Runner"));
  args.emplace_back(program_type);
  args.emplace_back(ended_by.empty() ? missing : std::string(ended_by));
  for (int i = 0; i < 11; ++i) args.emplace_back(missing);
  args.emplace_back(int64_t{99});
  for (int i = 0; i < 2; ++i) args.emplace_back(missing);
  args.emplace_back(2.0);
  args.emplace_back(2.0);
  args.emplace_back(-1.0);
  for (int i = 0; i < 5; ++i) args.emplace_back(missing);
  args.emplace_back(int64_t{0});
  args.emplace_back(int64_t{0});
  return args;
}

Status RunLine::LogProcessMetaData() {
  metadata_log_.reset();
  if (services_.metadata == nullptr) return Status::Failed("no process metadata log is available");
  Result<std::unique_ptr<ProcessMetadataLog>> created = services_.metadata->Create();
  if (!created.ok()) return created.status;
  metadata_log_ = std::move(created.value);
  metadata_log_->setEntryStatus(ErrorOccurred() ? 3 : 0);
  metadata_log_->setEntryLogFile(log_file_name_);
  // A line logs once it has ended, or failed to start, so both times are there.
  if (!starting_time_) return Status::Failed("start time \"\" cannot be read as a date");
  metadata_log_->setEntryStart(*starting_time_);
  if (!stop_time_) return Status::Failed("stop time \"\" cannot be read as a date");
  metadata_log_->setEntryStop(*stop_time_);
  metadata_log_->setEntryJobId(job_id_);
  return metadata_log_->WriteEntry(
      MetadataEntryArguments(program_type_, time_limit_reached_ ? "time limit" : ""));
}

}  // namespace jr
