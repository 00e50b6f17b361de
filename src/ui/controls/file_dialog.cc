#include "ui/controls/file_dialog.h"

#include <QFileDialog>
#include <QRegularExpression>

namespace jr {
namespace {

struct DialogTestState {
  bool on = false;
  QStringList answers;
  FileDialogRequest last;
  int shown = 0;
};

DialogTestState& DialogState() {
  static DialogTestState state;
  return state;
}

QString Answer(const FileDialogRequest& request) {
  DialogTestState& state = DialogState();
  state.last = request;
  ++state.shown;
  return state.answers.isEmpty() ? QString() : state.answers.takeFirst();
}

// The one extension a filter names ("Batch program(*.bat)" gives "bat"), else "".
QString SuffixOfFilter(const QString& filter) {
  static const QRegularExpression kSingle(R"(\(\s*\*\.([A-Za-z0-9_]+)\s*\))");
  QRegularExpressionMatch match = kSingle.match(filter);
  return match.hasMatch() ? match.captured(1) : QString();
}

}  // namespace

QString FileDialog::getFileName(QWidget* parent, const FileDialogRequest& request) {
  if (DialogState().on) return Answer(request);

  QFileDialog dialog(parent, request.title, request.directory);
  switch (request.mode) {
    case FileDialogRequest::Mode::kOpenExisting:
      dialog.setAcceptMode(QFileDialog::AcceptOpen);
      dialog.setFileMode(QFileDialog::ExistingFile);
      break;
    case FileDialogRequest::Mode::kOpenAny:
      dialog.setAcceptMode(QFileDialog::AcceptOpen);
      dialog.setFileMode(QFileDialog::AnyFile);
      break;
    case FileDialogRequest::Mode::kFolder:
      return getExistingDirectory(parent, request.title, request.directory);
    case FileDialogRequest::Mode::kSave:
      dialog.setAcceptMode(QFileDialog::AcceptSave);
      dialog.setFileMode(QFileDialog::AnyFile);
      dialog.setOption(QFileDialog::DontConfirmOverwrite);
      break;
  }
  if (!request.filters.isEmpty()) dialog.setNameFilters(request.filters);
  dialog.setDefaultSuffix(request.default_suffix);
  QObject::connect(
      &dialog, &QFileDialog::filterSelected, &dialog,
      [&dialog](const QString& filter) { dialog.setDefaultSuffix(SuffixOfFilter(filter)); });
  if (!request.file_name.isEmpty()) dialog.selectFile(request.file_name);
  if (dialog.exec() != QDialog::Accepted) return QString();
  const QStringList chosen = dialog.selectedFiles();
  return chosen.isEmpty() ? QString() : chosen.first();
}

QString FileDialog::getExistingDirectory(QWidget* parent, const QString& title,
                                         const QString& start) {
  if (DialogState().on) {
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::kFolder;
    request.title = title;
    request.directory = start;
    return Answer(request);
  }
  return QFileDialog::getExistingDirectory(parent, title, start);
}

void FileDialog::enableTesting(bool on) { DialogState().on = on; }
void FileDialog::setNextFileName(const QString& name) { DialogState().answers.append(name); }
void FileDialog::setNextDirectory(const QString& folder) { DialogState().answers.append(folder); }
FileDialogRequest FileDialog::lastRequest() { return DialogState().last; }
int FileDialog::shownCount() { return DialogState().shown; }

void FileDialog::reset() {
  DialogTestState& state = DialogState();
  state.answers.clear();
  state.last = FileDialogRequest{};
  state.shown = 0;
}

}  // namespace jr
