// QtRuntimeServices: system-wide hot keys (X11), and whether the session lets the program
// take them at all.
#include "framework/qt/QtRuntimeServices.h"

#include <QGuiApplication>

#include "framework/qt/GlobalHotKeys.h"
#include "framework/qt/MainWindow.h"
#include "framework/qt/UiThread.h"

int QtRuntimeServices::RegisterGlobalHotKey(Control, Control notifyControl, int modifiers,
                                            int keyCode) {
  return OnUiThread([&] {
    if (!hotKeys_) {
      hotKeys_ = std::make_unique<GlobalHotKeys>();
      hotKeys_->SetHandler([this](int number) {
        if (!window_) return;
        Event event;
        event.kind = EventKind::Feedback;
        event.source = hotKeyReceiver_;
        event.first = number;
        event.second = 0;
        window_->Raise(event);
      });
    }
    // The receiver named last gets the presses of every hot key.
    hotKeyReceiver_ = notifyControl;
    return hotKeys_->Register(modifiers, keyCode);
  });
}

bool QtRuntimeServices::UnregisterGlobalHotKey(int number) {
  return OnUiThread([&] { return hotKeys_ && hotKeys_->Unregister(number); });
}

bool QtRuntimeServices::TakesGlobalHotKeys() {
  // A Wayland compositor gives no program the keys of other programs' windows.
  return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}
