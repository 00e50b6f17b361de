#include "platform/metadata_location.h"

#include <unistd.h>

#include <string>

#include "platform/environment.h"

namespace jr {

const char* const kNoMetadataPlace =
    "neither JOBRUNNER_METADATA_DB, XDG_STATE_HOME nor HOME is set";

std::string SystemMetadataDatabasePath() {
  if (std::string path = EnvironmentValue("JOBRUNNER_METADATA_DB"); !path.empty()) return path;
  // Root runs the server's jobs (from cron or systemd, with whatever home and state folder
  // they give it): their history lies where the system keeps the state of its services.
  if (geteuid() == 0) return "/var/lib/jobrunner/metadata.sqlite";
  return UserBaseFolderPath("XDG_STATE_HOME", ".local/state", "jobrunner/metadata.sqlite");
}

}  // namespace jr
