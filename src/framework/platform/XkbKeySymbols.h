#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <vector>

// The symbols of a range of key codes in the XKB extension's own form (one entry a key:
// its types, groups and keysyms), read and written in one request each. Written back as
// read, a key stays exactly as it was; a change of the core map instead rebuilds every key
// it covers from core symbols, and loses what they cannot say. So a change of several
// scattered key codes is one change of the map, one notification to every client.
using XkbKeyEntry = std::vector<uint8_t>;

// Whether the display's keyboard can be read and changed this way. The connection is
// then told of a new keyboard map by an XKB event, not by the core MappingNotify.
bool UseXkb(xcb_connection_t* connection);
// Whether an event on that connection is one of XKB's.
bool IsXkbEvent(xcb_connection_t* connection, const xcb_generic_event_t* event);
bool ReadXkbKeys(xcb_connection_t* connection, uint8_t first, int count,
                 std::vector<XkbKeyEntry>& entries);
bool WriteXkbKeys(xcb_connection_t* connection, uint8_t first,
                  const std::vector<XkbKeyEntry>& entries);
// A key with one group of two levels (the second with Shift); keysym 0 is NoSymbol.
XkbKeyEntry TwoLevelKey(uint32_t first, uint32_t second);
// Whether a key has no symbols.
bool EmptyKey(const XkbKeyEntry& entry);
