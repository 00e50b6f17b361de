#pragma once
// What the editor keeps from one start to the next, in the user's settings: the job files
// opened last, and the window's size, position and grid column widths.

#include <QSettings>
#include <QString>
#include <QStringList>
#include <memory>

namespace jr {

inline constexpr int kMaxRecentFiles = 8;

// The editor's settings in the usual per-user place.
std::unique_ptr<QSettings> EditorSettings();

// The last job files opened, the latest first; at most kMaxRecentFiles.
QStringList RecentJobFiles();
// Puts `file` (made absolute) at the top of the list.
void RememberRecentJobFile(const QString& file);
void ForgetRecentJobFile(const QString& file);

}  // namespace jr
