#pragma once

#include "aids/HotKeys.h"
#include "framework/Dialogs.h"
#include "framework/Settings.h"
#include "framework/Uses.h"

// Sessions where only the desktop binds system-wide keys (Wayland without a shortcuts
// portal: GNOME, sway). The user binds keys there to `orvane-notepad --action NAME`.

// The setting that remembers "不再提示" on the notice below.
inline constexpr const char* kDesktopHotKeyNoticeSilenced = "wayland/hotKeyNoticeSilenced";

// At start: says once, in a box the user can silence, which command each action has and
// that its key belongs in the desktop's keyboard settings; a ticked "不再提示" is stored.
void ExplainDesktopHotKeys(Uses<Dialogs, Settings> services, const HotKeyState& state);
