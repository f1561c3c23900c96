// QtRuntimeServices: common dialogs, message boxes, the progress box, the voice settings
// and the hot-key dialog, each run on the user-interface thread.
#include "framework/qt/QtRuntimeServices.h"

#include <QCheckBox>
#include <QMessageBox>
#include <QProgressDialog>

#include "framework/qt/HotKeyDialog.h"
#include "framework/qt/MainWindow.h"
#include "framework/qt/MessageBox.h"
#include "framework/qt/QtText.h"
#include "framework/qt/UiThread.h"
#include "framework/qt/VoiceSettingsDialog.h"
#include "framework/qt/WindowTitle.h"

bool QtRuntimeServices::OpenDialog(Control dialog) {
  return OnUiThread([&] {
    auto found = dialogs_.find(dialog);
    if (found == dialogs_.end()) return false;
    return RunCommonDialog(window_ && window_->isVisible() ? window_ : nullptr, found->second);
  });
}

int QtRuntimeServices::ShowMessageBox(const Value& message, int style,
                                      const std::optional<Text>& caption,
                                      std::optional<Control> owner) {
  return OnUiThread([&] {
    QWidget* parent = owner && window_ ? window_->ControlWidget(*owner) : nullptr;
    if (parent) parent = parent->window();
    const QString title = caption ? ToQString(*caption) : QStringLiteral("信息：");
    return RunMessageBox(parent, ToQString(message.AsText()), style, title);
  });
}

bool QtRuntimeServices::ShowMessageWithCheckBox(const Text& message, const Text& caption,
                                                const Text& checkLabel) {
  return OnUiThread([&] {
    QMessageBox box(QMessageBox::Information, WindowManagerTitle(ToQString(caption)), QString(),
                    QMessageBox::NoButton, window_ && window_->isVisible() ? window_ : nullptr);
    box.setTextFormat(Qt::PlainText);
    box.setText(ToQString(message).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    // Owned by the box.
    auto* check = new QCheckBox(ToQString(checkLabel));
    box.setCheckBox(check);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    box.exec();
    return check->isChecked();
  });
}

bool QtRuntimeServices::ShowProgress(const Text& label, int done, int total) {
  return OnUiThread([&] {
    if (!progress_) {
      progress_ = std::make_unique<QProgressDialog>(window_);
      progress_->setWindowTitle(QStringLiteral("信息："));
      progress_->setCancelButtonText(QStringLiteral("取消"));
      progress_->setWindowModality(Qt::ApplicationModal);
      progress_->setMinimumDuration(0);
      progress_->setAutoReset(false);
      progress_->setAutoClose(false);
    }
    progress_->setLabelText(ToQString(label));
    progress_->setRange(0, std::max(total, 1));
    if (progress_->value() != done) progress_->setValue(done);
    QCoreApplication::processEvents();
    return !progress_->wasCanceled();
  });
}

void QtRuntimeServices::EndProgress() {
  OnUiThread([&] { progress_.reset(); });
}

std::optional<VoiceDialogValues> QtRuntimeServices::ShowVoiceDialog(
    const VoiceDialogSetup& setup, const std::function<Text(const VoiceDialogValues&)>& preview) {
  return OnUiThread([&] { return RunVoiceSettingsDialog(window_, setup, preview); });
}

bool QtRuntimeServices::EditHotKeys(std::vector<HotKeyField>& fields, const HotKeyCheck& check) {
  return OnUiThread([&] {
    return RunHotKeyDialog(window_ && window_->isVisible() ? window_ : nullptr, fields, check);
  });
}
