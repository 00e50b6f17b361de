#include <unistd.h>

#include "platform/environment.h"
#include "platform/systemd_units.h"

namespace jr {
namespace {

UnitFolder UserUnitFolder() {
  return {UserBaseFolderPath("XDG_CONFIG_HOME", ".config", "systemd/user"), "", true};
}

}  // namespace

UnitFolder UnitFolderFor(const std::string& root) {
  if (!root.empty()) return {root + "/etc/systemd/system", root, false};
  if (geteuid() == 0) return {"/etc/systemd/system", "", false};
  return UserUnitFolder();
}

std::vector<UnitFolder> UnitFoldersToList(const std::string& root) {
  if (!root.empty()) return {UnitFolderFor(root)};
  return {{"/etc/systemd/system", "", false}, UserUnitFolder()};
}

}  // namespace jr
