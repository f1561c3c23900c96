// QtRuntimeServices: typing into other programs' windows (XTest on X11, a virtual keyboard
// under Wayland).
#include <QGuiApplication>
#include <QWindow>
#include <optional>

#include "framework/platform/CharacterKeys.h"
#include "framework/platform/WaylandKeys.h"
#include "framework/qt/MainWindow.h"
#include "framework/qt/QtRuntimeServices.h"
#include "framework/qt/QtText.h"
#include "framework/qt/UiThread.h"

namespace {

// Keys reach other programs through XTest, which only an X11 session offers to all of
// them; under Wayland our X connection would be XWayland's, whose clients are only some.
bool KeysReachOtherWindows() { return QGuiApplication::platformName() == QLatin1String("xcb"); }

bool OnWayland() { return QGuiApplication::platformName().startsWith(QLatin1String("wayland")); }

// A Wayland program sees only whether one of its own windows has the keyboard focus; this
// stands for "some other window".
constexpr int kOtherWaylandWindow = 1;

bool OwnWindowFocused() {
  return OnUiThread([] { return QGuiApplication::focusWindow() != nullptr; });
}

// Qt applies a keyboard leave from the compositor only after a round trip of its own, and a
// request that waited while the program was busy (a bound `--action type`) can come first:
// it would still see our window focused and type into the editor. Each sync handles what
// the compositor has sent and ends with a round trip; the second completes Qt's own one
// begun by a leave that arrived during the first.
void CatchUpWithCompositorFocus() {
  OnUiThread([] {
    QGuiApplication::sync();
    QGuiApplication::sync();
  });
}

}  // namespace

bool QtRuntimeServices::TypesThroughWayland() { return OnWayland() && waylandKeys_->Available(); }

int QtRuntimeServices::FocusedWindow() {
  if (TypesThroughWayland()) {
    CatchUpWithCompositorFocus();
    return OwnWindowFocused() ? 0 : kOtherWaylandWindow;
  }
  if (!KeysReachOtherWindows()) {
    // Said once; the typing then goes into the editor, as with no other window.
    if (!toldNoWindowTyping_.exchange(true))
      ShowMessageBox(
          Value(Text("这个 Wayland 会话不能把字打到其他程序的窗口：打字在编辑框里进行。")), 0x40,
          Text("打字到当前窗口"), std::nullopt);
    return 0;
  }
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

namespace {

// The character of one step of a script; CR LF is one step, one Return. Nothing for a
// step that is not one character.
std::optional<char32_t> StepCharacter(const Text& step) {
  const QList<uint> codes = ToQString(step).toUcs4();
  const char32_t first = codes.isEmpty() ? 0 : static_cast<char32_t>(codes.front());
  if (codes.size() > 1 && !(codes.size() == 2 && first == U'\r' && codes[1] == U'\n'))
    return std::nullopt;
  return first;
}

// How many coming steps are looked at to fill the map's free places.
constexpr std::size_t kLookAhead = 400;

}  // namespace

CharacterDelivery QtRuntimeServices::SendCharacter(int window, const Text& character) {
  const std::optional<char32_t> step = StepCharacter(character);
  if (step && TypesThroughWayland())
    return OwnWindowFocused() ? CharacterDelivery::NotFocused : waylandKeys_->Send(*step);
  if (!step || !KeysReachOtherWindows()) return CharacterDelivery::Unavailable;
  return keys_->Send(static_cast<uint32_t>(window), *step);
}

void QtRuntimeServices::RestoreKeyboardMap() {
  if (KeysReachOtherWindows()) keys_->RestoreMap();
}

void QtRuntimeServices::PrepareCharacters(const std::vector<Text>& steps, std::size_t next) {
  const bool wayland = TypesThroughWayland();
  if (next >= steps.size() || (!wayland && !KeysReachOtherWindows())) return;
  const std::optional<char32_t> first = StepCharacter(steps[next]);
  if (!first || *first == 0 || (wayland ? waylandKeys_->Ready(*first) : keys_->Ready(*first)))
    return;
  std::vector<char32_t> characters;
  for (std::size_t i = next; i < steps.size() && i < next + kLookAhead; ++i)
    if (const std::optional<char32_t> step = StepCharacter(steps[i]); step && *step != 0)
      characters.push_back(*step);
  if (wayland) {
    waylandKeys_->Prepare(characters);
  } else {
    keys_->Prepare(characters);
  }
}

void QtRuntimeServices::RestoreKeysOfKilledCopies() {
  if (KeysReachOtherWindows()) keys_->RestoreLeftovers();
}
