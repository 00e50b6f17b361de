#include "support/report_fakes.h"

#include <ctime>
#include <fstream>
#include <sstream>

namespace jr::report_test {
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

TimePoint At(int hour, int minute, int second) {
  return LocalTime(2003, 3, 7, hour, minute, second);
}

clsJobLine* ReportWorld::Ran(int32_t nr, const std::string& description, const std::string& type,
                             TimePoint start, TimePoint end, bool failed) {
  clsJobLine* line = lines.Add(nr);
  line->setJobDescription(description);
  line->setProgramType(type);
  clock.Set(start);
  line->SetStartingTime();
  clock.Set(end);
  line->SetStopTime();
  line->setAlreadyRun(true);
  line->setErrorOccured(failed);
  return line;
}

int RecordingEventLog::Write(std::string_view source, uint16_t event_type, uint16_t category,
                             uint32_t event_id, std::string_view message) {
  if (error_ != 0) return error_;
  entries.push_back({std::string(source), event_type, category, event_id, std::string(message)});
  return 0;
}

void StringRegistry::InstallKeld(const std::string& folder) {
  values_[{"SOFTWARE\\Vantor\\VantorKeld\\Version Info", "Current Version"}] = "7.2";
  values_[{"SOFTWARE\\Vantor\\VantorKeld\\7.2\\Install Info", "Keld_utils_path"}] = folder;
}

std::optional<RegistryValue> StringRegistry::Query(std::string_view key, std::string_view name) {
  auto found = values_.find({std::string(key), std::string(name)});
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
