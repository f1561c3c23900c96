#pragma once

#include "framework/Controls.h"

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
};
