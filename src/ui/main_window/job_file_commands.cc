// The job file commands of the main window: New, Open (also from the recent files and by
// a drop), Save, Save As with the save question and the overwrite question, and the batch
// file that runs the saved job unattended.

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include "platform/config.h"
#include "run/batch_file.h"
#include "ui/controls/blanks.h"
#include "ui/controls/file_dialog.h"
#include "ui/controls/message_box.h"
#include "ui/main_window/edited_job.h"
#include "ui/main_window/job_header_form.h"
#include "ui/main_window/main_window.h"
#include "ui/main_window/recent_files.h"
#include "ui/main_window/window_support.h"

namespace jr {

JobDocument MainWindow::currentDocument() const {
  JobDocument job = job_->job();
  job.FileName = current_job_file_.toStdString();
  return job;
}

bool MainWindow::exportJob(const QString& file_name, bool ask_overwrite) {
  const QString trimmed = TrimBlanks(file_name);
  if (ask_overwrite && window::FileExists(trimmed)) {
    const MessageBox::Answer answer =
        MessageBox::show("File " + trimmed + " already exists. Overwrite?", "Save as " + trimmed,
                         MessageBox::kYesNo, MessageBox::Answer::kYes, MessageBox::kQuestion, this);
    if (answer != MessageBox::Answer::kYes) return false;
  }
  const QString date =
      QLocale::system().toString(QDateTime::currentDateTime(), QLocale::ShortFormat);
  // Names that differ only by surrounding blanks count as the same file (the overwrite
  // question and the caption agree), so the blanks are not written into the name either.
  const WriteResult result =
      WriteJobFile(trimmed.toStdString(), currentDocument(), date.toStdString());
  if (!result.ok) {
    // The job stays marked unsaved: a failed write must not let its changes be dropped.
    MessageBox::show("Unable to save the job: " + QString::fromStdString(result.error), "Save Job",
                     MessageBox::kOkOnly, MessageBox::Answer::kOk, MessageBox::kExclamation, this);
    return false;
  }
  job_->markSaved();
  return true;
}

ReadResult MainWindow::importJob(const QString& file_name, bool from_command_line) {
  JobDocument job = currentDocument();
  ReadResult result = ReadJobFile(file_name.toStdString(), job);
  if (result.status != ReadStatus::kLoaded) {
    // A file that is there but does not load says why, as the command line does; a missing
    // one needs no more than the message.
    QString text = QString::fromStdString(result.message);
    if (result.message != kJobFileDoesNotExist && !result.detail.empty())
      text += "\n" + QString::fromStdString(result.detail);
    MessageBox::show(text, "Open", MessageBox::kOkOnly, MessageBox::Answer::kOk,
                     from_command_line ? MessageBox::kCritical : MessageBox::kExclamation, this);
    return result;
  }
  job_->replace(std::move(job));
  return result;
}

MessageBox::Answer MainWindow::askToSave() {
  if (table().LineCount() < 1 || !hasUnsavedChanges()) return MessageBox::Answer::kYes;
  const MessageBox::Answer answer =
      MessageBox::show("Do you want to save current job ?", "Save Job", MessageBox::kYesNoCancel,
                       MessageBox::Answer::kYes, MessageBox::kQuestion, this);
  if (answer == MessageBox::Answer::kYes) {
    if (!current_job_file_.isEmpty()) {
      saveJob();
    } else {
      saveJobAs();
    }
    return save_failed_ ? MessageBox::Answer::kCancel : MessageBox::Answer::kYes;
  }
  return answer == MessageBox::Answer::kNo ? MessageBox::Answer::kNo : MessageBox::Answer::kCancel;
}

void MainWindow::newJob() {
  if (!mayReplaceJob()) return;
  current_job_file_.clear();
  file_warnings_.clear();
  updateCaption();
  // A new job keeps the maximum and the event-log switch of the one before.
  JobDocument fresh;
  fresh.MaxParallel = job_->job().MaxParallel;
  fresh.LogToEventLog = job_->job().LogToEventLog;
  job_->replace(std::move(fresh));
  header_->focusDescription();
}

void MainWindow::openJob() {
  if (!mayReplaceJob()) return;
  FileDialogRequest request;
  request.mode = FileDialogRequest::Mode::kOpenExisting;
  request.title = "Open Extraction Job";
  request.filters = {"Extraction Jobs (*.xml)"};
  // A folder that exists: the dialog would start in the parent of a missing one, with
  // its name typed in as the file name.
  const QString job_folder = QFileInfo(TrimBlanks(current_job_file_)).absolutePath();
  if (window::FolderExists(jobs_folder_)) {
    request.directory = jobs_folder_;
  } else if (!current_job_file_.isEmpty() && window::FolderExists(job_folder)) {
    request.directory = job_folder;
  } else {
    request.directory = QDir::homePath();
  }
  request.default_suffix = "xml";
  const QString chosen = FileDialog::getFileName(this, request);
  if (!chosen.isEmpty()) openJobFile(chosen, false);
}

bool MainWindow::openJobFile(const QString& file_name, bool from_command_line) {
  // A file that cannot be loaded leaves the job, its name and the caption as they were.
  const ReadResult read = importJob(file_name, from_command_line);
  if (read.status != ReadStatus::kLoaded) return false;
  current_job_file_ = file_name;
  updateCaption();
  showFirstRow();
  RememberRecentJobFile(TrimBlanks(file_name));
  updateRecentFilesMenu();
  // Said now, over the job as loaded: once it is saved, what was not read is gone from the
  // file too.
  file_warnings_ = ReadingWarnings(read);
  if (!file_warnings_.empty()) {
    QString text = "The job file " + TrimBlanks(file_name) + " holds what was not read:";
    for (const std::string& warning : file_warnings_)
      text += "\n" + QString::fromStdString(warning);
    MessageBox::show(text + "\nThe job holds none of it, and saving it leaves it out of the file.",
                     "Open", MessageBox::kOkOnly, MessageBox::Answer::kOk, MessageBox::kExclamation,
                     this);
  }
  return true;
}

void MainWindow::openRecentFile(const QString& name) {
  if (!window::FileExists(name)) {
    ForgetRecentJobFile(name);
    updateRecentFilesMenu();
    MessageBox::show(
        "The job file " + name + " no longer exists. It has been removed from the recent files.",
        "Open", MessageBox::kOkOnly, MessageBox::Answer::kOk, MessageBox::kExclamation, this);
    return;
  }
  if (!mayReplaceJob()) return;
  openJobFile(name, false);
}

void MainWindow::updateRecentFilesMenu() {
  const QStringList files = RecentJobFiles();
  for (int i = 0; i < recent_file_actions_.size(); ++i) {
    QAction* action = recent_file_actions_[i];
    action->setVisible(i < files.size());
    if (i >= files.size()) continue;
    QString name = QFileInfo(files[i]).fileName();
    action->setText(QString("&%1 %2").arg(i + 1).arg(name.replace("&", "&&")));
    action->setToolTip(files[i]);
    action->setData(files[i]);
  }
  recent_separator_->setVisible(!files.isEmpty());
}

QString MainWindow::droppedJobFile(const QMimeData* data) const {
  if (isRunning() || !data || !data->hasUrls()) return QString();
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile() && window::FileExists(url.toLocalFile())) return url.toLocalFile();
  }
  return QString();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!droppedJobFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  const QString name = droppedJobFile(event->mimeData());
  if (name.isEmpty()) return;
  event->acceptProposedAction();
  // The save question is modal: asked inside the drop, it would hold up the program the
  // file was dragged from.
  QTimer::singleShot(0, this, [this, name] { openDroppedFile(name); });
}

void MainWindow::openDroppedFile(const QString& name) {
  if (!mayReplaceJob()) return;
  openJobFile(name, false);
}

void MainWindow::saveJob() {
  save_failed_ = false;
  if (!checkJobSettings()) {
    save_failed_ = true;
    return;
  }
  if (current_job_file_.isEmpty()) {
    saveJobAs();
  } else if (!exportJob(current_job_file_, false)) {
    save_failed_ = true;
  }
}

void MainWindow::saveJobAs() {
  save_failed_ = false;
  if (!checkJobSettings()) {
    save_failed_ = true;
    return;
  }
  const QString old_name = current_job_file_;
  FileDialogRequest request;
  request.mode = FileDialogRequest::Mode::kSave;
  request.title = "Save Extraction Job";
  request.filters = {"Extraction Jobs (*.xml)"};
  request.default_suffix = "xml";
  const QString chosen = FileDialog::getFileName(this, request);
  // A cancelled dialog, a declined overwrite and a failed write all leave the changes
  // unsaved, so whatever waits on this save must not go on.
  if (chosen.isEmpty()) {
    save_failed_ = true;
    return;
  }
  const bool differs = TrimBlanks(chosen) != TrimBlanks(old_name);
  if (!exportJob(chosen, differs)) {
    save_failed_ = true;
    return;
  }
  current_job_file_ = chosen;
  updateCaption();
  RememberRecentJobFile(TrimBlanks(chosen));
  updateRecentFilesMenu();
}

void MainWindow::makeBatchFile() {
  auto tell = [this](const QString& text) {
    MessageBox::show(text, "Make .bat file", MessageBox::kOkOnly, MessageBox::Answer::kOk,
                     MessageBox::kExclamation, this);
  };
  if (current_job_file_.isEmpty()) return tell("Please first save this job");
  FileDialogRequest request;
  request.mode = FileDialogRequest::Mode::kSave;
  request.title = "Create .bat file that executes this job";
  // The filter of this system's scripts comes first: the dialog starts with it.
  const QString suffix = kBatchFileSuffix;
  request.filters = {"Batch program(*.bat)", "Shell scripts (*.sh)", "All files (*)"};
  if (suffix != "bat") request.filters.move(1, 0);
  request.default_suffix = suffix;
  const QString chosen = FileDialog::getFileName(this, request);
  if (chosen.isEmpty()) return;

  const Status written = WriteBatchFile(
      TrimBlanks(chosen).toStdString(),
      BatchFileText(program_path_.toStdString(), TrimBlanks(current_job_file_).toStdString()));
  if (!written.ok()) return tell("Unable to create .bat file: " + chosen);
}

}  // namespace jr
