#include "platform/systemd_units.h"

namespace jr {

// No systemd here: no folder, and installing says that it needs one.
UnitFolder UnitFolderFor(const std::string& /*root*/) { return {}; }

std::vector<UnitFolder> UnitFoldersToList(const std::string& /*root*/) { return {}; }

}  // namespace jr
