#include "model/schedule.h"

#include <algorithm>

#include "model/number_text.h"
#include "platform/blanks.h"
#include "platform/letter_case.h"

namespace jr {
namespace {

bool IsDate(std::string_view text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
  for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
    if (!IsDigit(text[i])) return false;
  }
  auto number = [&](size_t from, size_t count) {
    int value = 0;
    for (size_t i = from; i < from + count; ++i) value = value * 10 + (text[i] - '0');
    return value;
  };
  const int year = number(0, 4), month = number(5, 2), day = number(8, 2);
  if (month < 1 || month > 12 || day < 1) return false;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

// Blanks, tabs and the carriage return of a file saved on Windows taken off both ends.
std::string_view Trimmed(std::string_view text) {
  const size_t begin = text.find_first_not_of(" \t\r");
  if (begin == std::string_view::npos) return {};
  return text.substr(begin, text.find_last_not_of(" \t\r") - begin + 1);
}

}  // namespace

Result<bool> ParseCatchUp(std::string_view text) {
  const std::string_view word = TrimBlanks(text);
  if (word.empty() || EqualsIgnoringCase(word, "true")) return true;
  if (EqualsIgnoringCase(word, "false")) return false;
  return Status::Failed("CatchUp: \"" + std::string(text) + "\" is not true or false");
}

Result<int32_t> ParseRandomDelay(std::string_view text) {
  const std::string_view digits = TrimBlanks(text);
  if (digits.empty()) return 0;
  if (digits.size() <= 5 &&
      std::all_of(digits.begin(), digits.end(), IsDigit)) {
    if (const int32_t seconds = std::stoi(std::string(digits)); seconds <= kHighestRandomDelay) {
      return seconds;
    }
  }
  return Status::Failed("RandomDelay: \"" + std::string(text) +
                        "\" is not a whole number of seconds from 0 to " +
                        std::to_string(kHighestRandomDelay));
}

std::vector<std::string> ScheduleFaults(const ScheduleAttributes& schedule) {
  std::vector<std::string> faults;
  if (const Result<bool> catch_up = ParseCatchUp(schedule.CatchUp); !catch_up.ok()) {
    faults.push_back(catch_up.message());
  }
  if (const Result<int32_t> delay = ParseRandomDelay(schedule.RandomDelay); !delay.ok()) {
    faults.push_back(delay.message());
  }
  return faults;
}

Result<DaysOff> DaysOff::Parse(std::string_view text, const std::string& file) {
  DaysOff days;
  int number = 0;
  while (!text.empty()) {
    ++number;
    const size_t end = std::min(text.find('\n'), text.size());
    const std::string_view raw = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    const std::string_view line = Trimmed(raw.substr(0, raw.find('#')));
    if (line.empty()) continue;
    const size_t dots = line.find("..");
    const std::string_view first = Trimmed(line.substr(0, dots));
    const std::string_view last =
        dots == std::string_view::npos ? first : Trimmed(line.substr(dots + 2));
    const std::string where = file + ": line " + std::to_string(number) + ": \"" +
                              std::string(Trimmed(raw)) + "\" ";
    if (!IsDate(first) || !IsDate(last)) {
      return Status::Failed(where +
                            "is no date YYYY-MM-DD or range of dates YYYY-MM-DD..YYYY-MM-DD");
    }
    if (last < first) return Status::Failed(where + "ends before it begins");
    days.ranges_.emplace_back(first, last);
  }
  return days;
}

bool DaysOff::Contains(std::string_view date) const {
  return std::any_of(ranges_.begin(), ranges_.end(), [&](const auto& range) {
    return range.first <= date && date <= range.second;
  });
}

}  // namespace jr
