#pragma once
// Job specification files: reading them into a job (header texts and job-line table) and
// writing a job back. The window adds its messages and fields on top; command-line mode
// and `jobrunner --check` use this directly.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "model/job.h"
#include "platform/status.h"

namespace jr {

enum class ReadStatus {
  kLoaded,
  kCannotLoad,  // missing ("Job file does not exist") or not readable ("Job file cannot ...")
  // There, but no job file: not well-formed XML, another root element, a folder, a named
  // pipe or a device, too large: "This is no Orvex Job Extraction ..."
  kNotJobFile,
  kInvalid,  // a job file that lacks what a job needs; `message` names the file and what
};

// A job line of the file whose lists were there but not read: the file gave it no
// skip_on_error, and a line without one is taken for a line of the older format, which had
// no lists at all, so all four start empty.
struct UnreadLists {
  size_t index = 0;    // its place among the file's job lines, from 0
  std::string number;  // its batch_line as the file holds it, blanks left out; may be empty
  // The list attributes it holds with more than blanks, in the order of the lists.
  std::vector<std::string> attributes;
};

inline constexpr const char* kListsNeedSkipOnError =
    "the lists of a job line are read only when it has skip_on_error";

// "job line 20: repeat_on_error was not read", naming the line by its place in the file
// when it has no number.
std::string UnreadListsText(const UnreadLists& unread);

struct ReadResult {
  ReadStatus status = ReadStatus::kCannotLoad;
  // For kLoaded: empty. Otherwise the message to show: the fixed texts for kCannotLoad and
  // kNotJobFile, a text naming the file and the fault for kInvalid.
  std::string message;
  // For kCannotLoad and kNotJobFile: the underlying cause, naming the file; for a fault of
  // the XML as "FILE:LINE:COLUMN: what the parser found", as compilers name a place.
  std::string detail;
  // For kLoaded: the job lines whose lists were dropped, in file order, so that whoever
  // loaded the job can say so; the job itself holds them empty, as it always did.
  std::vector<UnreadLists> unread_lists;
  // For kLoaded: each attribute of the root element or a BatchLine that a job file does not
  // have (a misspelt "wiat", say), which was not read, as a clause naming it and its line:
  // `job line 20: the attribute "wiat" is unknown and was not read`.
  std::vector<std::string> unknown_attributes;
};

// What a loaded job file held that its job does not: the unread lists (each as
// UnreadListsText, with why they were not read) and the unknown attributes, each a clause.
std::vector<std::string> ReadingWarnings(const ReadResult& read);

inline constexpr const char* kJobFileDoesNotExist = "Job file does not exist";
inline constexpr const char* kJobFileCannotBeRead = "Job file cannot be read";
inline constexpr const char* kNoJobSpecificationFile =
    "This is no Orvex Job Extraction specification file";

// Reads `path` into `job`. On any status but kLoaded, `job` is left exactly as it was.
// On kLoaded the header fields are replaced, the rows of the file are written into
// job.table from row 0 on (growing it one row at a time, never shrinking it, not sorting)
// and its job-line count set.
// Files larger than kMaxJobFileBytes are refused as kNotJobFile rather than read into
// memory.
ReadResult ReadJobFile(const std::string& path, JobDocument& job);

// As ReadJobFile, for the contents of a file already in memory; `path` only names it in
// messages.
ReadResult ReadJobFileText(std::string_view text, const std::string& path, JobDocument& job);

// As ReadJobFile, but only the job's own settings (the root element's attributes) are read
// into `job`, its lines neither read nor checked: a listing of many jobs then reads a few
// kilobytes of each. A file whose lines do not read is loaded all the same; any other fault
// gives ReadJobFile's outcome.
ReadResult ReadJobFileHeader(const std::string& path, JobDocument& job);

inline constexpr size_t kMaxJobFileBytes = size_t{64} << 20;

// What identifies a job's content, for telling whether a job file changed since a run: the
// SHA-256 (64 lower-case hex digits) of its text with the root's Exportdate value left out,
// since every save writes a new one. The digest of every other byte is kept whole.
std::string JobContentSha256(std::string_view text);
// The same of the file at `path`; fails naming the file when it cannot be read.
Result<std::string> JobFileContentSha256(const std::string& path);

struct WriteResult {
  bool ok = false;
  std::string error;  // the cause, naming the file, when !ok
};

// Writes `job` to `path` atomically (a temporary file in the same folder renamed over
// the old one); `export_date` is the text of the Exportdate attribute.
WriteResult WriteJobFile(const std::string& path, const JobDocument& job,
                         const std::string& export_date);

// The text of the job file for `job`, as WriteJobFile writes it.
std::string JobFileText(const JobDocument& job, const std::string& export_date);

}  // namespace jr
