// The configuration dialog: the options in one editable line, OK and Cancel.
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "config_mode.h"

namespace standin {

bool AskWithDialog(int argc, char** argv, const ConfigRequest& request, bool& accepted,
                   std::string& options) {
  QApplication app(argc, argv);
  QDialog dialog;
  dialog.setWindowTitle(QStringLiteral("Configuration"));
  auto* layout = new QVBoxLayout(&dialog);
  QString caption = QStringLiteral("Options of %1").arg(QString::fromLocal8Bit(request.program));
  if (!request.oper.empty()) {
    caption += QStringLiteral(" (-oper %1)").arg(QString::fromStdString(request.oper));
  }
  layout->addWidget(new QLabel(caption, &dialog));
  auto* edit = new QLineEdit(QString::fromStdString(request.options), &dialog);
  edit->setObjectName(QStringLiteral("options"));
  edit->setMinimumWidth(420);
  layout->addWidget(edit);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addWidget(buttons);
  accepted = dialog.exec() == QDialog::Accepted;
  options = edit->text().toStdString();
  return true;
}

}  // namespace standin
