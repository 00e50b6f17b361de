#include "model/job_rules.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "model/number_text.h"

#include "model/catalogue.h"
#include "platform/blanks.h"
#include "platform/credentials.h"
#include "platform/letter_case.h"
#include "platform/program_command.h"

namespace jr {
namespace {

constexpr int64_t kNumberCap = int64_t{1} << 40;


std::string_view TrimTrailingBlanks(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// The digits' value, capped; nullopt when `digits` is empty or holds anything else.
std::optional<int64_t> DigitsValue(std::string_view digits) {
  if (digits.empty()) return std::nullopt;
  int64_t value = 0;
  for (char c : digits) {
    if (!IsDigit(c)) return std::nullopt;
    value = std::min(value * 10 + (c - '0'), kNumberCap);
  }
  return value;
}

RuleResult Refused(std::string_view title, std::string message,
                   RuleStatus status = RuleStatus::kRefused) {
  return {status, std::string(title), std::move(message)};
}

// An entry as a message names it: a plain number without its leading zeros, anything else
// as it stands.
std::string EntryText(std::string_view trimmed_entry) {
  if (!DigitsValue(trimmed_entry)) return std::string(trimmed_entry);
  size_t first = 0;
  while (first + 1 < trimmed_entry.size() && trimmed_entry[first] == '0') ++first;
  return std::string(trimmed_entry.substr(first));
}

RuleResult CheckListEntry(JobLineList list, std::string_view current_number, std::string_view entry,
                          const JobLineTable* table) {
  const std::string_view title = JobLineListTitle(list);
  if (entry.find(' ') != std::string_view::npos) {
    return Refused(title, "Job Line Numbers must be separated with commas !");
  }
  const std::optional<int64_t> n = DigitsValue(entry);
  // A current number that is no number (pasted) leaves only the entry's own checks here;
  // OK refuses such a number before it looks at the lists.
  const std::optional<int64_t> c = DigitsValue(TrimBlanks(current_number));
  if (list == JobLineList::kWait && n && c && *n == *c) {
    return Refused(title, "Job Line cannot wait for itself !");
  }
  if (!n || !JobLineNrExists(table, *n)) {
    return Refused(title, "Job Line " + EntryText(entry) + " does not exist !");
  }
  if (!c) return {};
  switch (list) {
    case JobLineList::kWait:
      if (*c < *n) return Refused(title, "Job Line can only wait for lower job line numbers !");
      break;
    case JobLineList::kSkipOnError:
    case JobLineList::kSkipOnSuccess:
      if (*c >= *n) return Refused(title, "Only job lines with a higher number can be skipped !");
      break;
    case JobLineList::kRepeatOnError:
    case JobLineList::kRepeatOnSuccess:
      if (*c < *n) {
        return Refused(title,
                       "Only this job line or job lines with a lower number can be repeated !");
      }
      break;
  }
  return {};
}

}  // namespace

JobLineNrResult ParseJobLineNr(std::string_view text) {
  const std::string_view trimmed = TrimBlanks(text);
  if (trimmed.empty()) return {NumberStatus::kBlank, 0};
  const std::optional<int64_t> value = DigitsValue(trimmed);
  if (!value) return {NumberStatus::kNotNumber, 0};
  if (*value < kLowestJobLineNr || *value > kHighestJobLineNr) {
    return {NumberStatus::kOutOfRange, *value};
  }
  return {NumberStatus::kOk, *value};
}

MaxParallelResult ParseMaxParallel(std::string_view text) {
  auto is_blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
  if (text.empty()) return {NumberStatus::kBlank, 0};
  const bool negative = text.front() == '-';
  if (text.front() == '+' || negative) text.remove_prefix(1);
  const std::optional<int64_t> magnitude = DigitsValue(text);
  if (!magnitude) return {NumberStatus::kNotNumber, 0};
  const int64_t value = negative ? -*magnitude : *magnitude;
  if (value < kLowestMaxParallel || value > kHighestMaxParallel) {
    return {NumberStatus::kOutOfRange, 0};
  }
  return {NumberStatus::kOk, static_cast<int32_t>(value)};
}

namespace {

// A setting typed as a plain number: blanks around, digits between, `lowest` to `highest`.
RepeatSettingResult ParseSetting(std::string_view text, int32_t lowest, int32_t highest) {
  const std::string_view trimmed = TrimBlanks(text);
  if (trimmed.empty()) return {NumberStatus::kBlank, 0};
  const std::optional<int64_t> value = DigitsValue(trimmed);
  if (!value) return {NumberStatus::kNotNumber, 0};
  if (*value < lowest || *value > highest) return {NumberStatus::kOutOfRange, 0};
  return {NumberStatus::kOk, static_cast<int32_t>(*value)};
}

std::string SettingFaultText(std::string_view whose, std::string_view text, int32_t lowest,
                             int32_t highest) {
  return "the " + std::string(whose) + " \"" + std::string(text) +
         "\" is not a whole number from " + std::to_string(lowest) + " to " +
         std::to_string(highest);
}

}  // namespace

TimeLimitResult ParseTimeLimit(std::string_view text) {
  const RepeatSettingResult read = ParseSetting(text, kLowestTimeLimit, kHighestTimeLimit);
  return {read.status, read.value};
}

RepeatSettingResult ParseRepeatDelay(std::string_view text) {
  return ParseSetting(text, kLowestRepeatDelay, kHighestRepeatDelay);
}

RepeatSettingResult ParseRepeatLimit(std::string_view text) {
  return ParseSetting(text, kLowestRepeatLimit, kHighestRepeatLimit);
}

std::string TimeLimitFaultText(std::string_view whose, std::string_view limit) {
  return SettingFaultText(whose, limit, kLowestTimeLimit, kHighestTimeLimit);
}

std::string RepeatDelayFaultText(std::string_view line, std::string_view delay) {
  return SettingFaultText("repeat delay of " + std::string(line), delay, kLowestRepeatDelay,
                          kHighestRepeatDelay);
}

std::string RepeatLimitFaultText(std::string_view line, std::string_view limit) {
  return SettingFaultText("repeat limit of " + std::string(line), limit, kLowestRepeatLimit,
                          kHighestRepeatLimit);
}

Result<OverlapPolicy> ParseOverlap(std::string_view text) {
  for (OverlapPolicy policy :
       {OverlapPolicy::kRefuse, OverlapPolicy::kWait, OverlapPolicy::kAllow}) {
    if (EqualsIgnoringCase(text, OverlapWord(policy))) return policy;
  }
  if (text.empty()) return OverlapPolicy::kRefuse;
  return Status::Failed("the job's overlap policy \"" + std::string(text) +
                        "\" is not refuse, wait or allow");
}

const char* OverlapWord(OverlapPolicy policy) {
  switch (policy) {
    case OverlapPolicy::kWait:
      return "wait";
    case OverlapPolicy::kAllow:
      return "allow";
    case OverlapPolicy::kRefuse:
      break;
  }
  return "refuse";
}

bool JobLineNrExists(const JobLineTable* table, int64_t number) {
  if (table == nullptr || number < 1) return false;
  for (int i = table->LineCount() - 1; i >= 0; --i) {
    if (table->LineNumberAt(i) == number) return true;
  }
  return false;
}

std::optional<int64_t> ProposedJobLineNr(const JobLineTable* table) {
  // The table is sorted: the last row whose number reads holds the highest number; rows
  // behind it hold numbers that do not read.
  int row = table ? table->LineCount() - 1 : -1;
  while (row >= 0 && table->LineNumberAt(row) == 0) --row;
  if (row < 0) return 10;
  const int64_t proposal = int64_t{table->LineNumberAt(row)} + 10;
  if (proposal > kHighestJobLineNr) return std::nullopt;
  return proposal;
}

RuleResult CheckJobLineNrField(std::string_view text, int64_t starting_number,
                               const JobLineTable* table) {
  constexpr std::string_view kTitle = "Job Line";
  const JobLineNrResult number = ParseJobLineNr(text);
  if (number.status == NumberStatus::kBlank) {
    return Refused(kTitle, "Please fill Job Line", RuleStatus::kEmpty);
  }
  if (!number.ok()) {
    return Refused(kTitle, "Only numeric Job Line numbers between 1 and 999999 allowed ");
  }
  if (number.value != starting_number && JobLineNrExists(table, number.value)) {
    return Refused(kTitle, "This Job Line number already exists");
  }
  return {};
}

RuleResult CheckJobLineTypeField(std::string_view type_name) {
  if (type_name.empty()) {
    return Refused("Job Line Type", "Please fill Job Line type", RuleStatus::kEmpty);
  }
  return {};
}

std::string_view JobLineListTitle(JobLineList list) {
  switch (list) {
    case JobLineList::kWait:
      return "Wait for JobLine(s)";
    case JobLineList::kSkipOnError:
      return "Skip JobLine(s) on error";
    case JobLineList::kSkipOnSuccess:
      return "Skip JobLine(s) on success";
    case JobLineList::kRepeatOnError:
      return "Repeat JobLine(s) on error";
    case JobLineList::kRepeatOnSuccess:
      return "Repeat JobLine(s) on success";
  }
  return {};
}

RuleResult CheckJobLineListField(JobLineList list, std::string_view current_number,
                                 std::string_view text, const JobLineTable* table) {
  if (TrimBlanks(current_number).empty()) return {};
  text = TrimTrailingBlanks(text);
  size_t begin = 0;
  while (begin <= text.size()) {
    size_t comma = text.find(',', begin);
    if (comma == std::string_view::npos) comma = text.size();
    const std::string_view entry = TrimBlanks(text.substr(begin, comma - begin));
    // Empty entries (a doubled, leading or trailing comma) are passed over.
    if (!entry.empty()) {
      RuleResult result = CheckListEntry(list, current_number, entry, table);
      if (!result.ok()) return result;
    }
    begin = comma + 1;
  }
  return {};
}

std::string UnpassableFileNameText(std::string_view what, std::string_view name) {
  if (name.find('"') == std::string_view::npos) return {};
  return "the " + std::string(what) + " name \"" + std::string(name) +
         "\" contains a double quote, which cannot be passed on a program's command line";
}

std::string UnpassableJobLineFileText(std::string_view batch_file, std::string_view log_file,
                                      std::string_view status_file) {
  const std::pair<std::string_view, std::string_view> names[] = {
      {"user-defined batch file", batch_file},
      {"log file", log_file},
      {"status file", status_file}};
  for (const auto& [what, name] : names) {
    if (std::string text = UnpassableFileNameText(what, name); !text.empty()) return text;
  }
  return {};
}

RuleResult CheckPassableFileNames(std::string_view batch_file, std::string_view log_file,
                                  std::string_view status_file) {
  std::string text = UnpassableJobLineFileText(batch_file, log_file, status_file);
  if (text.empty()) return {};
  text[0] = 'T';  // a message box's sentence
  return Refused("Job Line", text + ".");
}

RuleResult CheckUserBatchFileField(std::string_view type_name, std::string_view file_name,
                                   bool file_exists) {
  constexpr std::string_view kTitle = "User-Defined Batch File";
  if (type_name != kUserBatchfile) return {};
  if (TrimBlanks(file_name).empty()) {
    return Refused(kTitle, "Please specify user-defined batch file", RuleStatus::kEmpty);
  }
  if (file_exists) return {};
  return Refused(kTitle, "File " + std::string(file_name) + " does not exist");
}

namespace {

constexpr std::string_view kPasswordMask = "******";

// The arguments that hold a password: the one after the argument holding each
// "-password", in order.
std::vector<ArgumentSpan> PasswordValues(std::string_view options) {
  constexpr std::string_view kPasswordWord = "-password";
  // The value after a "-password" is the argument after the one holding it, split as the
  // program gets its options.
  const std::vector<ArgumentSpan> arguments = TokenizeArguments(options);
  std::vector<ArgumentSpan> values;
  size_t holder = 0;
  size_t search = 0;
  for (;;) {
    const size_t found = options.find(kPasswordWord, search);
    if (found == std::string_view::npos) break;
    while (arguments[holder].end <= found) ++holder;
    const size_t value = holder + 1;
    if (value == arguments.size()) break;
    values.push_back(arguments[value]);
    // A "-password" that starts the value is the value; one later in it (or in any later
    // argument) is a keyword again and hides the argument after its own.
    search = arguments[value].begin + 1;
  }
  return values;
}

// `options` with the k-th password value replaced by replacement(k, value text).
template <typename Replacement>
std::string ReplacePasswords(std::string_view options, Replacement replacement) {
  std::string result;
  size_t copy = 0;
  size_t k = 0;
  for (const ArgumentSpan& value : PasswordValues(options)) {
    result += options.substr(copy, value.begin - copy);
    result += replacement(k++, options.substr(value.begin, value.end - value.begin));
    copy = value.end;
  }
  result += options.substr(copy);
  return result;
}

}  // namespace

std::string MaskedOptions(std::string_view options) {
  // Only the value's text is replaced, so the blanks show as typed. A credential reference
  // holds no secret: it shows which credential the line uses.
  return ReplacePasswords(options, [](size_t, std::string_view value) {
    return value.starts_with(kCredentialPrefix) ? std::string(value) : std::string(kPasswordMask);
  });
}

std::optional<ClearPassword> ReplaceClearPassword(std::string_view options,
                                                  std::string_view replacement) {
  std::optional<ClearPassword> found;
  std::string replaced = ReplacePasswords(options, [&](size_t, std::string_view value) {
    if (found || value.starts_with(kCredentialPrefix)) return std::string(value);
    // The program gets a quoted value without its quotes.
    const bool quoted = value.size() >= 2 && value.front() == '"' && value.back() == '"';
    found = ClearPassword{std::string(quoted ? value.substr(1, value.size() - 2) : value), {}};
    return std::string(replacement);
  });
  if (found) found->options = std::move(replaced);
  return found;
}

std::string UnmaskedOptions(std::string_view edited, std::string_view stored) {
  const std::vector<ArgumentSpan> passwords = PasswordValues(stored);
  return ReplacePasswords(edited, [&](size_t k, std::string_view value) {
    if (value != kPasswordMask || k >= passwords.size()) return std::string(value);
    return std::string(stored.substr(passwords[k].begin, passwords[k].end - passwords[k].begin));
  });
}

bool HoldsClearPassword(std::string_view options) {
  const std::vector<ArgumentSpan> values = PasswordValues(options);
  return std::any_of(values.begin(), values.end(), [](const ArgumentSpan& value) {
    return !value.text.starts_with(kCredentialPrefix);
  });
}

}  // namespace jr
