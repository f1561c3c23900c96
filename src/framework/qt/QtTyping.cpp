// QtRuntimeServices: typing into other programs' windows (XTest on X11, a virtual keyboard
// under Wayland, the RemoteDesktop portal on GNOME and KDE).
#include <qpa/qplatformnativeinterface.h>
#include <qpa/qwindowsysteminterface.h>
#include <QGuiApplication>
#include <QWindow>
#include <functional>
#include <optional>

#include "framework/platform/CharacterKeys.h"
#include "framework/platform/LayoutKeys.h"
#include "framework/platform/WaylandClipboard.h"
#include "framework/platform/WaylandKeys.h"
#include "framework/platform/X11Clipboard.h"
#include "framework/qt/MainWindow.h"
#include "framework/qt/PortalKeys.h"
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

// Whether a key pressed now could reach one of our own windows, on the user-interface
// thread: one has the keyboard, or a box or dialog of ours is open (all are modal), which
// the compositor may give the keyboard at any moment: a box just shown has not had it yet.
bool OwnWindowMayGetKeys() {
  return QGuiApplication::focusWindow() != nullptr || QGuiApplication::modalWindow() != nullptr;
}

// The press, unless a window of ours may get it: the look and the press are one step on the
// user-interface thread, so that no box of ours can be shown between them. Unavailable when
// that thread is gone.
template <typename Press>
CharacterDelivery PressUnlessOwnWindow(Press&& press) {
  const std::optional<CharacterDelivery> answer =
      OnUiThread([&]() -> std::optional<CharacterDelivery> {
        if (OwnWindowMayGetKeys()) return CharacterDelivery::NotFocused;
        return press();
      });
  return answer.value_or(CharacterDelivery::Unavailable);
}

// Qt applies a keyboard leave from the compositor only after a round trip of its own, and a
// request that waited while the program was busy (a bound `--action type`) can come first:
// it would still see our window focused and type into the editor. Processing events is not
// enough when the machine is loaded: Qt's reading thread may not have read the leave yet,
// nor the compositor answered Qt's round trip. So two round trips on Qt's own connection:
// the first dispatches everything the compositor sent before it (the leave, which starts
// Qt's round trip), the second completes Qt's; then Qt's queued focus change is delivered.
void CatchUpWithCompositorFocus() {
  OnUiThread([] {
    QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
    void* display =
        native ? native->nativeResourceForIntegration(QByteArrayLiteral("wl_display")) : nullptr;
    if (WaylandKeys::RoundTrip(display)) WaylandKeys::RoundTrip(display);
    QCoreApplication::processEvents();
    QWindowSystemInterface::flushWindowSystemEvents();
  });
}

}  // namespace

bool QtRuntimeServices::TypesThroughWayland() { return OnWayland() && waylandKeys_->Available(); }

int QtRuntimeServices::FocusedWindow() {
  if (TypesThroughWayland() || TypesThroughPortal()) {
    CatchUpWithCompositorFocus();
    return OwnWindowFocused() ? 0 : kOtherWaylandWindow;
  }
  if (!KeysReachOtherWindows()) {
    // Said once; the typing then goes into the editor, as with no other window.
    if (!toldNoWindowTyping_.exchange(true))
      ShowMessageBox(Value(FromQString(QStringLiteral(
                         "这个 Wayland 会话不能把字打到其他程序的窗口：打字在编辑框里进行。"))),
                     0x40, FromQString(QStringLiteral("打字到当前窗口")), std::nullopt);
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
  // The euro sign is the single byte 0x80 of the program's text (as in code page 936),
  // which is no GB18030 character.
  if (step == "\x80") return U'\u20AC';
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
    return PressUnlessOwnWindow([&] { return waylandKeys_->Send(*step); });
  if (step && TypesThroughPortal()) {
    if (*step == 0) return OwnWindowFocused() ? CharacterDelivery::NotFocused : PortalReady();
    const uint32_t keysym = LayoutKeys::KeysymOf(*step);
    if (!layoutKeys_->Has(keysym)) return CharacterDelivery::Unavailable;
    return PortalPress({keysym});
  }
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

// --- Typing through the RemoteDesktop portal (GNOME, KDE) ------------------------

namespace {

constexpr uint32_t kControl = 0xffe3, kShift = 0xffe1, kLetterV = 0x76;
// The receiver reads a paste on its own time; keys after it wait for that.
constexpr int kPasteTakenWithinMs = 5000;
// Between its reading of the text and its inserting it, the receiver gets no new key.
constexpr int kPasteSettleMs = 60;
constexpr int kPortalStartCheckMs = 20;

}  // namespace

bool QtRuntimeServices::TypesThroughPortal() { return OnWayland() && !waylandKeys_->Available(); }

// Sent when keys can be pressed; KeyBusy while the session starts (the desktop may be
// asking the user); Unavailable, once said in a box, when the desktop gives none.
CharacterDelivery QtRuntimeServices::PortalReady() {
  QString failure;
  const PortalKeys::Readiness readiness = OnUiThread([&] {
    if (!portalKeys_) portalKeys_ = std::make_unique<PortalKeys>();
    return portalKeys_->Prepare(failure);
  });
  switch (readiness) {
    case PortalKeys::Readiness::Ready:
      return CharacterDelivery::Sent;
    case PortalKeys::Readiness::Starting:
      // The worker tries again; a start is not hurried by asking often.
      Delay(kPortalStartCheckMs);
      return CharacterDelivery::KeyBusy;
    case PortalKeys::Readiness::Failed:
      break;
  }
  ShowMessageBox(Value(FromQString(failure)), kMbIconExclamation,
                 FromQString(QStringLiteral("打字到当前窗口")), std::nullopt);
  return CharacterDelivery::Unavailable;
}

CharacterDelivery QtRuntimeServices::PortalPress(const std::vector<uint32_t>& keysyms) {
  // The desktop's dialog, or our own box, may just have given the focus back to us.
  CatchUpWithCompositorFocus();
  if (OwnWindowFocused()) return CharacterDelivery::NotFocused;
  const CharacterDelivery ready = PortalReady();
  if (ready != CharacterDelivery::Sent) return ready;
  return PressUnlessOwnWindow([&] {
    portalKeys_->Press(keysyms);
    return CharacterDelivery::Sent;
  });
}

bool QtRuntimeServices::CanKeyIntoWindows(const Text& step) {
  if (!TypesThroughPortal()) return true;
  const std::optional<char32_t> character = StepCharacter(step);
  return character && layoutKeys_->Has(LayoutKeys::KeysymOf(*character));
}

// The portal's desktops let only the Wayland program with the keyboard focus fill the
// clipboard, and during a run that is the target, never this program; KWin's data control
// sets it without the focus, and GNOME's mutter adopts what an X11 program holds on XWayland.
bool QtRuntimeServices::CanPasteIntoWindows() {
  return !TypesThroughPortal() || waylandClipboard_->Available() || x11Clipboard_->Available();
}

namespace {

void SayPasteFailed(QtRuntimeServices& services, const QString& why) {
  services.ShowMessageBox(Value(FromQString(why)), kMbIconExclamation,
                          FromQString(QStringLiteral("打字到当前窗口")), std::nullopt);
}

// The desktop asks an X11 clipboard what it holds as soon as it adopts it.
constexpr int kClipboardAdoptedWithinMs = 3000;
// mutter copies the clipboard the moment it adopts it and hands the window that copy, unseen
// by us: the window's reading cannot be waited for, only given time, so that the next paste
// does not replace the clipboard first.
constexpr int kDesktopCopySettleMs = 250;

}  // namespace

CharacterDelivery QtRuntimeServices::PasteIntoWindow(int, const Text& text, bool terminal) {
  if (!TypesThroughPortal()) return CharacterDelivery::Unavailable;
  CatchUpWithCompositorFocus();
  if (OwnWindowFocused()) return CharacterDelivery::NotFocused;
  const CharacterDelivery ready = PortalReady();
  if (ready != CharacterDelivery::Sent) return ready;
  // The run's text is in the program's own encoding; the clipboard serves UTF-8. Once an
  // offer returns, the desktop holds the text: the paste pressed next gets it.
  const std::string utf8 = ToQString(text).toUtf8().toStdString();
  std::function<bool()> read;
  int settleMs = kPasteSettleMs;
  if (waylandClipboard_->Available()) {
    if (const std::uint64_t offer = waylandClipboard_->Offer(utf8))
      read = [this, offer] { return waylandClipboard_->Read(offer); };
  } else if (x11Clipboard_->Available() && x11Clipboard_->Offer(utf8, kClipboardAdoptedWithinMs)) {
    read = [this] { return x11Clipboard_->Read(); };
    settleMs = kDesktopCopySettleMs;
  }
  if (!read) {
    SayPasteFailed(*this, QStringLiteral("打字停止：桌面没有接受要粘贴的文字。"));
    return CharacterDelivery::Unavailable;
  }
  OnUiThread([&] {
    portalKeys_->Press(terminal ? std::vector<uint32_t>{kControl, kShift, kLetterV}
                                : std::vector<uint32_t>{kControl, kLetterV});
  });
  const long long deadline = TickCount() + kPasteTakenWithinMs;
  while (!read() && TickCount() < deadline)
    if (!Delay(5)) return CharacterDelivery::Unavailable;
  if (!read()) {
    SayPasteFailed(*this,
                   QStringLiteral("打字停止：目标窗口没有取走用 %1 粘贴的文字。")
                       .arg(terminal ? QStringLiteral("Ctrl+Shift+V") : QStringLiteral("Ctrl+V")));
    return CharacterDelivery::Unavailable;
  }
  Delay(settleMs);
  return CharacterDelivery::Sent;
}

void QtRuntimeServices::RestoreKeysOfKilledCopies() {
  if (KeysReachOtherWindows()) keys_->RestoreLeftovers();
}
