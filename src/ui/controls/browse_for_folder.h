#pragma once

#include <QString>

class QWidget;

namespace jr {

// Shows the folder chooser opened on `start_folder` and returns the chosen folder, or ""
// when the user cancelled. One trailing separator is taken off `start_folder` first (a
// lone "/" stays), so "a/b/" and "a/b" open on the same folder.
QString BrowseForFolder(QString& start_folder, const QString& title, QWidget* owner);

}  // namespace jr
