#pragma once
// The fixed catalogue of job-line types. The name of a type is at the same time its
// display name in the editor and its name in the job file; names compare exactly.

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace jr {

enum class ProgramFolder { kKeld, kMirn, kUser };

// How the command-line builder composes a line's options from its own options, its result
// files and the run's job id.
enum class OptionPattern {
  kA,  // status, log, job id
  kB,  // summary, status, log
  kP,  // status, job id
  kU,  // positional status, log, unquoted job id
};

struct JobLineType {
  std::string_view name;
  std::string_view executable;  // empty for "User Batchfile": the line names its own
  ProgramFolder folder;
  std::string_view log_stem;      // empty: the type writes no log file
  std::string_view status_stem;   // empty only for "User Batchfile"
  std::string_view summary_stem;  // empty: no summary file
  OptionPattern pattern;
  std::string_view config_switch;  // added to a configuration run; may be empty
  bool has_config_mode;            // false only for "User Batchfile"
};

inline constexpr std::string_view kUserBatchfile = "User Batchfile";
inline constexpr std::string_view kHealthInspector = "Health Inspector";
inline constexpr std::string_view kRunQuillmartScript = "Run Quillmart script";
inline constexpr std::string_view kSettingsEditor = "Settings Editor";
// The type a job file's unknown type name is read as.
inline constexpr std::string_view kUnknownType = "???";

// All eleven types in catalogue order.
std::span<const JobLineType> Catalogue();

// The type of that exact name, or nullptr.
const JobLineType* FindJobLineType(std::string_view name);

// "Health Inspector" is offered only where the Mirn product is installed, that is where
// the Mirn utilities folder is something other than a lone separator.
bool IsHealthInspectorAvailable(std::string_view mirn_utils_path);

// The names the editor offers, in catalogue order.
std::vector<std::string_view> AvailableTypeNames(std::string_view mirn_utils_path);

// Job file name mapping: catalogue names map to themselves; anything else to "" when
// writing and to "???" when reading.
std::string ProgramTypeToXml(std::string_view program_type);
std::string ProgramTypeFromXml(std::string_view program_type);

}  // namespace jr
