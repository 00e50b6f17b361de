#include "model/job_line.h"

#include <algorithm>
#include <unordered_set>

#include "model/job_rules.h"
#include "model/number_text.h"
#include "platform/blanks.h"

namespace jr {
namespace {


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

// A list's entries as they stand between its commas; none for a blank list.
std::vector<std::string_view> ListEntries(std::string_view text) {
  std::vector<std::string_view> entries;
  if (TrimBlanks(text).empty()) return entries;
  size_t begin = 0;
  while (true) {
    const size_t comma = text.find(',', begin);
    entries.push_back(text.substr(
        begin, comma == std::string_view::npos ? std::string_view::npos : comma - begin));
    if (comma == std::string_view::npos) return entries;
    begin = comma + 1;
  }
}

}  // namespace

JobLineRefs::JobLineRefs(std::string text, std::vector<int32_t> numbers) {
  if (text.empty() && numbers.empty()) return;
  held_ = std::make_unique<const Held>(Held{std::move(text), std::move(numbers)});
}

JobLineRefs::JobLineRefs(const JobLineRefs& other)
    : held_(other.held_ ? std::make_unique<const Held>(*other.held_) : nullptr) {}

JobLineRefs& JobLineRefs::operator=(const JobLineRefs& other) {
  if (this != &other) held_ = other.held_ ? std::make_unique<const Held>(*other.held_) : nullptr;
  return *this;
}

const std::string& JobLineRefs::text() const {
  static const std::string kNone;
  return held_ ? held_->text : kNone;
}

const std::vector<int32_t>& JobLineRefs::numbers() const {
  static const std::vector<int32_t> kNone;
  return held_ ? held_->numbers : kNone;
}

Result<JobLineRefs> ReadJobLineRefs(std::string_view text) {
  std::vector<int32_t> numbers;
  for (std::string_view entry : ListEntries(text)) {
    const Result<int32_t> value = EntryValue(entry);
    if (!value.ok()) return value.status;
    numbers.push_back(value.value);
  }
  return JobLineRefs(std::string(text), std::move(numbers));
}

namespace {

// The five lists, each with its name in the job file: only a hand-edited file holds a list
// that does not read, so the message names it as the file does.
struct ListColumn {
  int column;
  const char* name;
  JobLineRefs JobLine::*refs;
  // What becomes of an entry that names no line.
  const char* unnamed;
};
constexpr const char* kNothingSkipped = "nothing is skipped for it";
constexpr const char* kNothingRepeated = "nothing is repeated for it";
constexpr ListColumn kListColumns[] = {
    {kColWait, "wait", &JobLine::wait_for, "the line will not wait for it"},
    {kColSkipOnError, "skip_on_error", &JobLine::skip_on_error, kNothingSkipped},
    {kColSkipOnSuccess, "skip_on_success", &JobLine::skip_on_success, kNothingSkipped},
    {kColRepeatOnError, "repeat_on_error", &JobLine::repeat_on_error, kNothingRepeated},
    {kColRepeatOnSuccess, "repeat_on_success", &JobLine::repeat_on_success, kNothingRepeated},
};

std::string UnreadableNumberText(int row, const std::string& number_text) {
  return "the job line in row " + std::to_string(row + 1) + " has the number \"" + number_text +
         "\", which is not a whole number from 1 to 999999";
}

// Row `row` as a job line whose number has been read already.
Result<JobLine> JobLineNumbered(const JobLineTable& table, int row, int32_t number) {
  JobLine line;
  line.number = number;
  // Named only for a message: most lines read whole, many thousand per run.
  auto name = [&line] { return "job line " + std::to_string(line.number); };
  for (const ListColumn& list : kListColumns) {
    Result<JobLineRefs> refs = ReadJobLineRefs(table.Text(list.column, row));
    if (!refs.ok()) {
      return Status::Failed(name() + ", \"" + list.name + "\": " + refs.message());
    }
    line.*list.refs = std::move(refs.value);
  }
  const std::string limit = table.Text(kColTimeLimit, row);
  const TimeLimitResult time_limit = ParseTimeLimit(limit);
  if (!time_limit.ok()) {
    return Status::Failed(TimeLimitFaultText("time limit of " + name(), limit));
  }
  line.time_limit = time_limit.seconds;
  const std::string delay_text = table.Text(kColRepeatDelay, row);
  const RepeatSettingResult repeat_delay = ParseRepeatDelay(delay_text);
  if (!repeat_delay.ok()) return Status::Failed(RepeatDelayFaultText(name(), delay_text));
  line.repeat_delay = repeat_delay.value;
  const std::string limit_text = table.Text(kColRepeatLimit, row);
  const RepeatSettingResult repeat_limit = ParseRepeatLimit(limit_text);
  if (!repeat_limit.ok()) return Status::Failed(RepeatLimitFaultText(name(), limit_text));
  line.repeat_limit = repeat_limit.value;
  line.description = table.Text(kColDescription, row);
  line.type = table.Text(kColType, row);
  line.options = table.Text(kColOptions, row);
  line.active = table.Text(kColActive, row) == "true";
  line.stop_on_error = table.Text(kColStopOnError, row) == "true";
  line.batch_file = table.Text(kColBatchFile, row);
  line.log_file = table.Text(kColLogFile, row);
  line.status_file = table.Text(kColStatusFile, row);
  if (const std::string text =
          UnpassableJobLineFileText(line.batch_file, line.log_file, line.status_file);
      !text.empty()) {
    return Status::Failed(name() + ": " + text);
  }
  return line;
}

}  // namespace

Result<JobLine> JobLineAt(const JobLineTable& table, int row) {
  const std::optional<int32_t> number = JobLineNumberOf(table.At(kColNumber, row));
  if (!number) return Status::Failed(UnreadableNumberText(row, table.Text(kColNumber, row)));
  return JobLineNumbered(table, row, *number);
}

JobLineRow ReadJobLineRow(const JobLineTable& table, int row) {
  JobLineRow read;
  read.row = row;
  read.active = table.At(kColActive, row) == "true";
  read.number = JobLineNumberOf(table.At(kColNumber, row));
  if (read.number) {
    read.line = JobLineNumbered(table, row, *read.number);
  } else {
    read.number_text = table.Text(kColNumber, row);
    read.line = Status::Failed(UnreadableNumberText(row, read.number_text));
  }
  return read;
}

std::vector<JobLineRow> ReadJobLineRows(const JobLineTable& table, int row_count) {
  const int count = std::clamp(row_count, 0, table.LineCount());
  std::vector<JobLineRow> rows;
  rows.reserve(static_cast<size_t>(count));
  for (int row = 0; row < count; ++row) rows.push_back(ReadJobLineRow(table, row));
  return rows;
}

std::vector<std::string> JobLineListWarnings(const JobLineTable& table, int row_count) {
  const std::vector<JobLineRow> rows = ReadJobLineRows(table, row_count);
  std::unordered_set<int32_t> numbers;
  for (const JobLineRow& row : rows) {
    if (row.number) numbers.insert(*row.number);
  }
  std::vector<std::string> warnings;
  std::unordered_set<int32_t> taken;
  for (const JobLineRow& row : rows) {
    if (!row.active || !row.number || !taken.insert(*row.number).second || !row.line.ok()) continue;
    const JobLine& line = row.line.value;
    for (const ListColumn& list : kListColumns) {
      const JobLineRefs& refs = line.*list.refs;
      const std::vector<std::string_view> entries = ListEntries(refs.text());
      for (size_t i = 0; i < entries.size(); ++i) {
        const std::string_view entry = TrimBlanks(entries[i]);
        const int32_t number = refs.numbers()[i];
        // Blank entries are passed over by the editor too; plain digits are what it writes.
        const bool plain = entry.find_first_not_of("0123456789") == std::string_view::npos;
        const bool self = list.column == kColWait && number == line.number;
        const bool names = numbers.count(number) != 0;
        if (entry.empty() || (plain && names && !self)) continue;
        std::string text = "job line " + std::to_string(line.number) + ": " + list.name +
                           " entry \"" + std::string(entry) + "\"";
        if (!plain) text += " is read as " + std::to_string(number) + (names ? "" : ", which");
        if (self) {
          text += " names the line itself; the line will never start";
        } else if (!names) {
          text += std::string(" names no line of the job; ") + list.unnamed;
        }
        warnings.push_back(std::move(text));
      }
    }
  }
  return warnings;
}

void SetJobLine(JobLineTable& table, int row, const JobLine& line) {
  table.Set(kColNumber, row, std::to_string(line.number));
  table.Set(kColDescription, row, line.description);
  table.Set(kColType, row, line.type);
  table.Set(kColOptions, row, line.options);
  for (const ListColumn& list : kListColumns) table.Set(list.column, row, (line.*list.refs).text());
  table.Set(kColStopOnError, row, line.stop_on_error ? "true" : "false");
  table.Set(kColActive, row, line.active ? "true" : "false");
  table.Set(kColBatchFile, row, line.batch_file);
  table.Set(kColLogFile, row, line.log_file);
  table.Set(kColStatusFile, row, line.status_file);
  auto setting = [](int32_t value) { return value == 0 ? Cell() : Cell(std::to_string(value)); };
  table.Set(kColTimeLimit, row, setting(line.time_limit));
  table.Set(kColRepeatDelay, row, setting(line.repeat_delay));
  table.Set(kColRepeatLimit, row, setting(line.repeat_limit));
}

}  // namespace jr
