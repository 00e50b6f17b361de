#include "definition.h"

#include <langinfo.h>

#include <cctype>
#include <cstdio>
#include <cstring>

namespace pagegen {
namespace {

constexpr std::string_view kOkSuffix = "  :  OK";
constexpr std::string_view kFailedSuffix = "  :  FAILED";
constexpr std::string_view kRepeatSuffix = " (Repeat) ";

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

std::string_view TrimRight(std::string_view text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  return TrimRight(text);
}

std::string Unquote(std::string_view text) {
  text = Trim(text);
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
    text = text.substr(1, text.size() - 2);
  }
  return std::string(text);
}

// The text of Name="..." in a link tag; empty when there is none.
std::string LinkName(std::string_view tag) {
  size_t at = tag.find("Name=\"");
  if (at == std::string_view::npos) return {};
  at += 6;
  size_t end = tag.find('"', at);
  if (end == std::string_view::npos) return {};
  return std::string(tag.substr(at, end - at));
}

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// 1..12, or 0. The runner writes the month in its user's locale, which may differ from
// ours; English names are always understood.
int MonthNumber(std::string_view name) {
  static const char* const kEnglish[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (int i = 0; i < 12; ++i) {
    if (SameIgnoringCase(name, kEnglish[i])) return i + 1;
  }
  for (int i = 0; i < 12; ++i) {
    const char* local = nl_langinfo(static_cast<nl_item>(ABMON_1 + i));
    if (local != nullptr && name == local) return i + 1;
  }
  return 0;
}

int Number(std::string_view digits) {
  int value = 0;
  for (char c : digits) value = value * 10 + (c - '0');
  return value;
}

}  // namespace

const std::string* Definition::Info(std::string_view label) const {
  for (const Field& field : info) {
    if (field.label == label) return &field.value;
  }
  return nullptr;
}

Field ParseField(std::string_view line) {
  size_t tab = line.find('\t');
  if (tab == std::string_view::npos) return {std::string(TrimRight(line)), {}};
  std::string_view value = line.substr(tab + 1);
  if (value.substr(0, 2) == ": ") {
    value.remove_prefix(2);
  } else if (value.substr(0, 1) == ":") {
    value.remove_prefix(1);
  }
  return {std::string(TrimRight(line.substr(0, tab))), std::string(value)};
}

void ParseHeading(Section& section) {
  std::string_view rest = section.heading;
  if (EndsWith(rest, kOkSuffix)) {
    section.verdict = Verdict::kOk;
    rest.remove_suffix(kOkSuffix.size());
  } else if (EndsWith(rest, kFailedSuffix)) {
    section.verdict = Verdict::kFailed;
    rest.remove_suffix(kFailedSuffix.size());
  }
  if (EndsWith(rest, kRepeatSuffix)) {
    section.repeat = true;
    rest.remove_suffix(kRepeatSuffix.size());
  }
  section.description = std::string(rest);
  if (!EndsWith(rest, ")")) return;
  int depth = 0;
  for (size_t i = rest.size(); i-- > 0;) {
    if (rest[i] == ')') {
      ++depth;
    } else if (rest[i] == '(' && --depth == 0) {
      if (i == 0 || rest[i - 1] != ' ') return;
      section.type = std::string(rest.substr(i + 1, rest.size() - i - 2));
      section.description = std::string(rest.substr(0, i - 1));
      return;
    }
  }
}

std::optional<std::time_t> ParseTimeText(std::string_view text) {
  text = Trim(text);
  // Year first, day and clock last; the month is what lies between, whatever its blanks.
  size_t first_blank = text.find(' ');
  size_t last_blank = text.rfind(' ');
  if (first_blank == std::string_view::npos || last_blank == first_blank) return std::nullopt;
  size_t day_blank = text.rfind(' ', last_blank - 1);
  if (day_blank == std::string_view::npos || day_blank <= first_blank) return std::nullopt;
  std::string_view year = text.substr(0, first_blank);
  std::string_view month = Trim(text.substr(first_blank + 1, day_blank - first_blank - 1));
  std::string_view day = text.substr(day_blank + 1, last_blank - day_blank - 1);
  std::string_view clock = text.substr(last_blank + 1);
  if (!AllDigits(year) || year.size() != 4 || !AllDigits(day) || day.size() > 2) {
    return std::nullopt;
  }
  if (clock.size() != 8 || clock[2] != ':' || clock[5] != ':' || !AllDigits(clock.substr(0, 2)) ||
      !AllDigits(clock.substr(3, 2)) || !AllDigits(clock.substr(6, 2))) {
    return std::nullopt;
  }
  int month_number = MonthNumber(month);
  if (month_number == 0) return std::nullopt;
  std::tm local{};
  local.tm_year = Number(year) - 1900;
  local.tm_mon = month_number - 1;
  local.tm_mday = Number(day);
  local.tm_hour = Number(clock.substr(0, 2));
  local.tm_min = Number(clock.substr(3, 2));
  local.tm_sec = Number(clock.substr(6, 2));
  if (local.tm_mday < 1 || local.tm_mday > 31 || local.tm_hour > 23 || local.tm_min > 59 ||
      local.tm_sec > 60) {
    return std::nullopt;
  }
  local.tm_isdst = -1;
  std::time_t seconds = std::mktime(&local);
  if (seconds == static_cast<std::time_t>(-1)) return std::nullopt;
  return seconds;
}

std::string FormatDuration(long long seconds) {
  if (seconds < 0) seconds = 0;
  char buffer[64];
  long long h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
  if (h > 0) {
    std::snprintf(buffer, sizeof buffer, "%lld h %02lld min %02lld s", h, m, s);
  } else if (m > 0) {
    std::snprintf(buffer, sizeof buffer, "%lld min %02lld s", m, s);
  } else {
    std::snprintf(buffer, sizeof buffer, "%lld s", s);
  }
  return buffer;
}

Definition ParseDefinition(std::string_view text) {
  enum class State { kNone, kInfo, kSummary, kHeading, kInclude, kLink };
  Definition definition;
  State state = State::kNone;
  std::string link_name;
  auto items = [&]() -> std::vector<Item>& {
    return definition.sections.empty() ? definition.loose_items : definition.sections.back().items;
  };

  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    switch (state) {
      case State::kInfo:
        if (line == "</ReportInfo>") {
          state = State::kNone;
        } else if (!Trim(line).empty()) {
          definition.info.push_back(ParseField(line));
        }
        continue;
      case State::kSummary:
        if (line == "</FileSummary>") {
          state = State::kNone;
        } else if (!Trim(line).empty()) {
          definition.sections.back().times.push_back(ParseField(line));
        }
        continue;
      case State::kHeading:
        definition.sections.emplace_back();
        definition.sections.back().heading = std::string(line);
        ParseHeading(definition.sections.back());
        state = State::kNone;
        continue;
      case State::kInclude:
        items().push_back({Item::Kind::kInclude, Unquote(line), {}});
        state = State::kNone;
        continue;
      case State::kLink:
        items().push_back({Item::Kind::kLink, Unquote(line), link_name});
        state = State::kNone;
        continue;
      case State::kNone:
        break;
    }

    if (line == "<ReportInfo>") {
      state = State::kInfo;
    } else if (line == "<Heading>") {
      state = State::kHeading;
    } else if (line == "<FileSummary>") {
      if (definition.sections.empty()) definition.sections.emplace_back();
      state = State::kSummary;
    } else if (line == "<FileInclude>") {
      state = State::kInclude;
    } else if (line.substr(0, 9) == "<FileLink") {
      link_name = LinkName(line);
      state = State::kLink;
    } else if (!Trim(line).empty()) {
      items().push_back({Item::Kind::kText, {}, std::string(line)});
    }
  }

  for (Section& section : definition.sections) {
    for (const Field& field : section.times) {
      if (field.label == "Start Time") section.start = ParseTimeText(field.value);
      if (field.label == "End Time") section.end = ParseTimeText(field.value);
    }
  }
  return definition;
}

}  // namespace pagegen
