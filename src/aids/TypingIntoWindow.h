#pragma once

#include <atomic>

#include "aids/TypingEffect.h"
#include "framework/Dialogs.h"
#include "framework/Settings.h"
#include "framework/SystemHotKeys.h"
#include "framework/Typing.h"
#include "framework/Uses.h"

// Typing the editor's script into another program's window (menu "打字到当前窗口"):
// Ctrl+Q types into the window that has the keyboard focus, never into any other. While
// characters are being typed Esc is grabbed and stops the run; a change of focus pauses
// it, and only Ctrl+Q (or 打字控制) with the same window focused again continues it. While
// paused the keyboard map is the user's own, and a run whose window closes ends at once.
// Where the desktop keys only its keyboard layout's characters (GNOME, KDE), the user is
// told before the run how many it cannot key, and may have them pasted in their place
// (or, where the desktop cannot paste into other windows either, left out).

// How the characters that cannot be keyed reach the window.
enum class UnkeyablePaste {
  None,        // every character can be keyed
  CtrlV,       // pasted with Ctrl+V
  CtrlShiftV,  // pasted with Ctrl+Shift+V, as terminals take it
  Left,        // left out, as the user agreed: the desktop can neither key nor paste them
};

struct WindowTypingJob {
  int window = 0;  // the top-level window typed into
  Text text;       // the whole script
  int interval = 0;
  bool natural = false;  // the natural rhythm (TypingRhythm.h)
  std::uint64_t seed = 0;
  UnkeyablePaste paste = UnkeyablePaste::None;
};

struct WindowTypingState {
  bool intoFocusedWindow = false;  // the menu's mode, remembered as a setting
  WindowTypingJob job;
  int thread = 0;                    // the run's worker, 0 when there is no run
  std::atomic<bool> paused = false;  // set on the user-interface thread, read by the worker
  int escapeKey = 0;                 // the hot-key number of the Esc grab while typing, else 0
};

// At start-up: the remembered mode, shown as the menu item's check.
void LoadTypingMode(Uses<WindowControls, Settings> services, WindowTypingState& state);
// The menu item: switches the mode and remembers it.
void ToggleTypingMode(Uses<WindowControls, Settings> services, WindowTypingState& state);

// Ctrl+Q: pauses or continues a run into a window; otherwise starts one into the focused
// window when the mode is on and another program has the focus, or the editor typing.
void TypingHotKeyPressed(Uses<WindowControls, Dialogs, Threads, Typing, SystemHotKeys> services,
                         WindowTypingState& state, TypingState& editorTyping);
// 打字控制: pauses or continues a run into a window, else the editor typing.
void TypingControlPressed(Uses<WindowControls, Threads, Typing, SystemHotKeys> services,
                          WindowTypingState& state, TypingState& editorTyping);
// A hot key: true when it was the run's Esc, which stops it.
bool WindowTypingKeyPressed(Uses<WindowControls, Threads, SystemHotKeys> services,
                            WindowTypingState& state, int number);
// Ends a run into a window, if there is one (a new start in the editor, Esc, exit).
void EndWindowTyping(Uses<WindowControls, Threads, SystemHotKeys> services,
                     WindowTypingState& state);

// The worker's routine.
void WindowTypingWorker(Uses<WindowControls, Threads, Typing, SystemHotKeys> services,
                        WindowTypingState& state, WindowTypingJob job);
