// QtRuntimeServices: system-wide hot keys, through the back end the session has: X11 key
// grabs, or on Wayland the desktop's GlobalShortcuts portal where the session offers one.
#include "framework/qt/QtRuntimeServices.h"

#include <QGuiApplication>

#include "framework/qt/GlobalHotKeys.h"
#include "framework/qt/MainWindow.h"
#include "framework/qt/PortalHotKeys.h"
#include "framework/qt/QtText.h"
#include "framework/qt/UiThread.h"

namespace {

// A Wayland compositor gives no program the keys of other programs' windows: only the
// desktop can register keys for it.
bool OnWayland() { return QGuiApplication::platformName().startsWith(QLatin1String("wayland")); }

}  // namespace

void QtRuntimeServices::RaiseHotKeyFeedback(int number, int second) {
  if (!window_) return;
  Event event;
  event.kind = EventKind::Feedback;
  event.source = hotKeyReceiver_;
  event.first = number;
  event.second = second;
  window_->Raise(event);
}

PortalHotKeys& QtRuntimeServices::ShortcutsPortal() {
  if (!portalHotKeys_) {
    portalHotKeys_ = std::make_unique<PortalHotKeys>();
    portalHotKeys_->SetHandler([this](int number, bool refused) {
      RaiseHotKeyFeedback(number, refused ? kHotKeyRefused : 0);
    });
  }
  return *portalHotKeys_;
}

bool QtRuntimeServices::TakesGlobalHotKeys() {
  if (!OnWayland()) return true;
  return OnUiThread([&] {
    return portalHotKeys_ && portalHotKeys_->presence() == PortalHotKeys::Presence::Offered;
  });
}

void QtRuntimeServices::WhenHotKeysKnown(std::function<void(bool takesKeys)> answer) {
  OnUiThread([&] {
    if (!OnWayland()) {
      answer(true);
      return;
    }
    // The answer may come after the window is gone: it is dropped with the portal keys.
    ShortcutsPortal().FindOut([answer](bool offered) { RunContained([&] { answer(offered); }); });
  });
}

int QtRuntimeServices::RegisterGlobalHotKey(Control window, Control notifyControl, int modifiers,
                                            int keyCode) {
  return RegisterNamedGlobalHotKey(window, notifyControl, modifiers, keyCode, Text(), Text());
}

int QtRuntimeServices::RegisterNamedGlobalHotKey(Control, Control notifyControl, int modifiers,
                                                 int keyCode, const Text& name,
                                                 const Text& description) {
  return OnUiThread([&] {
    // The receiver named last gets the presses of every hot key.
    hotKeyReceiver_ = notifyControl;
    if (OnWayland())
      return ShortcutsPortal().Register(modifiers, keyCode, ToQString(name),
                                        ToQString(description));
    if (!hotKeys_) {
      hotKeys_ = std::make_unique<GlobalHotKeys>();
      hotKeys_->SetHandler([this](int number) { RaiseHotKeyFeedback(number, 0); });
    }
    return hotKeys_->Register(modifiers, keyCode);
  });
}

bool QtRuntimeServices::UnregisterGlobalHotKey(int number) {
  return OnUiThread([&] {
    return (hotKeys_ && hotKeys_->Unregister(number)) ||
           (portalHotKeys_ && portalHotKeys_->Unregister(number));
  });
}
