#include "platform/systemd_calendar.h"

#include <sstream>

#include "platform/blanks.h"
#include "platform/local_time.h"
#include "platform/process_launcher.h"
#include "platform/program_command.h"

namespace jr {
namespace {

// "Wed 2026-12-09 02:30:00 UTC" as UTC seconds; -1 when it does not read so.
std::time_t UtcSeconds(std::string_view text) {
  std::istringstream in{std::string(text)};
  std::string weekday, date, time, zone;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  char dash1 = 0, dash2 = 0, colon1 = 0, colon2 = 0;
  if (!(in >> weekday >> date >> time >> zone) || zone != "UTC") return -1;
  std::istringstream d(date), t(time);
  if (!(d >> year >> dash1 >> month >> dash2 >> day) ||
      !(t >> hour >> colon1 >> minute >> colon2 >> second)) {
    return -1;
  }
  // Days since 1970 from the civil date, so that no time zone of this process takes part.
  const int y = year - (month <= 2 ? 1 : 0);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long long days = static_cast<long long>(era) * 146097 + doe - 719468;
  return static_cast<std::time_t>(days * 86400 + hour * 3600 + minute * 60 + second);
}

}  // namespace

CalendarReading ParseCalendarOutput(std::string_view output, int exit_status) {
  CalendarReading reading;
  std::istringstream lines{std::string(output)};
  std::vector<std::string> elapses;  // the local one, replaced by its UTC one when given
  for (std::string line; std::getline(lines, line);) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    const std::string_view label = TrimBlanks(std::string_view(line).substr(0, colon));
    const std::string value(TrimBlanks(std::string_view(line).substr(colon + 1)));
    if (label == "Normalized form") {
      reading.normalized = value;
    } else if (label == "Next elapse" || label.starts_with("Iter.")) {
      elapses.push_back(value);
    } else if (label == "(in UTC)" && !elapses.empty()) {
      elapses.back() = value;
    }
  }
  if (exit_status != 0 || reading.normalized.empty()) {
    reading.kind = CalendarReading::Kind::kRefused;
    std::string words(TrimBlanks(output.substr(0, output.find('\n'))));
    reading.words =
        words.empty() ? "systemd-analyze ended with status " + std::to_string(exit_status) : words;
    return reading;
  }
  if (elapses.empty() || elapses.front() == "never") {
    reading.kind = CalendarReading::Kind::kNever;
    return reading;
  }
  reading.kind = CalendarReading::Kind::kElapses;
  for (const std::string& elapse : elapses) {
    if (const std::time_t seconds = UtcSeconds(elapse); seconds >= 0) {
      reading.elapses.push_back(seconds);
    }
  }
  return reading;
}

CalendarReading ReadCalendar(std::string_view expression, int iterations) {
  const std::string tool = FindOnPath("systemd-analyze");
  if (tool.empty()) return {};
  const Result<ProgramOutput> run = RunAndCapture(
      {tool,
       {"calendar", "--iterations=" + std::to_string(iterations), "--", std::string(expression)},
       std::string()});
  if (!run.ok()) return {};
  return ParseCalendarOutput(run.value.output, run.value.exit_status);
}

std::string IsoLocalText(std::time_t seconds) {
  std::string text = FormatLocalTime(seconds, "%Y-%m-%dT%H:%M:%S%z");
  // strftime writes the offset as +0100; ISO 8601's extended form has a colon in it.
  if (text.size() >= 5) text.insert(text.size() - 2, ":");
  return text;
}

std::string LocalDateText(std::time_t seconds) { return FormatLocalTime(seconds, "%Y-%m-%d"); }

}  // namespace jr
