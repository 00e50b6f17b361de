#pragma once
// Reading values of the machine's registry. On Windows the registry itself; elsewhere a
// text file in the registry export format (see the README).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace jr {

inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegDword = 4;

// The key, under HKEY_LOCAL_MACHINE, of how job lines are started: on this machine or on a
// cluster, and the time limit of the helper programs that start them there.
inline constexpr std::string_view kLauncherKey = "SOFTWARE\\Extraction Job Runner\\Launcher";

// The key, under HKEY_LOCAL_MACHINE, of who tells people about runs and where: the mail
// server of notices, and the folder of the metrics files.
inline constexpr std::string_view kNotificationKey =
    "SOFTWARE\\Extraction Job Runner\\Notification";

struct RegistryValue {
  uint32_t type = 0;
  // The stored bytes, as the registry returns them: a REG_SZ value carries its
  // terminating zero byte; a REG_DWORD value is four little-endian bytes.
  std::vector<uint8_t> data;
};

class RegistryReader {
 public:
  virtual ~RegistryReader() = default;
  // The value `name` of `key` under HKEY_LOCAL_MACHINE; nullopt when the key or the
  // value does not exist. Key paths and names compare without regard to case.
  virtual std::optional<RegistryValue> Query(std::string_view key, std::string_view name) = 0;
  // Why the registry could not be read at all, naming where it is kept; empty when it
  // could, or when there is simply nothing (no registry file).
  virtual std::string ReadFailure() { return {}; }
};

}  // namespace jr

#include <memory>

namespace jr {

// The registry of this machine: on Linux the file $JOBRUNNER_REGISTRY, else
// /etc/jobrunner/registry.reg, read again on every query.
std::unique_ptr<RegistryReader> MakeSystemRegistryReader();

// Why the registry file that JOBRUNNER_REGISTRY names cannot be read at all (it does not
// exist, or may not be read): a run would go on without any registry value. Empty when
// the variable is not set, or when this system's registry is no file.
std::string NamedRegistryFileProblem();

}  // namespace jr
