#pragma once

#include <functional>

#include "framework/RuntimeServices.h"

// The numbers the three hot keys were registered under; 0 for one that was refused
// (another program holds it), which then never matches a press.
struct HotKeyNumbers {
  int StartReadingHotKey = 0;  // Ctrl+A
  int PauseReadingHotKey = 0;  // Ctrl+Z
  int TypingHotKey = 0;        // Ctrl+Q
};

// What a press runs.
struct HotKeyCommands {
  std::function<void()> startOrContinueReading;
  std::function<void()> pauseReading;
  std::function<void()> startTyping;
};

// Registers Ctrl+A, Ctrl+Z and Ctrl+Q, in that order, with _启动窗口 and the hidden
// label 标签1 as receivers.
void RegisterHotKeys(RuntimeServices& services, HotKeyNumbers& numbers);
// Gives the three keys back (at exit) and forgets their numbers, so that a press
// already on its way matches none of them.
void UnregisterHotKeys(RuntimeServices& services, HotKeyNumbers& numbers);
// The feedback event of 标签1: runs the command whose number was pressed. The three
// numbers are compared one after the other, each on its own.
void DispatchHotKey(const HotKeyNumbers& numbers, int number, const HotKeyCommands& commands);
// Mouse over 按钮7, 按钮10 or 按钮11: their hot key in a balloon at the cursor, with a
// second line when the key was refused.
void ShowHotKeyTip(RuntimeServices& services, const HotKeyNumbers& numbers, Control button);
