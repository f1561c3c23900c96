// Built without libxcb-xkb: the display's keyboard is never changed through XKB, and
// CharacterKeys uses the core key map instead.
#include "framework/platform/XkbKeySymbols.h"

bool UseXkb(xcb_connection_t*) { return false; }

bool IsXkbEvent(xcb_connection_t*, const xcb_generic_event_t*) { return false; }

bool ReadXkbKeys(xcb_connection_t*, uint8_t, int, std::vector<XkbKeyEntry>&) { return false; }

bool WriteXkbKeys(xcb_connection_t*, uint8_t, const std::vector<XkbKeyEntry>&) { return false; }

XkbKeyEntry TwoLevelKey(uint32_t, uint32_t) { return {}; }

bool EmptyKey(const XkbKeyEntry& entry) { return entry.empty(); }
