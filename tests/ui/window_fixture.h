#pragma once
// Shared by the window tests: a main window with the seams in testing mode, a temporary
// folder, and a valid header and job lines to start from.

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <memory>

#include "ui/controls/file_dialog.h"
#include "ui/controls/message_box.h"
#include "ui/controls/u_text_box.h"
#include "ui/main_window/batch_definition_frm.h"

namespace jr::testing {

class WindowFixture {
 public:
  explicit WindowFixture(std::unique_ptr<JobExecutor> executor = nullptr) {
    MessageBox::enableTesting();
    FileDialog::enableTesting();
    MessageBox::reset();
    FileDialog::reset();
    window = std::make_unique<BatchDefinitionFrm>(std::move(executor));
    QDir(temp.path()).mkpath("logs");
  }

  QString path(const QString& name) const { return temp.path() + "/" + name; }

  template <typename T = QLineEdit>
  T* field(const char* name) const {
    T* widget = window->findChild<T*>(name);
    if (!widget) qFatal("no widget %s", name);
    return widget;
  }

  // A header that passes every check.
  void FillValidHeader() {
    field("BatchDescription")->setText("Nightly load");
    field("LogFile")->setText(path("admin.htm"));
    field("UserFile")->setText(path("user.htm"));
    field("LogFileDir")->setText(path("logs"));
  }

  // Appends job lines with these numbers and marks the job changed.
  void AddLines(std::initializer_list<int> numbers, const char* active = "true") {
    JobLineTable& table = window->table();
    for (int number : numbers) {
      const int row = table.Get_BatchLine_Count();
      table.SetJobLineCount(row + 1);
      for (int column = 0; column < JobLineTable::kColumnCount; ++column)
        table.Set(column, row, "");
      table.Set(kColNumber, row, std::to_string(number));
      table.Set(kColType, row, "Flow Runner");
      table.Set(kColStopOnError, row, "false");
      table.Set(kColActive, row, active);
    }
    window->RefreshGrid();
    window->setChanged();
  }

  // Saves the job under `name` in the temporary folder.
  void SaveAs(const QString& name) {
    FileDialog::setNextFileName(path(name));
    window->SaveAsBatch_Click();
    MessageBox::reset();
    FileDialog::reset();
  }

  QTemporaryDir temp;
  std::unique_ptr<BatchDefinitionFrm> window;
};

inline QString ReadAll(const QString& name) {
  QFile file(name);
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

}  // namespace jr::testing
