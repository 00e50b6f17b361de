#include "ui/controls/browse_for_folder.h"

#include "platform/config.h"
#include "ui/controls/file_dialog.h"

namespace jr {

QString BrowseForFolder(QString& start_folder, const QString& title, QWidget* owner) {
  if (start_folder.size() > 1 && start_folder.endsWith(QChar(kPathSeparator))) start_folder.chop(1);
  return FileDialog::getExistingDirectory(owner, title, start_folder);
}

}  // namespace jr
