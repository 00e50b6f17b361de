#pragma once
// What the parts of the main window share: the file probes of its commands.

#include <QFileInfo>
#include <QString>
#include <filesystem>
#include <system_error>

#include "platform/environment.h"

namespace jr::window {

inline std::filesystem::path PathOf(const QString& name) {
  return std::filesystem::path(name.toStdU16String());
}

inline bool FileExists(const QString& name) {
  std::error_code ec;
  return !name.isEmpty() && std::filesystem::is_regular_file(PathOf(name), ec);
}

inline bool FolderExists(const QString& name) {
  std::error_code ec;
  return !name.isEmpty() && std::filesystem::is_directory(PathOf(name), ec);
}

// jobrunner's own file, also in the editor's executable, and its folder.
inline QString ProgramFile() { return QString::fromStdString(ProgramFilePath()); }
inline QString ProgramFolder() { return QFileInfo(ProgramFile()).absolutePath(); }

}  // namespace jr::window
