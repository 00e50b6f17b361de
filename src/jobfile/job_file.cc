#include "jobfile/job_file.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <iterator>
#include <memory>
#include <optional>
#include <pugixml.hpp>
#include <utility>
#include <vector>

#include "model/catalogue.h"
#include "platform/atomic_file.h"
#include "platform/blanks.h"
#include "platform/file_digest.h"
#include "platform/regular_file.h"
#include "platform/utf8.h"

namespace jr {
namespace {

constexpr const char* kRootName = "VANTORSOREL_Job_specification";

// Declarations, comments, processing instructions and a document type are kept as nodes so
// that a file whose first node is not the root element can be told apart and refused.
// pugixml never processes a document type's declarations: no entity of the file is
// expanded and nothing outside the file is read.
constexpr unsigned kParseFlags = pugi::parse_default | pugi::parse_declaration |
                                 pugi::parse_comments | pugi::parse_pi | pugi::parse_doctype;

// Root attributes a job cannot do without, in the order they are reported.
constexpr const char* kRequiredRootAttributes[] = {"Description", "LogFile", "UserFile",
                                                   "TempLogDir"};

std::string Quoted(std::string_view text) {
  std::string quoted;
  quoted.reserve(text.size() + 2);
  quoted.append(1, '"').append(text).append(1, '"');
  return quoted;
}

std::string_view LocalName(std::string_view name) {
  const size_t colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

const char* NodeKind(pugi::xml_node_type type) {
  switch (type) {
    case pugi::node_element:
      return "an element";
    case pugi::node_pcdata:
      return "text";
    case pugi::node_cdata:
      return "a CDATA section";
    case pugi::node_comment:
      return "a comment";
    case pugi::node_pi:
      return "a processing instruction";
    case pugi::node_declaration:
      return "an XML declaration";
    case pugi::node_doctype:
      return "a document type declaration";
    default:
      return "an unexpected node";
  }
}

ReadResult Outcome(ReadStatus status, std::string message, std::string detail = {}) {
  ReadResult result;
  result.status = status;
  result.message = std::move(message);
  result.detail = std::move(detail);
  return result;
}

ReadResult NotJobFile(std::string detail) {
  return Outcome(ReadStatus::kNotJobFile, kNoJobSpecificationFile, std::move(detail));
}

// "FILE:LINE:COLUMN" of a byte offset into `text`, both counted from 1, the column in
// characters as an editor counts them.
std::string Place(const std::string& path, std::string_view text, size_t offset) {
  size_t line = 1;
  size_t column = 1;
  for (size_t i = 0; i < std::min(offset, text.size()); ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      ++column;  // not a continuation byte of a UTF-8 character
    }
  }
  return path + ":" + std::to_string(line) + ":" + std::to_string(column);
}

ReadResult Invalid(const std::string& path, const std::string& fault) {
  return Outcome(ReadStatus::kInvalid,
                 "The job file " + Quoted(path) + " is not a valid job file: " + fault + ".");
}

std::string Ordinal(size_t index) {
  return "job line " + std::to_string(index + 1) + " of the file";
}

// A job line of the file by its number as the file holds it, blanks left out, or by its
// place when it has none.
std::string LineName(std::string_view number, size_t index) {
  return number.empty() ? Ordinal(index) : "job line " + std::string(number);
}

// The attributes a job file's root element may have.
constexpr const char* kRootAttributes[] = {
    "Description", "LogFile",      "UserFile",    "TempLogDir", "LogToEventLog", "Exportdate",
    "MaxParallel", "JobTimeLimit", "Overlap",     "NotifyMail", "NotifyWebhook", "NotifyOn",
    "Schedule",    "CatchUp",      "RandomDelay", "Calendar"};

// The attributes of a BatchLine, each with the cell it fills.
constexpr std::pair<int, const char*> kLineAttributes[] = {
    {kColNumber, "batch_line"},
    {kColDescription, "batch_line_description"},
    {kColType, "batch_line_type"},
    {kColOptions, "options"},
    {kColWait, "wait"},
    {kColStopOnError, "stop_on_error"},
    {kColBatchFile, "own_batch_file"},
    {kColLogFile, "int_log_file"},
    {kColStatusFile, "int_err_file"},
    {kColActive, "active"},
    {kColSkipOnError, "skip_on_error"},
    {kColSkipOnSuccess, "skip_on_success"},
    {kColRepeatOnError, "repeat_on_error"},
    {kColRepeatOnSuccess, "repeat_on_success"},
    {kColTimeLimit, "time_limit"},
    {kColRepeatDelay, "repeat_delay"},
    {kColRepeatLimit, "repeat_limit"},
};

// One clause for each of the attribute `names` not known: a misspelt one is read as no
// attribute at all, so the value it was meant to give is missing. Namespace declarations and
// prefixed names belong to other vocabularies and are passed over.
void NameUnknownAttributes(const std::vector<std::string_view>& names, const std::string& whose,
                           std::vector<std::string>& clauses) {
  for (const std::string_view name : names) {
    if (name.starts_with("xmlns") || name.find(':') != std::string_view::npos) continue;
    clauses.push_back(whose + Quoted(name) + " is unknown and was not read");
  }
}

constexpr const char* kListAttributes[] = {"skip_on_error", "skip_on_success", "repeat_on_error",
                                           "repeat_on_success"};

// The lists RowOf leaves empty although the file gives them a value.
UnreadLists UnreadListsOf(const pugi::xml_node& line, size_t index) {
  UnreadLists unread;
  if (line.attribute(kListAttributes[0])) return unread;
  unread.index = index;
  unread.number = TrimBlanks(line.attribute("batch_line").value());
  for (const char* name : kListAttributes) {
    if (!TrimBlanks(line.attribute(name).value()).empty()) unread.attributes.emplace_back(name);
  }
  return unread;
}

// One BatchLine into a row, with the defaults of absent attributes; the attributes are
// walked once, a job file holds many thousand lines. As for a lookup by name, the first of
// two attributes with the same name counts. `unknown` gets the names it does not take.
JobLineTable::Row RowOf(const pugi::xml_node& line, std::vector<std::string_view>& unknown) {
  // An absent attribute is "no value"; a present one is its text, also when that is empty.
  JobLineTable::Row row;
  std::array<bool, JobLineTable::kColumnCount> seen{};
  for (const pugi::xml_attribute& attribute : line.attributes()) {
    const std::string_view name = attribute.name();
    const auto known = std::find_if(std::begin(kLineAttributes), std::end(kLineAttributes),
                                    [name](const auto& column) { return name == column.second; });
    if (known == std::end(kLineAttributes)) {
      unknown.push_back(name);
      continue;
    }
    const auto column = static_cast<size_t>(known->first);
    if (seen[column]) continue;
    seen[column] = true;
    row[column] = std::string(attribute.value());
  }
  row[kColType] = ProgramTypeFromXml(row[kColType].value_or(""));
  // Only an absent value is defaulted: an empty one is kept, and reads as inactive.
  if (!row[kColActive]) row[kColActive] = "true";
  // Files from before the four lists existed have none of them; all four start empty then,
  // whatever else the line carries.
  if (!row[kColSkipOnError]) {
    for (int column = kColSkipOnError; column <= kColRepeatOnSuccess; ++column) row[column] = "";
  }
  return row;
}

// Why `root` is not the root element of a job file; none when it is.
std::optional<ReadResult> RootFault(const pugi::xml_node& root, const std::string& path) {
  if (LocalName(root.name()) != kRootName) {
    return NotJobFile(Quoted(path) + ": the root element is " + Quoted(root.name()));
  }
  std::string missing;
  for (const char* name : kRequiredRootAttributes) {
    if (root.attribute(name)) continue;
    if (!missing.empty()) missing += ", ";
    missing += Quoted(name);
  }
  if (!missing.empty()) return Invalid(path, "its root element lacks " + missing);
  return std::nullopt;
}

// The job's own settings, from the attributes of its checked root element.
void ReadSettings(const pugi::xml_node& root, JobDocument& job) {
  job.Description = root.attribute("Description").value();
  job.LogFile = root.attribute("LogFile").value();
  job.UserFile = root.attribute("UserFile").value();
  job.TempLogDir = root.attribute("TempLogDir").value();
  const pugi::xml_attribute max_parallel = root.attribute("MaxParallel");
  job.MaxParallel = max_parallel ? max_parallel.value() : "99";
  job.JobTimeLimit = root.attribute("JobTimeLimit").value();
  job.Overlap = root.attribute("Overlap").value();
  job.NotifyMail = root.attribute("NotifyMail").value();
  job.NotifyWebhook = root.attribute("NotifyWebhook").value();
  job.NotifyOn = root.attribute("NotifyOn").value();
  job.schedule = {root.attribute("Schedule").value(), root.attribute("CatchUp").value(),
                  root.attribute("RandomDelay").value(), root.attribute("Calendar").value()};
  // Anything but exactly "false", an absent value included, checks the box.
  job.LogToEventLog = std::string_view(root.attribute("LogToEventLog").value()) != "false";
}

// The root element's start tag at the head of `text`, made an empty element ("<root .../>")
// that parses alone; none unless the text starts with it whole (after a byte order mark and
// blanks), as a job file does.
std::optional<std::string> RootStartTag(std::string_view text) {
  size_t at = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
  while (at < text.size() && std::string_view(" \t\r\n").find(text[at]) != std::string_view::npos) {
    ++at;
  }
  if (at + 1 >= text.size() || text[at] != '<' ||
      std::string_view("?!/").find(text[at + 1]) != std::string_view::npos) {
    return std::nullopt;
  }
  char quote = 0;
  for (size_t i = at + 1; i < text.size(); ++i) {
    const char c = text[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '>') {
      // An empty root holds no lines: the whole read names that fault.
      if (text[i - 1] == '/') return std::nullopt;
      return std::string(text.substr(0, i)) + "/>";
    }
  }
  return std::nullopt;
}

class StringWriter final : public pugi::xml_writer {
 public:
  explicit StringWriter(std::string& out) : out_(out) {}
  void write(const void* data, size_t size) override {
    out_.append(static_cast<const char*>(data), size);
  }

 private:
  std::string& out_;
};

void SetAttribute(pugi::xml_node& node, const char* name, const std::string& value) {
  node.append_attribute(name).set_value(value.c_str());
}

// Reads the job from `text`, which `in_place`, when not null, holds as well: that copy is
// parsed and changed by it, so that a large job is not held twice while it is read. A fault
// is placed in `text`, which stays as it was.
ReadResult ReadJobFileText(std::string_view text, std::string* in_place, const std::string& path,
                           JobDocument& job) {
  pugi::xml_document document;
  const pugi::xml_parse_result parsed =
      in_place != nullptr
          ? document.load_buffer_inplace(in_place->data(), in_place->size(), kParseFlags,
                                         pugi::encoding_auto)
          : document.load_buffer(text.data(), text.size(), kParseFlags, pugi::encoding_auto);
  if (!parsed) {
    std::string fault = parsed.description();
    fault[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(fault[0])));
    return NotJobFile(Place(path, text, static_cast<size_t>(parsed.offset)) + ": " + fault);
  }
  int elements = 0;
  for (const pugi::xml_node& node : document.children()) {
    // The parser tolerates several top-level elements; a well-formed document has one. The
    // debug offset is that of the element's name, behind its "<".
    if (node.type() == pugi::node_element && ++elements > 1) {
      const size_t at = static_cast<size_t>(std::max<ptrdiff_t>(node.offset_debug() - 1, 0));
      return NotJobFile(Place(path, text, at) + ": more than one root element");
    }
  }

  const pugi::xml_node root = document.first_child();
  if (root.type() != pugi::node_element) {
    return NotJobFile(Quoted(path) + ": the file starts with " + NodeKind(root.type()) +
                      " instead of the root element");
  }
  if (std::optional<ReadResult> fault = RootFault(root, path)) return *fault;

  // The element that holds the lines is taken by position; its name is not checked.
  pugi::xml_node batch_lines = root.first_child();
  if (!batch_lines) return Invalid(path, "it has no BatchLines element");
  if (batch_lines.type() != pugi::node_element) {
    return Invalid(path, std::string("the root element holds ") + NodeKind(batch_lines.type()) +
                             " where the BatchLines element belongs");
  }

  // Counted first, so that the rows read do not move while they grow.
  const auto count = std::distance(batch_lines.begin(), batch_lines.end());
  JobLineTable rows;
  rows.Reserve(static_cast<int>(count));
  std::vector<UnreadLists> unread_lists;
  std::vector<std::string> unknown_attributes;
  std::vector<std::string_view> unknown;
  for (const pugi::xml_attribute& attribute : root.attributes()) {
    if (std::find(std::begin(kRootAttributes), std::end(kRootAttributes),
                  std::string_view(attribute.name())) == std::end(kRootAttributes)) {
      unknown.push_back(attribute.name());
    }
  }
  NameUnknownAttributes(unknown, "the job's attribute ", unknown_attributes);
  // Each line leaves the document once it is a row: the document's pages are given back as
  // they empty, so that a large job's rows take the room of its parsed lines.
  for (pugi::xml_node line = batch_lines.first_child(), next; line; line = next) {
    next = line.next_sibling();
    const size_t index = static_cast<size_t>(rows.LineCount());
    if (line.type() != pugi::node_element) {
      return Invalid(path, "BatchLines holds " + std::string(NodeKind(line.type())) + " after " +
                               std::to_string(index) + " job lines");
    }
    if (!line.attribute("batch_line_type")) {
      return Invalid(path, Ordinal(index) + " lacks \"batch_line_type\"");
    }
    unknown.clear();
    rows.AppendRow(RowOf(line, unknown));
    UnreadLists unread = UnreadListsOf(line, index);
    if (!unread.attributes.empty()) unread_lists.push_back(std::move(unread));
    if (!unknown.empty()) {
      NameUnknownAttributes(
          unknown,
          LineName(TrimBlanks(line.attribute("batch_line").value()), index) + ": the attribute ",
          unknown_attributes);
    }
    // Taking out a line that holds elements would walk them on the stack, however deep a
    // hand-made file nests them; the document lets go of those at its end.
    if (!line.first_child()) batch_lines.remove_child(line);
  }

  // Everything is checked: only now does the job change.
  ReadSettings(root, job);
  job.table = std::move(rows);
  ReadResult loaded = Outcome(ReadStatus::kLoaded, {});
  loaded.unread_lists = std::move(unread_lists);
  loaded.unknown_attributes = std::move(unknown_attributes);
  return loaded;
}

}  // namespace

ReadResult ReadJobFileText(std::string_view text, const std::string& path, JobDocument& job) {
  return ReadJobFileText(text, nullptr, path, job);
}

ReadResult ReadJobFile(const std::string& path, JobDocument& job) {
  if (path.empty()) {
    return Outcome(ReadStatus::kCannotLoad, kJobFileDoesNotExist, "no job file name given");
  }
  // The size is checked before anything is read, and a named pipe or device is refused
  // rather than waited on.
  FileReadResult file = ReadRegularFile(path, kMaxJobFileBytes);
  const std::string cause = Quoted(path) + ": " + file.cause;
  switch (file.status) {
    case FileReadStatus::kRead: {
      // Parsed where it was read. The parse changes the text, so the fault of a file that
      // does not read is placed in the file read again.
      ReadResult read = ReadJobFileText({}, &file.text, path, job);
      if (read.status == ReadStatus::kLoaded) return read;
      const FileReadResult again = ReadRegularFile(path, kMaxJobFileBytes);
      return again.ok() ? ReadJobFileText(again.text, path, job) : read;
    }
    case FileReadStatus::kMissing:
      return Outcome(ReadStatus::kCannotLoad, kJobFileDoesNotExist, cause);
    case FileReadStatus::kError:
      return Outcome(ReadStatus::kCannotLoad, kJobFileCannotBeRead, cause);
    case FileReadStatus::kNotAFile:
    case FileReadStatus::kTooLarge:
      break;
  }
  return NotJobFile(cause);
}

ReadResult ReadJobFileHeader(const std::string& path, JobDocument& job) {
  // The head of the file is read and parsed alone; anything unusual about it is left to the
  // whole read, so that the outcome is that read's but for faults behind the root's tag.
  constexpr size_t kHeadBytes = size_t{64} << 10;
  std::error_code error;
  const auto size = std::filesystem::file_size(NativePath(path), error);
  if (path.empty() || error || size > kMaxJobFileBytes) return ReadJobFile(path, job);
  const FileReadResult head = ReadRegularFile(path, kHeadBytes, OverLimit::kCut);
  const std::optional<std::string> tag = head.ok() ? RootStartTag(head.text) : std::nullopt;
  pugi::xml_document document;
  if (!tag || !document.load_buffer(tag->data(), tag->size(), kParseFlags, pugi::encoding_auto) ||
      document.first_child().type() != pugi::node_element ||
      RootFault(document.first_child(), path)) {
    return ReadJobFile(path, job);
  }
  ReadSettings(document.first_child(), job);
  return Outcome(ReadStatus::kLoaded, {});
}

std::string UnreadListsText(const UnreadLists& unread) {
  std::string text = LineName(unread.number, unread.index);
  for (size_t i = 0; i < unread.attributes.size(); ++i) {
    text += i == 0 ? ": " : i + 1 == unread.attributes.size() ? " and " : ", ";
    text += unread.attributes[i];
  }
  return text + (unread.attributes.size() == 1 ? " was" : " were") + " not read";
}

std::vector<std::string> ReadingWarnings(const ReadResult& read) {
  std::vector<std::string> warnings;
  for (const UnreadLists& unread : read.unread_lists) {
    warnings.push_back(UnreadListsText(unread) + ": " + kListsNeedSkipOnError);
  }
  warnings.insert(warnings.end(), read.unknown_attributes.begin(), read.unknown_attributes.end());
  return warnings;
}

std::string JobContentSha256(std::string_view text) {
  constexpr std::string_view kAttribute = " Exportdate=";
  const size_t root = text.find(std::string("<") + kRootName);
  const size_t root_end = text.find('>', root == std::string::npos ? text.size() : root);
  const size_t name = text.find(kAttribute, root == std::string::npos ? text.size() : root);
  Sha256 digest;
  // Only within the root's start tag, and only a quoted value: anything else stays.
  if (root_end != std::string::npos && name < root_end) {
    const size_t open = name + kAttribute.size();
    const char quote = text[open];
    const size_t close = quote == '"' || quote == '\'' ? text.find(quote, open + 1) : root_end;
    if (close < root_end) {
      digest.Add(text.substr(0, open + 1));
      text.remove_prefix(close);
    }
  }
  digest.Add(text);
  return digest.Hex();
}

Result<std::string> JobFileContentSha256(const std::string& path) {
  const FileReadResult file = ReadRegularFile(path, kMaxJobFileBytes);
  if (!file.ok()) return Status::Failed("cannot read \"" + path + "\": " + file.cause);
  return JobContentSha256(file.text);
}

std::string JobFileText(const JobDocument& job, const std::string& export_date) {
  pugi::xml_document document;
  pugi::xml_node root = document.append_child(kRootName);
  SetAttribute(root, "Description", job.Description);
  SetAttribute(root, "LogFile", job.LogFile);
  SetAttribute(root, "UserFile", job.UserFile);
  SetAttribute(root, "TempLogDir", job.TempLogDir);
  SetAttribute(root, "LogToEventLog", job.LogToEventLog ? "true" : "false");
  SetAttribute(root, "Exportdate", export_date);
  SetAttribute(root, "MaxParallel", job.MaxParallel);
  // The limits are written only when set: a job without them stays as older versions wrote
  // it, and older readers pass over what they do not know.
  if (!job.JobTimeLimit.empty()) SetAttribute(root, "JobTimeLimit", job.JobTimeLimit);
  // Likewise the default overlap policy, which is also what older versions did.
  if (!job.Overlap.empty() && job.Overlap != "refuse") SetAttribute(root, "Overlap", job.Overlap);
  if (!job.NotifyMail.empty()) SetAttribute(root, "NotifyMail", job.NotifyMail);
  if (!job.NotifyWebhook.empty()) SetAttribute(root, "NotifyWebhook", job.NotifyWebhook);
  if (!job.NotifyOn.empty()) SetAttribute(root, "NotifyOn", job.NotifyOn);
  for (const auto& [name, value] : {std::pair{"Schedule", &job.schedule.Schedule},
                                    {"CatchUp", &job.schedule.CatchUp},
                                    {"RandomDelay", &job.schedule.RandomDelay},
                                    {"Calendar", &job.schedule.Calendar}}) {
    if (!value->empty()) SetAttribute(root, name, *value);
  }

  pugi::xml_node batch_lines = root.append_child("BatchLines");
  const JobLineTable& table = job.table;
  for (int row = 0; row < table.LineCount(); ++row) {
    pugi::xml_node line = batch_lines.append_child("BatchLine");
    SetAttribute(line, "batch_line", table.Text(kColNumber, row));
    SetAttribute(line, "batch_line_description", table.Text(kColDescription, row));
    SetAttribute(line, "batch_line_type", ProgramTypeToXml(table.Text(kColType, row)));
    SetAttribute(line, "options", table.Text(kColOptions, row));
    SetAttribute(line, "wait", table.Text(kColWait, row));
    SetAttribute(line, "stop_on_error", table.Text(kColStopOnError, row));
    SetAttribute(line, "active", table.Text(kColActive, row));
    // Only lines that name their own batch file carry its three attributes.
    if (!table.Text(kColBatchFile, row).empty()) {
      SetAttribute(line, "own_batch_file", table.Text(kColBatchFile, row));
      SetAttribute(line, "int_log_file", table.Text(kColLogFile, row));
      SetAttribute(line, "int_err_file", table.Text(kColStatusFile, row));
    }
    SetAttribute(line, "skip_on_error", table.Text(kColSkipOnError, row));
    SetAttribute(line, "skip_on_success", table.Text(kColSkipOnSuccess, row));
    SetAttribute(line, "repeat_on_error", table.Text(kColRepeatOnError, row));
    SetAttribute(line, "repeat_on_success", table.Text(kColRepeatOnSuccess, row));
    const std::pair<int, const char*> settings[] = {{kColTimeLimit, "time_limit"},
                                                    {kColRepeatDelay, "repeat_delay"},
                                                    {kColRepeatLimit, "repeat_limit"}};
    for (const auto& [column, name] : settings) {
      if (!table.Text(column, row).empty()) SetAttribute(line, name, table.Text(column, row));
    }
  }

  std::string text;
  StringWriter writer(text);
  // Nothing precedes the root element: readers take the first node for the root.
  document.save(writer, "  ", pugi::format_indent | pugi::format_no_declaration,
                pugi::encoding_utf8);
  return text;
}

WriteResult WriteJobFile(const std::string& path, const JobDocument& job,
                         const std::string& export_date) {
  WriteResult result;
  if (path.empty()) {
    result.error = "Cannot write the job file: no file name given.";
    return result;
  }
  const Status written = ReplaceFileContents(path, JobFileText(job, export_date));
  result.ok = written.ok();
  result.error = written.message;
  return result;
}

}  // namespace jr
