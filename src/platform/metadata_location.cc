#include "platform/metadata_location.h"

#include <filesystem>
#include <system_error>

#include "platform/file_system.h"
#include "platform/program_command.h"

namespace jr {

namespace fs = std::filesystem;

std::string MetadataPlaceProblem(const std::string& path) {
  const std::string place = "no place for the process metadata database";
  if (path.empty()) return place + ": " + kNoMetadataPlace;
  std::error_code ec;
  const fs::path file(path);
  if (fs::is_directory(file, ec)) return place + ": \"" + path + "\" is a folder";
  if (fs::exists(file, ec) && !MayWrite(path)) {
    return place + ": \"" + path + "\" may not be written";
  }
  // The database writes its journal beside itself, so its folder must be writable even
  // when the file exists.
  const std::u8string parent = file.parent_path().u8string();
  if (std::string folder = FolderWriteProblem(std::string(parent.begin(), parent.end()));
      !folder.empty()) {
    return place + ": " + folder + ", so \"" + path + "\" cannot be made or changed";
  }
  return {};
}

}  // namespace jr
