#pragma once
// What the parts of the main window share: the file probes of its commands.

#include <QCoreApplication>
#include <QString>
#include <filesystem>
#include <system_error>

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

inline QString ProgramFolder() { return QCoreApplication::applicationDirPath(); }

}  // namespace jr::window
