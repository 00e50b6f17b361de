#include "ui/main_window/recent_files.h"

#include <QFileInfo>

namespace jr {
namespace {

constexpr const char* kRecentFilesKey = "recentFiles";

void StoreFiles(const QStringList& files) {
  EditorSettings()->setValue(kRecentFilesKey, files.mid(0, kMaxRecentFiles));
}

}  // namespace

std::unique_ptr<QSettings> EditorSettings() {
  return std::make_unique<QSettings>("Extraction Job Runner", "jobrunner");
}

QStringList RecentJobFiles() {
  return EditorSettings()->value(kRecentFilesKey).toStringList().mid(0, kMaxRecentFiles);
}

void RememberRecentJobFile(const QString& file) {
  const QString absolute = QFileInfo(file).absoluteFilePath();
  QStringList files = RecentJobFiles();
  files.removeAll(absolute);
  files.prepend(absolute);
  StoreFiles(files);
}

void ForgetRecentJobFile(const QString& file) {
  QStringList files = RecentJobFiles();
  files.removeAll(file);
  StoreFiles(files);
}

}  // namespace jr
