#include "model/catalogue.h"

#include <array>

#include "platform/config.h"

namespace jr {
namespace {

using enum ProgramFolder;
using enum OptionPattern;

constexpr std::array<JobLineType, 11> kCatalogue{{
    {"Run Vantor Job (UNIX)", "RunVantorJob.exe", kKeld, "VantorExp_Log.txt",
     "VantorExp_Stat.txt", "", kA, " -oper UNIX", true},
    {"Run Vantor Job (NT)", "RunVantorJob.exe", kKeld, "VantorExp_Log.txt", "VantorExp_Stat.txt",
     "", kA, " -oper NT", true},
    {"SupplyDesk 2.2 User Extraction", "SDUserDownload.exe", kKeld, "SupplyDesk_Log.txt",
     "SupplyDesk_Stat.txt", "", kA, "", true},
    {"Run Quillmart script", "RunQM.exe", kKeld, "RunQM_Log.txt", "RunQM_Stat.txt",
     "RunQM_Sum.txt", kB, "", true},
    {"Flow Runner", "FlowRun.exe", kKeld, "FlowRun_Log.txt", "FlowRun_Stat.txt", "", kA, "",
     true},
    {"Scan Anomalies", "ScanAnomalies.exe", kKeld, "ScanAnom_Log.txt", "ScanAnom_Stat.txt", "",
     kA, "", true},
    {"Member Purger", "MemberPurger.exe", kKeld, "Purger_Log.txt", "Purger_Stat.txt", "", kA, "",
     true},
    {"Settings Editor", "SettingsEditor.exe", kKeld, "", "SettingsEditor_Stat.txt", "", kP, "",
     true},
    {"Health Inspector", "Inspector.exe", kMirn, "HealthInspector_Log.txt",
     "HealthInspector_Stat.txt", "", kA, "", true},
    {"Build Aggregates", "BuildAggr.exe", kKeld, "BuildAggr_Log.txt", "BuildAggr_Stat.txt", "",
     kA, "", true},
    {"User Batchfile", "", kUser, "", "", "", kU, "", false},
}};

}  // namespace

std::span<const JobLineType> Catalogue() { return kCatalogue; }

const JobLineType* FindJobLineType(std::string_view name) {
  for (const JobLineType& type : kCatalogue) {
    if (type.name == name) return &type;
  }
  return nullptr;
}

bool IsHealthInspectorAvailable(std::string_view mirn_utils_path) {
  return !(mirn_utils_path.size() == 1 && mirn_utils_path[0] == kPathSeparator);
}

std::vector<std::string_view> AvailableTypeNames(std::string_view mirn_utils_path) {
  const bool mirn = IsHealthInspectorAvailable(mirn_utils_path);
  std::vector<std::string_view> names;
  for (const JobLineType& type : kCatalogue) {
    if (type.name == kHealthInspector && !mirn) continue;
    names.push_back(type.name);
  }
  return names;
}

std::string ProgramTypeToXml(std::string_view program_type) {
  return FindJobLineType(program_type) ? std::string(program_type) : std::string();
}

std::string ProgramTypeFromXml(std::string_view program_type) {
  return FindJobLineType(program_type) ? std::string(program_type) : std::string(kUnknownType);
}

}  // namespace jr
