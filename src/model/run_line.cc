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

const JobLine& RunLine::definition() const {
  static const JobLine kNone;
  return definition_ ? *definition_ : kNone;
}

void RunLine::SetDefinition(std::shared_ptr<const JobLine> value) {
  definition_ = std::move(value);
  own_definition_ = false;
}

void RunLine::SetDefinition(JobLine value) {
  std::shared_ptr<JobLine> made = std::make_shared<JobLine>(std::move(value));
  definition_ = std::move(made);
  own_definition_ = true;
}

JobLine& RunLine::EditDefinition() {
  if (!own_definition_ || definition_.use_count() > 1) SetDefinition(JobLine(definition()));
  // Made by this line as a changeable line, and held by it alone.
  return const_cast<JobLine&>(*definition_);
}

namespace {

// Where the `index`-th piece of `joined` (pieces each ended by a null character) starts, or
// its size when it holds fewer pieces.
size_t PieceAt(const std::string& joined, size_t index) {
  size_t at = 0;
  for (; index > 0; --index) {
    const size_t end = joined.find('\0', at);
    if (end == std::string::npos) return joined.size();
    at = end + 1;
  }
  return at;
}

// `value` up to a null character it may hold, which would end its piece early.
std::string_view Piece(std::string_view value) { return value.substr(0, value.find('\0')); }

}  // namespace

std::string RunLine::Name(NameSlot slot) const {
  if (names_.empty()) return {};
  const size_t at = PieceAt(names_, slot);
  return names_.substr(at, names_.find('\0', at) - at);
}

void RunLine::SetName(NameSlot slot, std::string_view value) {
  if (names_.empty()) names_.assign(kNameSlots, '\0');
  const size_t at = PieceAt(names_, slot);
  names_.replace(at, names_.find('\0', at) - at, Piece(value));
  names_.shrink_to_fit();
}

std::vector<std::string> RunLine::ProgramArguments() const {
  std::vector<std::string> arguments;
  if (names_.empty()) return arguments;
  for (size_t at = PieceAt(names_, kNameSlots); at < names_.size();) {
    const size_t end = std::min(names_.find('\0', at), names_.size());
    arguments.push_back(names_.substr(at, end - at));
    at = end + 1;
  }
  return arguments;
}

void RunLine::SetProgramArguments(const std::vector<std::string>& value) {
  if (names_.empty()) names_.assign(kNameSlots, '\0');
  names_.resize(PieceAt(names_, kNameSlots));
  for (const std::string& argument : value) {
    names_.append(Piece(argument));
    names_.push_back('\0');
  }
  names_.shrink_to_fit();
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
