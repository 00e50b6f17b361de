#pragma once
// Every file and folder choice of the window goes through here, so that tests can answer
// them and read how the dialog was prepared.

#include <QString>
#include <QStringList>

class QWidget;

namespace jr {

struct FileDialogRequest {
  enum class Mode { kOpenExisting, kOpenAny, kSave, kFolder };
  Mode mode = Mode::kOpenExisting;
  QString title;
  // Qt filter list ("Extraction Jobs (*.xml)"); empty for none.
  QStringList filters;
  QString directory;
  QString file_name;
  // Added to a typed name without an extension; follows the chosen filter when that names
  // exactly one extension.
  QString default_suffix;
};

class FileDialog {
 public:
  // The chosen file name, or "" when the user cancelled. A save dialog never asks about
  // overwriting: the callers decide that themselves.
  static QString getFileName(QWidget* parent, const FileDialogRequest& request);
  // The chosen folder, or "" when the user cancelled.
  static QString getExistingDirectory(QWidget* parent, const QString& title, const QString& start);

  // Testing: no dialog is ever shown. Each call takes the next queued answer ("" when none
  // is queued, as a cancelled dialog) and records its request.
  static void enableTesting(bool on = true);
  static void setNextFileName(const QString& name);
  static void setNextDirectory(const QString& folder);
  static FileDialogRequest lastRequest();
  static int shownCount();
  static void reset();
};

}  // namespace jr
