#include "model/job_line.h"

#include "model/job_rules.h"
#include "model/number_text.h"
#include "platform/blanks.h"

namespace jr {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

Result<int32_t> EntryValue(std::string_view entry) {
  // Plain digits, by far the common case, are read directly.
  if (!entry.empty() && entry.size() <= 6) {
    int32_t direct = 0;
    bool plain = true;
    for (char c : entry) {
      if (!IsDigit(c)) {
        plain = false;
        break;
      }
      direct = direct * 10 + (c - '0');
    }
    if (plain) return direct;
  }
  std::optional<int64_t> number = LeadingWholeNumber(entry);
  if (!number || *number < -kHighestJobLineNr || *number > kHighestJobLineNr) {
    return Status::Failed("the job-line list entry \"" + std::string(entry) +
                          "\" lies outside the job line numbers");
  }
  return static_cast<int32_t>(*number);
}

}  // namespace

Result<JobLineRefs> ReadJobLineRefs(std::string_view text) {
  JobLineRefs refs;
  refs.text = std::string(text);
  if (TrimBlanks(text).empty()) return refs;
  size_t begin = 0;
  while (true) {
    const size_t comma = text.find(',', begin);
    const Result<int32_t> value = EntryValue(text.substr(
        begin, comma == std::string_view::npos ? std::string_view::npos : comma - begin));
    if (!value.ok()) return value.status;
    refs.numbers.push_back(value.value);
    if (comma == std::string_view::npos) return refs;
    begin = comma + 1;
  }
}

}  // namespace jr
