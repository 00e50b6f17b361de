#include "support/report_fakes.h"

#include <cctype>
#include <ctime>
#include <fstream>
#include <sstream>

namespace jr::report_test {
namespace {

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

std::string MapKey(std::string_view key, std::string_view name) {
  return Lower(key) + '\n' + Lower(name);
}

}  // namespace

TimePoint LocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  return std::chrono::system_clock::from_time_t(std::mktime(&local));
}

int RecordingEventLog::Write(std::string_view source, uint16_t event_type, uint16_t category,
                             uint32_t event_id, std::string_view message) {
  if (error_ != 0) return error_;
  entries.push_back({std::string(source), event_type, category, event_id, std::string(message)});
  return 0;
}

void StringRegistry::SetString(const std::string& key, const std::string& name,
                               const std::string& value) {
  values_[MapKey(key, name)] = value;
}

void StringRegistry::InstallKeld(const std::string& folder) {
  SetString("SOFTWARE\\Vantor\\VantorKeld\\Version Info", "Current Version", "7.2");
  SetString("SOFTWARE\\Vantor\\VantorKeld\\7.2\\Install Info", "Keld_utils_path", folder);
}

std::optional<RegistryValue> StringRegistry::Query(std::string_view key, std::string_view name) {
  auto found = values_.find(MapKey(key, name));
  if (found == values_.end()) return std::nullopt;
  RegistryValue value;
  value.type = kRegSz;
  value.data.assign(found->second.begin(), found->second.end());
  value.data.push_back(0);
  return value;
}

ProcessHandle RecordingLauncher::Start(std::string_view program, std::string_view arguments) {
  StartedProgram start{std::string(program), std::string(arguments)};
  if (on_start) on_start(start);
  started.push_back(start);
  return static_cast<ProcessHandle>(started.size());
}

std::string ReadFile(const std::string& name) {
  std::ifstream file(name, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

void WriteFile(const std::string& name, const std::string& content) {
  std::ofstream file(name, std::ios::binary | std::ios::trunc);
  file << content;
}

}  // namespace jr::report_test
