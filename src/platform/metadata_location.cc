#include "platform/metadata_location.h"

#include <filesystem>
#include <system_error>

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
  // The database's folder, or the nearest one above it that exists, from which the rest
  // is made; the database writes its journal beside itself, so the folder must be writable
  // even when the file exists.
  fs::path folder = file.parent_path();
  while (!folder.empty() && !fs::exists(folder, ec)) folder = folder.parent_path();
  if (folder.empty()) folder = ".";
  if (!fs::is_directory(folder, ec)) {
    return place + ": \"" + folder.string() + "\" is no folder, so \"" + path + "\" cannot be made";
  }
  if (!MayWrite(folder.string())) {
    return place + ": the folder \"" + folder.string() + "\" may not be written, so \"" + path +
           "\" cannot be made or changed";
  }
  return {};
}

}  // namespace jr
