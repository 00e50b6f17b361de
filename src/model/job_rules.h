#pragma once
// The rules a job line and a job header follow, as the editor and the unattended run both
// apply them: job line numbers, the job-line lists of the job line dialog and the maximum
// number of parallel lines. Each check returns its verdict together with the message the
// editor shows for it, so that every front end refuses the same things with the same words.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "model/job_line_table.h"
#include "platform/status.h"

namespace jr {

// Job line numbers run from 1 to kHighestJobLineNr; list entries and repeat copies beyond
// it cannot name or become a job line.
inline constexpr int32_t kLowestJobLineNr = 1;
inline constexpr int32_t kHighestJobLineNr = 999999;

enum class NumberStatus {
  kOk,
  kBlank,       // nothing but blanks
  kNotNumber,   // anything but digits between the blanks: a sign, a point, a letter
  kOutOfRange,  // digits, but outside the allowed range
};

struct JobLineNrResult {
  NumberStatus status = NumberStatus::kBlank;
  // The digits' value for kOk and kOutOfRange. Values are capped while they are read, so
  // that any number of digits compares as too large instead of overflowing.
  int64_t value = 0;
  bool ok() const { return status == NumberStatus::kOk; }
};

// A job line number as the editor accepts it: spaces around it, only the digits 0 to 9
// between (leading zeros allowed), kLowestJobLineNr to kHighestJobLineNr.
JobLineNrResult ParseJobLineNr(std::string_view text);

struct MaxParallelResult {
  NumberStatus status = NumberStatus::kBlank;
  int32_t value = 0;  // for kOk only
  bool ok() const { return status == NumberStatus::kOk; }
};

inline constexpr int32_t kLowestMaxParallel = 1;
inline constexpr int32_t kHighestMaxParallel = 99;

// The maximum number of job lines running at the same time, converted as a text is
// converted to a 32-bit integer: blanks (spaces, tabs) around it, an optional sign, decimal
// digits with leading zeros allowed; then 1 to 99. Window and unattended runs both start
// only with such a maximum.
MaxParallelResult ParseMaxParallel(std::string_view text);

inline constexpr int32_t kLowestTimeLimit = 1;
inline constexpr int32_t kHighestTimeLimit = 604800;  // a week

struct TimeLimitResult {
  NumberStatus status = NumberStatus::kBlank;  // kBlank: no limit
  int32_t seconds = 0;                         // for kOk only
  bool ok() const { return status == NumberStatus::kOk || status == NumberStatus::kBlank; }
  bool set() const { return status == NumberStatus::kOk; }
};

// A time limit of a job line or a whole job in seconds: blanks around it, only digits
// between (leading zeros allowed), kLowestTimeLimit to kHighestTimeLimit; blank means none.
TimeLimitResult ParseTimeLimit(std::string_view text);

// How long a repeat copy of a job line waits after the line that made it ended, in
// seconds, and the most repeat copies of a job line one run makes. Both are typed as time
// limits are (blanks around, digits between, blank: not set), in their own ranges. Without
// a repeat limit kDefaultRepeatLimit holds: a line that repeats itself and fails at once
// must not fill the disk with copies.
inline constexpr int32_t kLowestRepeatDelay = 0;
inline constexpr int32_t kHighestRepeatDelay = kHighestTimeLimit;
inline constexpr int32_t kLowestRepeatLimit = 1;
inline constexpr int32_t kHighestRepeatLimit = 99999;
inline constexpr int32_t kDefaultRepeatLimit = 1000;

struct RepeatSettingResult {
  NumberStatus status = NumberStatus::kBlank;  // kBlank: not set
  int32_t value = 0;                           // for kOk only
  bool ok() const { return status == NumberStatus::kOk || status == NumberStatus::kBlank; }
  bool set() const { return status == NumberStatus::kOk; }
};
RepeatSettingResult ParseRepeatDelay(std::string_view text);
RepeatSettingResult ParseRepeatLimit(std::string_view text);

// "the WHOSE "LIMIT" is not a whole number from 1 to 604800": why a limit is refused.
std::string TimeLimitFaultText(std::string_view whose, std::string_view limit);
// The same for a repeat delay ("the repeat delay of job line 30 "x" is not ...") and a
// repeat limit; `line` names the job line.
std::string RepeatDelayFaultText(std::string_view line, std::string_view delay);
std::string RepeatLimitFaultText(std::string_view line, std::string_view limit);

// Whether a run of a job may start while another run of it goes on: it is refused (what a
// job without the setting does), it waits for the other one's end, or it runs alongside.
enum class OverlapPolicy { kRefuse, kWait, kAllow };

// The job's overlap policy as the job file holds it: "refuse", "wait" or "allow" in any
// letter case (the window shows them capitalised), nothing else; empty means "refuse".
// Fails with the message naming the value.
Result<OverlapPolicy> ParseOverlap(std::string_view text);

// The policy's word in the job file: "refuse", "wait" or "allow".
const char* OverlapWord(OverlapPolicy policy);

// The verdict of one of the editor's checks. `title` and `message` are what the editor
// shows when the value is refused; both are empty when it is accepted.
enum class RuleStatus {
  kAccepted,
  kEmpty,    // a field that must be filled is empty
  kRefused,  // a value that breaks a rule
};

struct RuleResult {
  RuleStatus status = RuleStatus::kAccepted;
  std::string title;
  std::string message;
  bool ok() const { return status == RuleStatus::kAccepted; }
};

// Whether a job line of `table` (may be null: an empty job) has the number `number`. A row
// whose number cell holds no number reads as 0, which no entry can name.
bool JobLineNrExists(const JobLineTable* table, int64_t number);

// The number proposed for a new job line: 10 for a job without a line whose number reads,
// else the last such line's number plus 10; none when that would pass kHighestJobLineNr.
std::optional<int64_t> ProposedJobLineNr(const JobLineTable* table);

// The number field of the job line dialog. `starting_number` is the number the line had
// when the dialog was shown (-1 for a new line): keeping it is no clash with itself.
RuleResult CheckJobLineNrField(std::string_view text, int64_t starting_number,
                               const JobLineTable* table);

// The type list of the job line dialog: a type must be chosen.
RuleResult CheckJobLineTypeField(std::string_view type_name);

// The five job-line lists of a job line.
enum class JobLineList { kWait, kSkipOnError, kSkipOnSuccess, kRepeatOnError, kRepeatOnSuccess };

// The title of a list's messages, which names the list.
std::string_view JobLineListTitle(JobLineList list);

// A job-line list typed into the job line dialog, for the line whose number field holds
// `current_number`: entries separated by commas (empty entries are passed over), each a
// number of an existing line that the list may name. Stops at the first refused entry.
// While the number field is blank, every list is accepted: the number's own check comes
// first.
RuleResult CheckJobLineListField(JobLineList list, std::string_view current_number,
                                 std::string_view text, const JobLineTable* table);

// Why a file name cannot reach a program: one with a double quote would end the quoted
// argument early. "the WHAT name "NAME" contains a double quote, which cannot be passed on a
// program's command line"; empty when `name` holds none.
std::string UnpassableFileNameText(std::string_view what, std::string_view name);

// The first of a job line's own file names (its user script, the script's log file and
// status file) that cannot reach a program, as UnpassableFileNameText says it; empty when
// all can. CheckPassableFileNames is the same as the job line dialog refuses it.
std::string UnpassableJobLineFileText(std::string_view batch_file, std::string_view log_file,
                                      std::string_view status_file);
RuleResult CheckPassableFileNames(std::string_view batch_file, std::string_view log_file,
                                  std::string_view status_file);

// The user-defined batch file of a line of the type "User Batchfile" (other types have
// none): it must be named and exist. `file_exists` tells whether `file_name` names a file.
RuleResult CheckUserBatchFileField(std::string_view type_name, std::string_view file_name,
                                   bool file_exists);

// What the options field of the job line dialog shows for `options`: the argument after
// every "-password" (case as written), past any run of blanks, tabs or line breaks,
// replaced by "******" unless it is a credential reference (`@cred:NAME`); the options are split
// into arguments exactly as when the program is started (TokenizeArguments). Everything else shows
// as typed; the stored options stay unmasked.
std::string MaskedOptions(std::string_view options);

// The first value after a "-password" in `options` that is written in clear text (not a
// credential reference `@cred:NAME`), without surrounding quotes, and the options with
// `replacement` in its place; nullopt when every password value is a reference.
struct ClearPassword {
  std::string value;
  std::string options;
};
std::optional<ClearPassword> ReplaceClearPassword(std::string_view options,
                                                  std::string_view replacement);

// The options to store when the options field's text, shown masked for `stored`, was edited
// to `edited`: every password value still shown as the mask gets the stored value back (the
// k-th "-password" of the edit takes the k-th of the stored options); a value typed over the
// mask replaces it.
std::string UnmaskedOptions(std::string_view edited, std::string_view stored);

// Whether a "-password" of `options` (as MaskedOptions finds them) is followed by the
// password itself rather than by a credential's name (`@cred:NAME`, platform/credentials.h).
bool HoldsClearPassword(std::string_view options);

}  // namespace jr
