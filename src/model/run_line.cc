#include "model/run_line.h"

#include <algorithm>

#include "model/run_lines.h"

namespace jr {

void RunLine::SetJobLineNr(int32_t value) {
  if (owner_ != nullptr && value != job_line_nr_) owner_->Renumber(this, job_line_nr_, value);
  job_line_nr_ = value;
}

void RunLine::SetOriginalJobLineNr(int32_t value) {
  if (owner_ != nullptr && value != original_job_line_nr_) {
    owner_->MoveCopy(this, original_job_line_nr_, value);
  }
  original_job_line_nr_ = value;
}

const RunLine::RunNames& RunLine::Names() const {
  static const RunNames kNone;
  return names_ ? *names_ : kNone;
}

RunLine::RunNames& RunLine::Names() {
  if (!names_) names_ = std::make_unique<RunNames>();
  return *names_;
}

std::vector<std::string> RunLine::ProgramArguments() const {
  const std::string& joined = Names().program_arguments;
  std::vector<std::string> arguments;
  for (size_t at = 0; at < joined.size();) {
    const size_t end = joined.find('\0', at);
    arguments.push_back(joined.substr(at, end - at));
    at = end + 1;
  }
  return arguments;
}

void RunLine::SetProgramArguments(const std::vector<std::string>& value) {
  std::string& joined = Names().program_arguments;
  joined.clear();
  for (const std::string& argument : value) {
    joined.append(argument.data(), std::min(argument.size(), argument.find('\0')));
    joined.push_back('\0');
  }
  joined.shrink_to_fit();
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

}  // namespace jr
