#include "ui/notify_dialog/notify_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "model/notify_rules.h"
#include "ui/controls/blanks.h"
#include "ui/controls/message_box.h"
#include "ui/main_window/main_window.h"

namespace jr {

NotifyDialog::NotifyDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("notifyDialog");
  setWindowTitle("Notifications");
  setModal(true);
  mail_ = new QLineEdit(this);
  mail_->setObjectName("notifyMail");
  mail_->setPlaceholderText("ops@example.org, root@localhost");
  mail_->setToolTip(
      "Mail addresses separated by commas that are told how a run of this job "
      "ended; empty for no mail");
  webhook_ = new QLineEdit(this);
  webhook_->setObjectName("notifyWebhook");
  webhook_->setPlaceholderText("https://");
  webhook_->setToolTip(
      "An http:// or https:// URL that receives each notice as JSON; empty "
      "for none");
  // Room for a typical URL, in the font in use.
  webhook_->setMinimumWidth(webhook_->fontMetrics().averageCharWidth() * 56);
  notify_on_ = new QComboBox(this);
  notify_on_->setObjectName("notifyOn");
  notify_on_->setToolTip(
      "Whether only a run that does not finish without errors is told, or "
      "every run");
  notify_on_->addItem("on failure", QString(NotifyOnWord(NotifyWhen::kFailure)));
  notify_on_->addItem("always", QString(NotifyOnWord(NotifyWhen::kAlways)));

  auto* form = new QFormLayout;
  form->addRow("&Mail to:", mail_);
  form->addRow("&Webhook URL:", webhook_);
  form->addRow("&Notify:", notify_on_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("okButton");
  buttons->button(QDialogButtonBox::Cancel)->setObjectName("cancelButton");
  connect(buttons, &QDialogButtonBox::accepted, this, &NotifyDialog::acceptIfValid);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void NotifyDialog::setSettings(const NotifySettings& settings) {
  mail_->setText(settings.mail);
  webhook_->setText(settings.webhook);
  loaded_on_ = settings.on;
  constexpr int kChoices = 2;
  while (notify_on_->count() > kChoices) notify_on_->removeItem(kChoices);
  const Result<NotifyWhen> when = ParseNotifyOn(settings.on.toStdString());
  if (!when.ok()) notify_on_->addItem(settings.on, settings.on);
  notify_on_->setCurrentIndex(when.ok() ? notify_on_->findData(QString(NotifyOnWord(when.value)))
                                        : kChoices);
}

NotifySettings NotifyDialog::settings() const {
  QString on = notify_on_->currentData().toString();
  const Result<NotifyWhen> loaded = ParseNotifyOn(loaded_on_.toStdString());
  if (loaded.ok() && on == NotifyOnWord(loaded.value)) {
    on = loaded_on_;
  } else if (on == NotifyOnWord(NotifyWhen::kFailure)) {
    on.clear();
  }
  return {TrimBlanks(mail_->text()), TrimBlanks(webhook_->text()), on};
}

void NotifyDialog::acceptIfValid() {
  const NotifySettings typed = settings();
  const std::pair<Status, QWidget*> checks[] = {
      {ParseNotifyMail(typed.mail.toStdString()).status, mail_},
      {CheckNotifyWebhook(typed.webhook.toStdString()), webhook_},
      {ParseNotifyOn(typed.on.toStdString()).status, notify_on_},
  };
  for (const auto& [status, field] : checks) {
    if (status.ok()) continue;
    MessageBox::show(QString::fromStdString(status.message), windowTitle(), MessageBox::kOkOnly,
                     MessageBox::Answer::kOk, MessageBox::kExclamation, this);
    field->setFocus();
    return;
  }
  accept();
}

}  // namespace jr
