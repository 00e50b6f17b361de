#pragma once
// Shared by the window tests: a main window with the seams in testing mode, a temporary
// folder, a valid header and job lines to start from, the messages shown since, and the
// job line dialog answered from inside its modal loop.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <type_traits>

#include "ui/controls/file_dialog.h"
#include "ui/controls/message_box.h"
#include "ui/controls/number_edit.h"
#include "ui/controls/text_input.h"
#include "ui/job_line_dialog/job_line_dialog.h"
#include "ui/main_window/job_header_form.h"
#include "ui/main_window/main_window.h"

namespace jr::testing {

// "title: text" of every message shown since the last call, joined by "|".
inline QString Messages() {
  QStringList texts;
  for (const MessageBox::Shown& shown : MessageBox::history())
    texts << shown.title + ": " + shown.text;
  MessageBox::reset();
  return texts.join("|");
}

// The child of `parent` with that object name; the test stops when there is none.
template <typename T = QLineEdit>
T* Find(const QObject* parent, const char* name) {
  T* child = parent->findChild<T*>(name);
  if (!child) qFatal("no %s", name);
  return child;
}

inline QString ReadAll(const QString& name) {
  QFile file(name);
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

inline void WriteFile(const QString& name, const QByteArray& content, bool executable = false) {
  QFile file(name);
  QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
  if (executable) file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
}

// Test classes derive from this and call Start() in init() and Stop() in cleanup().
class WindowTest : public QObject {
 protected:
  void Start(std::unique_ptr<JobExecutor> executor = nullptr) {
    MessageBox::enableTesting();
    FileDialog::enableTesting();
    TextInput::enableTesting();
    MessageBox::reset();
    FileDialog::reset();
    TextInput::reset();
    temp_ = std::make_unique<QTemporaryDir>();
    QDir(temp_->path()).mkpath("logs");
    // The window keeps its layout and recent files in the user's settings: never the
    // real user's in a test.
    for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
      QSettings::setPath(format, QSettings::UserScope, path("settings"));
    w_ = std::make_unique<MainWindow>(std::move(executor));
  }
  void Stop() { w_.reset(), temp_.reset(); }

  QString path(const QString& name = {}) const { return temp_->path() + "/" + name; }

  template <typename T = QLineEdit>
  T* field(const char* name) const {
    return Find<T>(w_.get(), name);
  }

  // Runs the window's command of that object name, as its menu item or button does.
  void Trigger(const char* action) const { field<QAction>(action)->trigger(); }

  // A header that passes every check.
  void FillValidHeader() {
    field("description")->setText("Nightly load");
    field("adminReport")->setText(path("admin.htm"));
    field("userReport")->setText(path("user.htm"));
    field("logFolder")->setText(path("logs"));
  }

  // Inserts job lines with these numbers, as Insert does, and makes the first row current.
  void AddLines(std::initializer_list<int> numbers, const char* active = "true") {
    for (int number : numbers) {
      JobLineTable::Row line;
      line.fill(std::string());
      line[kColNumber] = std::to_string(number), line[kColType] = "Flow Runner";
      line[kColStopOnError] = "false", line[kColActive] = active;
      w_->job().insertLine(line);
    }
    w_->showFirstRow();
  }

  // Changes one cell of a job line, as Job Line Details does.
  void SetCell(int column, int row, const std::string& value) {
    JobLineTable::Row line = w_->table().RowAt(row);
    line[column] = value;
    w_->job().changeLine(row, line);
  }

  // Saves the job under `name` in the temporary folder and forgets what that showed.
  void SaveAs(const QString& name) {
    FileDialog::setNextFileName(path(name));
    Trigger("saveJobAs");
    MessageBox::reset();
    FileDialog::reset();
  }

  // The window's job at a glance: "caption|job lines|description|saved or unsaved".
  QString Job() const {
    return w_->windowTitle().remove("[*]") + "|" + QString::number(w_->table().LineCount()) + "|" +
           field("description")->text() + (w_->hasUnsavedChanges() ? "|unsaved" : "|saved");
  }

  // Runs `command` and acts on the job line dialog (or another of type D) as soon as it is
  // shown modally; a refused OK is followed by Cancel, as a user would leave it. False when
  // no dialog showed.
  template <typename D = JobLineDialog>
  bool Run(const std::function<void()>& command,
           const std::type_identity_t<std::function<void(D&)>>& step) {
    bool shown = false;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
      auto* d = qobject_cast<D*>(QApplication::activeModalWidget());
      if (d == nullptr || !d->isVisible()) return;
      timer.stop();
      shown = true;
      step(*d);
      if (d->isVisible()) Find<QPushButton>(d, "cancelButton")->click();
    });
    timer.start(0);
    command();
    return shown;
  }

  std::unique_ptr<QTemporaryDir> temp_;
  std::unique_ptr<MainWindow> w_;
};

}  // namespace jr::testing
