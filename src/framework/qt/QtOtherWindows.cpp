// QtRuntimeServices: typing into other programs' windows, settings and menu checks.
#include <QAction>
#include <QGuiApplication>
#include <QWindow>

#include "framework/platform/CharacterKeys.h"
#include "framework/qt/MainWindow.h"
#include "framework/qt/ProgramSettings.h"
#include "framework/qt/QtRuntimeServices.h"
#include "framework/qt/QtText.h"
#include "framework/qt/UiThread.h"

int QtRuntimeServices::FocusedWindow() {
  const uint32_t focused = keys_->FocusedTopLevel();
  if (focused == 0) return 0;
  const bool own = OnUiThread([&] {
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
      if (window->handle() && keys_->TopLevelOf(static_cast<uint32_t>(window->winId())) == focused)
        return true;
    }
    return false;
  });
  return own ? 0 : static_cast<int>(focused);
}

CharacterDelivery QtRuntimeServices::SendCharacter(int window, const Text& character) {
  const QList<uint> codes = ToQString(character).toUcs4();
  // CR LF is one step of a script: one Return.
  const char32_t first = codes.isEmpty() ? 0 : static_cast<char32_t>(codes.front());
  if (codes.size() > 1 && !(codes.size() == 2 && first == U'\r' && codes[1] == U'\n'))
    return CharacterDelivery::Unavailable;
  return keys_->Send(static_cast<uint32_t>(window), first);
}

void QtRuntimeServices::RestoreKeyboardMap() { keys_->RestoreMap(); }

Text QtRuntimeServices::GetSetting(const Text& key) {
  return FromQString(ProgramSettings::Get(ToQString(key)).value_or(QString()));
}

bool QtRuntimeServices::SetSetting(const Text& key, const Text& value) {
  return ProgramSettings::Set(ToQString(key), ToQString(value));
}

void QtRuntimeServices::SetMenuItemChecked(MenuItem item, bool checked) {
  OnUiThread([&] {
    if (QAction* action = window_ ? window_->MenuAction(item) : nullptr)
      action->setChecked(checked);
  });
}
