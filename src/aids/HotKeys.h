#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>

#include "framework/Dialogs.h"
#include "framework/Settings.h"
#include "framework/SystemHotKeys.h"
#include "framework/Uses.h"
#include "framework/WindowControls.h"

// What a hot key (or a request from outside, `--action NAME`) can run.
enum class HotKeyAction { Read, Pause, Type, Stop, Capture };
inline constexpr int kHotKeyActionCount = 5;

// The keys the user chose, one per action in HotKeyAction order, as Qt's portable
// key-sequence text (empty for none), and the numbers they are registered under (0 for a
// key that is none, refused by another program, or unusable).
struct HotKeyState {
  std::array<Text, kHotKeyActionCount> keys;
  std::array<int, kHotKeyActionCount> numbers{};
};

// The action's name on the command line and over the session bus ("read-aloud",
// "pause-reading", "type", "stop-reading", "capture"), and back.
const char* HotKeyActionName(HotKeyAction action);
std::optional<HotKeyAction> HotKeyActionNamed(const std::string& name);
// Its label in the dialog and the notices ("朗读/继续").
const char* HotKeyActionLabel(HotKeyAction action);

// The keys from the settings (hotkeys/read, pause, type, stop, capture); an action with
// nothing stored gets its default: Ctrl+A, Ctrl+Z, Ctrl+Q, none, none.
void LoadHotKeys(Settings& settings, HotKeyState& state);
// Registers every key that is set, in action order, under the action's name and label,
// with _启动窗口 and the hidden label 标签1 as receivers; none where the desktop binds the
// keys.
void RegisterHotKeys(SystemHotKeys& hotKeys, HotKeyState& state);
// At start: registers the keys and announces those not in force once the session has said
// whether it takes keys at all (on Wayland the desktop's answer may come late).
void StartHotKeys(Uses<WindowControls, Dialogs, SystemHotKeys, Settings> services,
                  HotKeyState& state);
// Gives every registered key back.
void UnregisterHotKeys(SystemHotKeys& hotKeys, HotKeyState& state);
// At start: a key that is set but not in force is said once in a balloon at its
// action's button, which goes by itself. Where the desktop binds the keys (Wayland), the
// notice of DesktopHotKeys.h comes instead.
void AnnounceRefusedHotKeys(Uses<WindowControls, Dialogs, SystemHotKeys, Settings> services,
                            const HotKeyState& state);

// The feedback event of 标签1: runs the action whose number was pressed.
void DispatchHotKey(const HotKeyState& state, int number,
                    const std::function<void(HotKeyAction)>& run);
// The feedback event of 标签1 with kHotKeyRefused: the desktop did not take the key
// registered under the number after all; it is announced as a refused key is at start.
void HotKeyRefusedLater(Uses<WindowControls, Dialogs, SystemHotKeys, Settings> services,
                        HotKeyState& state, int number);
// Mouse over an action's button: its key in a balloon at the cursor, with a second line
// when the key is not in force. 结束 shows one only when its key is set, 截图 none.
void ShowHotKeyTip(Uses<WindowControls, SystemHotKeys> services, const HotKeyState& state,
                   Control button);

// Menu "热键设置…": the keys are given back while the dialog is open (so that it can
// take them), the chosen ones stored and registered on OK, the old ones again on cancel.
void ChooseHotKeys(Uses<Dialogs, SystemHotKeys, Settings> services, HotKeyState& state);
