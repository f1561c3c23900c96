#pragma once

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdint>
#include <optional>
#include <vector>

// System-wide hot keys on X11: passive key grabs on the root window, described with
// Windows virtual-key and modifier codes.

// The keysym of a Windows virtual-key code (letters, digits, F1..F24, the numeric pad,
// the editing and cursor keys, Print, Pause, Space, Return, Escape, Tab); 0 when there is none.
xcb_keysym_t KeysymOfVirtualKey(int virtualKey);

// The X modifier mask of a modifier code, a sum of 1 Ctrl, 2 Shift, 4 Alt (Mod1) and
// 8 Super (Mod4); 0 is none. Nothing for any other code.
std::optional<uint16_t> ModifierMaskOfCode(int modifiers);

// The grabs of one client on one root window. Lock and NumLock do not matter: every
// combination is grabbed under each of their states. Not thread-safe; the grabs end
// with the object (or with the connection).
class KeyGrabs {
 public:
  KeyGrabs(xcb_connection_t* connection, xcb_window_t root);
  ~KeyGrabs();
  KeyGrabs(const KeyGrabs&) = delete;
  KeyGrabs& operator=(const KeyGrabs&) = delete;

  // Grabs the combination under the non-zero id. False, with nothing left grabbed, when a
  // code is unknown, the keyboard has no key for it, this object holds it already, or
  // another client holds it in any Lock/NumLock state.
  bool Grab(int id, int modifiers, int virtualKey);

  // Ends the grab under the id; false when there is none.
  bool Release(int id);

  // The id of the grab that a key event with this keycode and state belongs to; 0 for none.
  int Match(xcb_keycode_t keycode, uint16_t state) const;

  // Forgets every grab without a request, for when the connection is going away (its
  // grabs end with it).
  void Abandon();

 private:
  struct Entry {
    int id;
    uint16_t mask;     // the modifiers that must be down
    uint16_t ignored;  // Lock and NumLock at the time of the grab
    std::vector<xcb_keycode_t> keycodes;
    std::vector<uint16_t> grabbedMasks;  // mask with each combination of the ignored ones
  };

  uint16_t NumLockMask(xcb_key_symbols_t* symbols) const;
  void Ungrab(const std::vector<xcb_keycode_t>& keycodes, const std::vector<uint16_t>& masks);

  xcb_connection_t* connection_;
  xcb_window_t root_;
  std::vector<Entry> entries_;
};
