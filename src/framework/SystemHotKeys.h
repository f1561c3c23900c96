#pragma once

#include <functional>

#include "framework/Controls.h"
#include "framework/Types.h"

// The second argument of a hot key's feedback event: 0 for a press, this for a key that
// the desktop refused after it was registered (see RegisterNamedGlobalHotKey).
inline constexpr int kHotKeyRefused = 1;

// Keys pressed anywhere on the desktop that reach the program.
class SystemHotKeys {
 public:
  virtual ~SystemHotKeys() = default;

  // A system-wide hot key: modifiers a sum of 1 Ctrl, 2 Shift, 4 Alt and 8 Super (so
  // 5 is Ctrl+Alt); keyCode a Windows virtual-key code. Numbers count up
  // from 33001 for every call, a refused key using up its number; 0 when refused.
  // A press raises the feedback event of notifyControl with (number, 0).
  virtual int RegisterGlobalHotKey(Control window, Control notifyControl, int modifiers,
                                   int keyCode) = 0;
  // Modifier code 0 (the key alone) is accepted too. Gives a registered key back; false
  // for a number that holds nothing.
  virtual bool UnregisterGlobalHotKey(int number) = 0;
  // Whether system-wide keys can be taken by the program itself in this session; false
  // on a Wayland session, where only the desktop binds keys (to `--action` commands).
  virtual bool TakesGlobalHotKeys() = 0;

  // --- Keys the desktop registers for the program (a shortcuts service) ---------
  // Calls answer on the user-interface thread with TakesGlobalHotKeys' answer once that is
  // known: at once on X11; on Wayland once the session has said, without blocking, whether
  // the desktop registers keys for programs. Until then TakesGlobalHotKeys is false.
  virtual void WhenHotKeysKnown(std::function<void(bool takesKeys)> answer) = 0;
  // RegisterGlobalHotKey under a name that stays the same from start to start and a
  // description that the desktop's shortcut settings show. Where the desktop registers
  // the key, it answers later: a key it refuses raises the feedback event of
  // notifyControl with (number, kHotKeyRefused), and the number holds nothing from then on.
  virtual int RegisterNamedGlobalHotKey(Control window, Control notifyControl, int modifiers,
                                        int keyCode, const Text& name, const Text& description) = 0;
};
