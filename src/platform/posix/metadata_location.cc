#include "platform/metadata_location.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace jr {
namespace {

std::string NonEmptyEnv(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace

const char* const kNoMetadataPlace =
    "neither JOBRUNNER_METADATA_DB, XDG_STATE_HOME nor HOME is set";

std::string SystemMetadataDatabasePath() {
  if (std::string path = NonEmptyEnv("JOBRUNNER_METADATA_DB"); !path.empty()) return path;
  // Root runs the server's jobs (from cron or systemd, with whatever home and state folder
  // they give it): their history lies where the system keeps the state of its services.
  if (geteuid() == 0) return "/var/lib/jobrunner/metadata.sqlite";
  // A relative XDG_STATE_HOME is invalid and is ignored, as its definition asks.
  if (std::string state = NonEmptyEnv("XDG_STATE_HOME");
      !state.empty() && std::filesystem::path(state).is_absolute()) {
    return state + "/jobrunner/metadata.sqlite";
  }
  if (std::string home = NonEmptyEnv("HOME"); !home.empty()) {
    return home + "/.local/state/jobrunner/metadata.sqlite";
  }
  return {};
}

}  // namespace jr
