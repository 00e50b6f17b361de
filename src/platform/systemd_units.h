#pragma once
// systemd's unit folders and installing units into them: writing the files, checking them
// with `systemd-analyze verify` and telling the service manager with `systemctl`. Where
// there is no systemd, there is no unit folder and installing says so.

#include <string>
#include <vector>

#include "platform/status.h"

namespace jr {

struct UnitFolder {
  std::string folder;  // where the unit files lie; empty where there is no systemd
  std::string root;    // an image root for `systemctl --root`; empty for this machine
  bool user = false;   // the user's own service manager (`systemctl --user`)
};

inline constexpr const char* kNoSystemd = "installing a schedule needs systemd";

// Where installing puts units: with `root`, ROOT/etc/systemd/system of that image; run as
// root, /etc/systemd/system; else the user's own folder ($XDG_CONFIG_HOME/systemd/user,
// ~/.config/systemd/user by default). One implementation per operating system.
UnitFolder UnitFolderFor(const std::string& root);
// The folders whose units belong to the runner's jobs here: with `root`, that image's;
// else the system's and the user's.
std::vector<UnitFolder> UnitFoldersToList(const std::string& root);

struct UnitFile {
  std::string name;  // "jobrunner-nightly_1a2b3c4d.timer"
  std::string text;
};

// Writes `units` into the folder (made when missing), has `systemd-analyze verify` check
// them (and takes them out again when it refuses them), then reloads the service manager
// and enables and starts the last unit; into an image root it only enables it. Fails
// naming the step and with systemd's own words.
Status InstallUnits(const UnitFolder& place, const std::vector<UnitFile>& units);
// Disables and stops the last of `names`, removes the files of all and reloads the
// service manager. Files that are not there are no failure.
Status RemoveUnits(const UnitFolder& place, const std::vector<std::string>& names);

}  // namespace jr
