#pragma once
// What the parts of the main window share: the design positions of its controls and the
// file probes of its commands.

#include <QCoreApplication>
#include <QString>
#include <filesystem>
#include <system_error>

namespace jr::window {

// The header and the grid are laid out at fixed positions of a 900 x 470 design, which
// the anchor layout then stretches with the window.
inline constexpr int kFieldHeight = 24;
inline constexpr int kRowStep = 32;
inline constexpr int kLabelLeft = 10;
inline constexpr int kLabelWidth = 235;
inline constexpr int kFieldLeft = 250;
inline constexpr int kDesignWidth = 900;
inline constexpr int kDesignHeight = 470;
inline constexpr int kButtonWidth = 32;

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
