#pragma once

#include <optional>

#include "framework/Types.h"

// Hot keys are kept as Qt's portable key-sequence text ("Ctrl+Alt+R", "Meta+F5", "F9"):
// what the settings file holds and what the dialog gives back, independent of how a
// desktop grabs keys.

// A key combination in the codes of RegisterGlobalHotKey.
struct KeyCombination {
  int modifiers = 0;   // a sum of 1 Ctrl, 2 Shift, 4 Alt, 8 Super
  int virtualKey = 0;  // a Windows virtual-key code
};

// The combination a text names; nothing for an empty text or one that cannot be a hot
// key: a key the grabs do not know, or a key without Ctrl, Alt or Super that is not a
// function key.
std::optional<KeyCombination> ParseHotKeyText(const Text& keys);

// The text as the tips show it: "CTRL+ALT+R", "SUPER+F5".
Text HotKeyDisplayText(const Text& keys);
