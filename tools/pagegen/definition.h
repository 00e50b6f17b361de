#pragma once
// A report definition file as the report generator reads it: the job header between
// <ReportInfo> tags, then one section a job line (<Heading>, <FileSummary>, included and
// linked files). Lines end in CR LF or LF; unknown lines are kept as text.

#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pagegen {

struct Field {
  std::string label;  // without its trailing blanks
  std::string value;
};

struct Item {
  enum class Kind { kInclude, kLink, kText };
  Kind kind = Kind::kText;
  std::string file;  // kInclude, kLink: the file name (quotes removed)
  std::string text;  // kLink: the link's text; kText: the line
};

enum class Verdict { kOk, kFailed, kUnknown };

struct Section {
  std::string heading;  // the heading line as written
  std::string description;
  std::string type;
  bool repeat = false;
  Verdict verdict = Verdict::kUnknown;
  std::vector<Field> times;
  std::vector<Item> items;
  std::optional<std::time_t> start;
  std::optional<std::time_t> end;
};

struct Definition {
  std::vector<Field> info;
  std::vector<Item> loose_items;  // items before the first section
  std::vector<Section> sections;

  // The value of the header field `label`, or nullptr.
  const std::string* Info(std::string_view label) const;
};

Definition ParseDefinition(std::string_view text);

// "label<TAB>: value"; a line without a tab is all label.
Field ParseField(std::string_view line);

// Splits "description (type) (Repeat)   :  OK" into its parts; a type may itself hold
// parentheses ("Run Vantor Job (UNIX)").
void ParseHeading(Section& section);

// "yyyy mmm dd hh:mm:ss" in local time, the month named in English or in the user's
// LC_TIME locale; nullopt when the text does not have that form.
std::optional<std::time_t> ParseTimeText(std::string_view text);

// "45 s", "3 min 05 s", "2 h 03 min 05 s".
std::string FormatDuration(long long seconds);

}  // namespace pagegen
