// QtRuntimeServices: hot keys on sessions where the desktop binds them (Wayland), and the
// message box that can be silenced, which tells the user so.

#include <QCheckBox>
#include <QGuiApplication>
#include <QMessageBox>

#include "framework/qt/MainWindow.h"
#include "framework/qt/QtRuntimeServices.h"
#include "framework/qt/QtText.h"
#include "framework/qt/UiThread.h"
#include "framework/qt/WindowTitle.h"

bool QtRuntimeServices::TakesGlobalHotKeys() {
  // A Wayland compositor gives no program the keys of other programs' windows.
  return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
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
